#include "FtpSession.h"

#include "ClientFolderPath.h"
#include "Endpoints.h"
#include "FtpCancel.h"
#include "FtpSessionCalls.h"
#include "uTQuintaraConexoes.h"

FtpSession::FtpSession(FtpSessionEvents& events, SessionSettings settings)
    : m_events(events), m_settings(std::move(settings)), m_ftp(std::make_unique<TIdFTP>()),
      m_cancel(std::make_shared<ftp::CancelToken>())
{
    m_ftp->SetEvents(this);
    m_ftp->SetCancel(m_cancel);
}

FtpSession::~FtpSession()
{
    m_ftp->SetEvents(nullptr);
}

void FtpSession::configure(SessionSettings settings)
{
    m_settings = std::move(settings);
}

void FtpSession::identificarSistema(const std::function<IQuintaraConexaoPtr()>& create)
{
    m_events.log(QStringLiteral("Identificando Sistema Quintara"));
    try {
        m_sistema = create();
    } catch (...) {
        // Without a system the client works in corrupted-base mode.
        m_sistema = std::make_shared<TQuintaraConexao>();
        throw;
    }
    if (m_sistema->GetSistema() != qncNenhum)
        m_events.log(QStringLiteral("Sistema ") + m_sistema->GetSiglaSistema() + QStringLiteral(" identificado"));
    else
        m_events.log(QStringLiteral("Nenhum sistema Quintara identificado"));
}

SessionStatus FtpSession::status() const
{
    SessionStatus s;
    s.sistema = m_sistema ? m_sistema->GetSistema() : qncNenhum;
    s.directory = m_directory;
    s.baseCorrompida = m_baseCorrompida;
    s.motivo = m_motivoBaseCorrompida;
    s.detalheMotivo = m_detalheBaseCorrompida;
    s.connected = Connected();
    s.security = security();
    return s;
}

// ---------------------------------------------------------------- one operation at a time

void FtpSession::beginOperation(Operation operation)
{
    // A cancel that comes from here on, even before the operation's first call, is
    // this operation's, and nothing clears it.
    auto token = std::make_shared<ftp::CancelToken>();
    {
        const QMutexLocker lock(&m_cancelMutex);
        m_cancel = token;
    }
    m_ftp->SetCancel(std::move(token));
    m_operation = operation;
    m_state = State::Running;
}

void FtpSession::endOperation()
{
    m_transfer.reset();
    m_operation = Operation::Listing;
    m_state = State::Idle;
}

FtpSession::OperationScope::OperationScope(FtpSession& session, Operation operation) : m_session(session)
{
    m_session.beginOperation(operation);
}

FtpSession::OperationScope::~OperationScope()
{
    m_session.endOperation();
}

void FtpSession::cancel()
{
    State running = State::Running;
    if (!m_state.compare_exchange_strong(running, State::Cancelling))
        return;
    cancelToken()->cancel();
    // Wakes a wait on the server at once.
    m_ftp->Abort();
}

std::shared_ptr<ftp::CancelToken> FtpSession::cancelToken() const
{
    const QMutexLocker lock(&m_cancelMutex);
    return m_cancel;
}

ESessionFailure FtpSession::cancelled() const
{
    return ESessionFailure(FailureKind::Cancelled, transferring() ? QStringLiteral("Transferência cancelada pelo usuário")
                                                                            : QStringLiteral("Operação cancelada pelo usuário"));
}

void FtpSession::throwIfCancelled() const
{
    if (m_state == State::Cancelling)
        throw cancelled();
}

// ---------------------------------------------------------------- events of the component

void FtpSession::OnStatus(const QString& text)
{
    m_events.log(text);
}

void FtpSession::OnWorkBegin(TWorkMode, std::int64_t)
{
    // The session reports a transfer's start itself: it knows the whole file's size,
    // also for a download and after a resume.
}

void FtpSession::OnWork(TWorkMode mode, std::int64_t soFar)
{
    if (!m_dataPhase.load())
        return;
    if (!m_transfer || m_transfer->mode != mode || !m_transfer->begun || m_transfer->ended)
        return;
    m_transfer->done = m_dataBase.load() + soFar;
    m_events.transferProgress(mode, m_transfer->done);
}

void FtpSession::OnWorkEnd(TWorkMode)
{
    // The end is reported by endTransfer, which knows how the transfer went.
}

// ---------------------------------------------------------------- client folder

void FtpSession::DefinirPastaCliente()
{
    if (!m_sistema)
        m_sistema = std::make_shared<TQuintaraConexao>();
    m_events.waiting(QStringLiteral("Identificando o cliente..."));
    const PastaResolvida pasta = ::DefinirPastaCliente(*m_sistema, [this](const QString& linha) { m_events.log(linha); });
    // The query is never broken off (the database client takes that badly): a
    // cancel waits for it, and then ends the operation instead of going on, in
    // corrupted-base mode or not.
    throwIfCancelled();
    m_directory = pasta.pasta;
    if (pasta.baseCorrompida()) {
        m_baseCorrompida = true;
        m_motivoBaseCorrompida = pasta.motivo;
        m_detalheBaseCorrompida = pasta.detalhe;
    }
    m_events.clientCaption(pasta.legenda);
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
    m_events.waiting(QStringLiteral("Abrindo a pasta do cliente..."));
    ftp([this] { m_ftp->ChangeDir(QStringLiteral("/")); });
    for (const QString& peca : pecas) {
        try {
            // A folder there already (the component reads it in the refusal) is
            // entered below, whatever CWD says.
            ftp([&] {
                try {
                    m_ftp->MakeDir(peca);
                } catch (const EIdFTPError& e) {
                    if (e.failure() != FtpFailure::AlreadyThere)
                        throw;
                }
            });
        } catch (const ESessionFailure& e) {
            if (e.kind() == FailureKind::Cancelled)
                throw;
            // Some servers (vsftpd) refuse an existing folder without saying so: if
            // we can enter it, it was there. Otherwise the refusal stands.
            const std::exception_ptr recusa = std::current_exception();
            try {
                ftp([&] { m_ftp->ChangeDir(peca); });
            } catch (const ESessionFailure& cwd) {
                if (cwd.kind() == FailureKind::Cancelled)
                    throw;
                std::rethrow_exception(recusa);
            }
            continue;
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

ConnectionSecurity FtpSession::security() const
{
    return m_ftp->Connected() ? m_security : ConnectionSecurity::Plain;
}

void FtpSession::ConectarFTP()
{
    try {
        conectarComAlternativo();
    } catch (ESessionFailure& e) {
        // Whatever the operation, the user reads that connecting failed.
        e.failure().whileConnecting = true;
        throw;
    }
}

void FtpSession::conectarComAlternativo()
{
    m_events.waiting(QStringLiteral("Conectando ao servidor FTP..."));
    const Endpoints destinos = m_settings.endpoints();
    m_security = ConnectionSecurity::Plain;
    m_events.connectionSecurity(ConnectionSecurity::Plain);
    m_events.log(QStringLiteral("Tentando conectar no endereço principal do FTP"));
    try {
        conectar(destinos, destinos.principal, destinos.nomeTlsPrincipal);
    } catch (const ESessionFailure& e) {
        // A refusal for suspected interception ends the connecting: the alternate
        // endpoint is the same service, most likely behind the same someone on the
        // way, and what it would be given in clear is what the refusal kept back.
        if (e.kind() == FailureKind::Cancelled || e.kind() == FailureKind::InterceptionSuspected)
            throw;
        m_events.log(e.Message());
        m_events.log(QStringLiteral("Tentando conectar no endereço alternativo do FTP"));
        conectar(destinos, destinos.alternativo, {});
    }
    if (m_ftp->IsSecure())
        lembrarTls(destinos);
    m_security = !m_ftp->IsSecure()     ? ConnectionSecurity::Plain
                 : m_ftp->IsKeyPinned() ? ConnectionSecurity::PinnedKey
                                        : ConnectionSecurity::Tls;
    m_events.connectionSecurity(m_security);
}

namespace {
QString chaveTls(const Endpoints::Destino& destino)
{
    return destino.host.trimmed().toLower() + QLatin1Char(':') + QString::number(destino.porta);
}
}

bool FtpSession::tlsVisto(const Endpoints& destinos) const
{
    const TlsMemory& memoria = m_settings.tlsMemory;
    for (const Endpoints::Destino& d : {destinos.principal, destinos.alternativo})
        if (m_tlsNestaExecucao.contains(chaveTls(d)) || (memoria.tlsSeen && memoria.tlsSeen(d.host, d.porta)))
            return true;
    return false;
}

void FtpSession::lembrarTls(const Endpoints& destinos)
{
    // Both endpoints: a connection that completed TLS at either speaks for the
    // service. This run remembers it whatever becomes of the memory kept on disk.
    m_tlsNestaExecucao.insert(chaveTls(destinos.principal));
    m_tlsNestaExecucao.insert(chaveTls(destinos.alternativo));
    const TlsMemory& memoria = m_settings.tlsMemory;
    if (!memoria.rememberTls)
        return;
    const bool guardado = memoria.tlsSeen && memoria.tlsSeen(destinos.principal.host, destinos.principal.porta) &&
                          memoria.tlsSeen(destinos.alternativo.host, destinos.alternativo.porta);
    if (guardado)
        return;
    const QString problema = memoria.rememberTls({destinos.principal, destinos.alternativo});
    // Said once a run: each later connection tries again, quietly.
    if (!problema.isEmpty() && !m_avisoMemoriaTls) {
        m_avisoMemoriaTls = true;
        m_events.warning(problema);
    }
}

void FtpSession::conectar(const Endpoints& destinos, const Endpoints::Destino& destino, const QString& nomeTls)
{
    // What the login may do is found out again on each connection.
    m_mayRename.reset();
    const TlsMemory& memoria = m_settings.tlsMemory;
    FtpSettings ajustes;
    ajustes.host = destino.host;
    ajustes.port = destino.porta;
    ajustes.username = QStringLiteral("caldoria");
    ajustes.password = QStringLiteral("vesplodu");
    ajustes.transferType = ftBinary;
    ajustes.tryNatFastTrack = true;
    ajustes.tls = destinos.tls;
    ajustes.pinnedKeys = destinos.chavesFixadas;
    ajustes.tlsName = nomeTls;
    if (memoria.acceptedCertificates)
        ajustes.acceptedCertificates = memoria.acceptedCertificates(destino.host, destino.porta);
    ajustes.tlsSeenBefore = tlsVisto(destinos);
    ajustes.connectTimeout = m_settings.connectTimeout;
    ajustes.readTimeout = m_settings.readTimeout;
    ajustes.speedLimit = m_settings.speedLimit;
    m_ftp->configure(ajustes);

    // A certificate that could not be verified: the component closed the connection
    // before the login; the question comes here, between two calls, and a yes opens
    // a new connection. A certificate that changed in between is asked about again,
    // on the next attempt.
    std::optional<UntrustedCertificateError> naoVerificado;
    ftp([this, &naoVerificado] {
        try {
            m_ftp->Connect();
        } catch (const UntrustedCertificateError& e) {
            if (m_ftp->settings().tls != TlsMode::IfAvailable || e.fingerprint().isEmpty())
                throw;
            naoVerificado = e;
        }
    });
    if (!naoVerificado)
        return;
    const UntrustedCertificateError& e = *naoVerificado;
    if (m_state == State::Cancelling || !m_events.acceptCertificate(e.host(), e.problem(), e.fingerprint()))
        throw ESessionFailure(FailureKind::CertificateRefused, e.Message());
    if (memoria.acceptCertificate)
        memoria.acceptCertificate(destino.host, destino.porta, e.fingerprint());
    ajustes.acceptedCertificates << e.fingerprint();
    m_ftp->configure(ajustes);
    ftp([this] { m_ftp->Connect(); });
}

void FtpSession::closeConnection()
{
    if (!Connected())
        return;
    try {
        m_ftp->Disconnect();
    } catch (...) {
        // Closing goes on whatever the server does.
    }
}

// ---------------------------------------------------------------- operations

FtpListing FtpSession::fetchListing()
{
    if (m_baseCorrompida)
        throw ESessionFailure(FailureKind::LocalFileError, QStringLiteral("A pasta compartilhada por clientes não identificados não é listada"));
    if (!Connected())
        ConectarFTP();
    if (ftp([this] { return m_ftp->RetrieveCurrentDir(); }) != m_directory)
        CriarPastaCliente();
    // The walk may have found out only now that the client cannot be identified.
    if (m_baseCorrompida)
        throw ESessionFailure(FailureKind::LocalFileError, QStringLiteral("A pasta compartilhada por clientes não identificados não é listada"));
    m_events.waiting(QStringLiteral("Lendo a lista de arquivos..."));
    // Copied on the worker thread: a large listing costs the window nothing here.
    return ftp([this] {
        m_ftp->List();
        return FtpListing(m_ftp->DirectoryListing());
    });
}

void FtpSession::deleteFile(const RemoteName& name)
{
    // The server may have closed the connection that the listing left open: a
    // deletion then connects again and goes back to the folder, as a listing does.
    CriarPastaCliente();
    ftp([&] { m_ftp->Delete(name); });
}
