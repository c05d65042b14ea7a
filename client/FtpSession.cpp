#include "FtpSession.h"

#include "AcceptedCertificates.h"
#include "BlockingCall.h"
#include "ClientFolderPath.h"
#include "Endpoints.h"
#include "NomeBaseCorrompida.h"
#include "uTQuintaraConexoes.h"

#include <QDateTime>
#include <QFileInfo>
#include <QPointer>

namespace {

bool contemSemCaixa(const QString& text, const char* what)
{
    return text.toLower().contains(QLatin1String(what));
}

}

FtpSession::FtpSession(FtpSessionEvents& events, QObject* parent)
    : QObject(parent), m_events(events), m_ftp(std::make_unique<TIdFTP>())
{
    m_ftp->SetEvents(this);
}

FtpSession::~FtpSession()
{
    m_ftp->SetEvents(nullptr);
}

void FtpSession::setSistema(IQuintaraConexaoPtr sistema)
{
    m_sistema = std::move(sistema);
}

// ---------------------------------------------------------------- one operation at a time

FtpSession::Operation::Operation(FtpSession& session) : m_session(session)
{
    m_session.m_state = State::Running;
}

FtpSession::Operation::~Operation()
{
    m_session.m_state = State::Idle;
    emit m_session.idle();
}

void FtpSession::cancel()
{
    if (m_state != State::Running)
        return;
    m_state = State::Cancelling;
    m_ftp->Abort();
}

template <typename F>
auto FtpSession::ftp(F&& f) -> decltype(f())
{
    if (m_state == State::Cancelling)
        throw EIdFTPError(QStringLiteral("Operação cancelada"));
    if constexpr (std::is_void_v<decltype(f())>) {
        executarBloqueante([&] { f(); });
    } else {
        std::optional<decltype(f())> resultado;
        executarBloqueante([&] { resultado.emplace(f()); });
        return std::move(*resultado);
    }
}

// ---------------------------------------------------------------- events of the component

template <typename F>
void FtpSession::relay(F f)
{
    // Delivered on the session's thread; all of them before the FTP call returns
    // there (see executarBloqueante).
    QPointer<FtpSession> self(this);
    naThreadPrincipal([self, f] {
        if (self)
            f(*self);
    });
}

void FtpSession::OnStatus(const QString& text)
{
    relay([text](FtpSession& s) { s.m_events.log(text); });
}

void FtpSession::OnWorkBegin(TWorkMode mode, std::int64_t expected)
{
    relay([mode, expected](FtpSession& s) {
        if (!s.m_transfer || s.m_transfer->mode != mode || s.m_transfer->begun)
            return;
        s.m_transfer->begun = true;
        s.m_events.transferBegin(mode, expected);
    });
}

void FtpSession::OnWork(TWorkMode mode, std::int64_t soFar)
{
    relay([mode, soFar](FtpSession& s) {
        if (s.m_transfer && s.m_transfer->mode == mode && s.m_transfer->begun)
            s.m_events.transferProgress(mode, soFar);
    });
}

void FtpSession::OnWorkEnd(TWorkMode)
{
    // The end is reported by transfer(), which knows how the call went.
}

template <typename F>
void FtpSession::transfer(TWorkMode mode, F&& call)
{
    struct Fim {
        FtpSession& s;
        TransferOutcome outcome = TransferOutcome::Failed;
        ~Fim()
        {
            const std::optional<Transfer> t = std::exchange(s.m_transfer, std::nullopt);
            if (t && t->begun)
                s.m_events.transferEnd(t->mode, s.m_state == State::Cancelling ? TransferOutcome::Cancelled : outcome);
        }
    } fim{*this};
    if (!m_transfer)
        m_transfer = Transfer{mode, false};
    ftp(std::forward<F>(call));
    fim.outcome = TransferOutcome::Completed;
}

// ---------------------------------------------------------------- client folder

void FtpSession::Log(const QString& text)
{
    m_events.log(text);
}

void FtpSession::SetCaptionCliente(const QString& caption)
{
    m_events.clientCaption(caption);
}

void FtpSession::SetDirectory(const QString& value)
{
    m_directory = value;
}

void FtpSession::SetBaseCorrompida()
{
    m_baseCorrompida = true;
}

void FtpSession::DefinirPastaCliente()
{
    if (!m_sistema)
        m_sistema = std::make_shared<TQuintaraConexao>();
    ::DefinirPastaCliente(*m_sistema, *this, [](const std::function<void()>& work) { executarBloqueante(work); });
}

void FtpSession::CriarPastaCliente()
{
    if (m_directory.isEmpty())
        DefinirPastaCliente();
    if (!Connected())
        ConectarFTP();
    if (ftp([this] { return m_ftp->RetrieveCurrentDir(); }) == m_directory)
        return;
    const QStringList pecas = clientFolderPieces(m_directory);
    m_events.log(QStringLiteral("Criando Pasta do Cliente"));
    ftp([this] { m_ftp->ChangeDir(QStringLiteral("/")); });
    for (const QString& peca : pecas) {
        try {
            ftp([&] { m_ftp->MakeDir(peca); });
        } catch (const Exception& e) {
            if (!contemSemCaixa(e.Message(), "exist")) {
                // Some servers (vsftpd) refuse an existing folder without saying so:
                // if we can enter it, it was there. Otherwise the refusal stands.
                const std::exception_ptr recusa = std::current_exception();
                try {
                    ftp([&] { m_ftp->ChangeDir(peca); });
                } catch (const Exception&) {
                    std::rethrow_exception(recusa);
                }
                continue;
            }
        }
        ftp([&] { m_ftp->ChangeDir(peca); });
    }
    m_events.log(QStringLiteral("Pasta do Cliente Criada com Sucesso"));
}

// ---------------------------------------------------------------- connection

bool FtpSession::Connected() const
{
    return m_ftp->Connected();
}

void FtpSession::ConectarFTP()
{
    const Endpoints destinos = Endpoints::atuais();
    m_ftp->Host = destinos.principal.host;
    m_ftp->Port = destinos.principal.porta;
    m_ftp->Username = QStringLiteral("caldoria");
    m_ftp->Password = QStringLiteral("vesplodu");
    m_ftp->TransferType = ftBinary;
    m_ftp->TryNATFastTrack = true;
    m_ftp->Tls = destinos.tls;
    m_events.connectionSecurity(false);
    m_events.log(QStringLiteral("Tentando conectar no endereço principal do FTP"));
    try {
        conectar();
    } catch (const Exception& e) {
        if (m_state == State::Cancelling)
            throw;
        m_events.log(e.Message());
        m_events.log(QStringLiteral("Tentando conectar no endereço alternativo do FTP"));
        m_ftp->Host = destinos.alternativo.host;
        m_ftp->Port = destinos.alternativo.porta;
        conectar();
    }
    m_events.connectionSecurity(m_ftp->IsSecure());
}

void FtpSession::conectar()
{
    m_ftp->AcceptedCertificates = acceptedCertificates::forHost(m_ftp->Host);
    try {
        ftp([this] { m_ftp->Connect(); });
    } catch (const UntrustedCertificateError& e) {
        // The component closed the connection before the login; the question comes
        // here, between two calls, and a yes opens a new connection. A certificate
        // that changed in between is asked about again, on the next attempt.
        if (m_state == State::Cancelling || m_ftp->Tls != TlsMode::IfAvailable || e.fingerprint().isEmpty() ||
            !m_events.acceptCertificate(e.host(), e.problem(), e.fingerprint()))
            throw;
        acceptedCertificates::add(m_ftp->Host, e.fingerprint());
        m_ftp->AcceptedCertificates << e.fingerprint();
        ftp([this] { m_ftp->Connect(); });
    }
}

void FtpSession::closeConnection()
{
    if (!Connected())
        return;
    try {
        executarBloqueante([this] { m_ftp->Disconnect(); });
    } catch (...) {
        // Closing goes on whatever the server does.
    }
}

// ---------------------------------------------------------------- operations

FtpListing FtpSession::fetchListing()
{
    if (m_baseCorrompida)
        throw Exception(QStringLiteral("A pasta compartilhada por clientes não identificados não é listada"));
    if (!Connected())
        ConectarFTP();
    if (ftp([this] { return m_ftp->RetrieveCurrentDir(); }) != m_directory)
        CriarPastaCliente();
    // The walk may have found out only now that the client cannot be identified.
    if (m_baseCorrompida)
        throw Exception(QStringLiteral("A pasta compartilhada por clientes não identificados não é listada"));
    // Copied on the worker thread: a large listing costs the window nothing here.
    return ftp([this] {
        m_ftp->List();
        return FtpListing(m_ftp->DirectoryListing());
    });
}

bool FtpSession::EnviarArquivo(const QString& localPath)
{
    const QString nome = QFileInfo(localPath).fileName();
    const std::int64_t tamanho = ftp([&] { return m_ftp->Size(nome); });
    if (tamanho >= 0 && !m_events.replaceRemoteFile(nome))
        return false;
    transfer(wmWrite, [&] { m_ftp->Put(localPath, QString(), false, 0); });
    return true;
}

QString FtpSession::EnviarArquivoBaseCorrompida(const QString& localPath)
{
    const QString nome = NomeUnicoBaseCorrompida(localPath, QDateTime::currentDateTime());
    m_events.uniqueNameChosen(nome);
    m_events.log(nome);
    transfer(wmWrite, [&] { m_ftp->Put(localPath, nome, false, 0); });
    return nome;
}

void FtpSession::BaixarArquivo(const RemoteName& remoteName, const QString& localPath)
{
    CriarPastaCliente();
    const std::int64_t tamanho = ftp([&] { return m_ftp->Size(remoteName); });
    if (tamanho == -1)
        throw ERemoteFileNotFound(QStringLiteral("Arquivo Não Encontrado no FTP"));
    const bool substituir = QFileInfo::exists(localPath) && m_events.replaceLocalFile(localPath);
    // The component gives no size for what it receives: the size asked above is the
    // total, and the window is busy from here, also if no data ever moves.
    m_transfer = Transfer{wmRead, true};
    m_events.transferBegin(wmRead, tamanho);
    transfer(wmRead, [&] { m_ftp->Get(remoteName, localPath, substituir, false); });
}

void FtpSession::deleteFile(const RemoteName& name)
{
    ftp([&] { m_ftp->Delete(name); });
}
