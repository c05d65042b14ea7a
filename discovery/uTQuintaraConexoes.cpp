#include "uTQuintaraConexoes.h"

#include "ExePath.h"
#include "IniFile.h"
#include "uTQuintaraInterno.h"

#include <QDate>

namespace {

const QString kBarraInvertida = QStringLiteral("\\");
const QString kBarra = QStringLiteral("/");

QString separadorDe(const QString& caminho)
{
    return caminho.contains(QLatin1Char('/')) ? kBarra : kBarraInvertida;
}

// True when a '.' follows the last separator or drive colon. Database folders on
// Firebird servers outside Windows are written with '/', so '/' ends the search
// too: /srv/x.d/base is a folder, not a file with the extension ".d/base".
bool temExtensao(const QString& caminho)
{
    for (qsizetype i = caminho.size() - 1; i >= 0; --i) {
        const QChar c = caminho.at(i);
        if (c == QLatin1Char('.'))
            return true;
        if (c == QLatin1Char('\\') || c == QLatin1Char('/') || c == QLatin1Char(':'))
            return false;
    }
    return false;
}

// Appends a fixed sub-folder to the folder read from an INI file. The systems
// write that folder with or without its trailing separator, so one is put in
// between when missing, in the folder's own style; otherwise C:\VAD would become
// C:\VADDADOS\. An empty folder leaves the sub-folder relative, as it is.
QString anexarSubpasta(const QString& pasta, const QString& subpasta)
{
    const QString barra = separadorDe(pasta);
    QString out = pasta;
    if (!pasta.isEmpty() && !pasta.endsWith(QLatin1Char('\\')) && !pasta.endsWith(QLatin1Char('/')))
        out += barra;
    return out + subpasta + barra;
}

// Trims blanks and control characters, as the maker's systems trim their values.
QString semBrancos(const QString& text)
{
    qsizetype begin = 0;
    qsizetype end = text.size();
    while (begin < end && text.at(begin).unicode() <= 0x20)
        ++begin;
    while (end > begin && text.at(end - 1).unicode() <= 0x20)
        --end;
    return text.mid(begin, end - begin);
}

const QString kSysdba = QStringLiteral("SYSDBA");
const QString kSenhaSysdba = QStringLiteral("plunderow");
const QString kUsuarioKORV = QStringLiteral("QNCKORV8");
const QString kSenhaKORV = QStringLiteral("vokt");

}

int AnoAtualLocal()
{
    return QDate::currentDate().year();
}

QString ExtrairPastaPai(const QString& caminho)
{
    if (caminho.isEmpty())
        return {};
    const QChar barra = separadorDe(caminho).at(0);
    qsizetype n = caminho.size();
    if (caminho.at(n - 1) == barra)
        --n;
    for (qsizetype i = n - 1; i >= 0; --i) {
        if (caminho.at(i) == barra)
            return caminho.left(i + 1);
    }
    return caminho;
}

// --- TQuintaraConexao ----------------------------------------------------------

TQuintaraConexao::TQuintaraConexao() = default;

TQuintaraConexao::TQuintaraConexao(const QString& ArquivoFDB)
{
    SetUsuario(kSysdba);
    SetSenha(kSenhaSysdba);
    FArquivosFDB.push_back(std::make_unique<TArquivoFDB>(ArquivoFDB, false));
}

TQuintaraConexao::~TQuintaraConexao() = default;

void TQuintaraConexao::Inicializar(TQuintaraSistema sistema, const QString& usuario, const QString& senha, std::size_t vagas)
{
    SetSistema(sistema);
    SetUsuario(usuario);
    SetSenha(senha);
    FArquivosFDB.resize(vagas);
}

void TQuintaraConexao::PreencherSlot(std::size_t slot, const QString& caminho, bool opcional)
{
    FArquivosFDB.at(slot) = std::make_unique<TArquivoFDB>(caminho, opcional);
}

void TQuintaraConexao::PreencherSlots(const std::vector<TArquivoFDB>& entradas)
{
    std::size_t slot = 0;
    for (const TArquivoFDB& entrada : entradas)
        PreencherSlot(slot++, entrada.caminho, entrada.opcional);
}

QString TQuintaraConexao::GetSiglaSistema()
{
    if (FSiglaSistema.isEmpty())
        FSiglaSistema = SiglasSistema(GetSistema());
    return FSiglaSistema;
}

TQuintaraSistema TQuintaraConexao::GetSistema() { return FSistema; }

QString TQuintaraConexao::GetServidor()
{
    if (FServidor.isEmpty())
        FServidor = QStringLiteral("localhost");
    // Only A to Z: host names are ASCII, and other letters must stay as written.
    for (QChar& c : FServidor) {
        if (c >= QLatin1Char('A') && c <= QLatin1Char('Z'))
            c = QChar(c.unicode() + ('a' - 'A'));
    }
    return FServidor;
}

QString TQuintaraConexao::GetPorta() { return FPorta; }

QString TQuintaraConexao::GetServidorPorta()
{
    const QString porta = GetPorta();
    if (!porta.isEmpty())
        return GetServidor() + QLatin1Char('/') + porta;
    return GetServidor();
}

QString TQuintaraConexao::GetCaminhoFDB() { return FCaminhoFDB; }
QString TQuintaraConexao::GetUsuario() { return FUsuario; }
QString TQuintaraConexao::GetSenha() { return FSenha; }
TArquivosFDB& TQuintaraConexao::GetArquivosFDB() { return FArquivosFDB; }

QString TQuintaraConexao::GetBarra()
{
    if (FBarra.isEmpty())
        FBarra = separadorDe(FCaminhoFDB);
    return FBarra;
}

void TQuintaraConexao::SetServidor(const QString& value) { FServidor = value; }

void TQuintaraConexao::SetCaminhoFDB(const QString& value)
{
    FCaminhoFDB = value;
    FBarra = separadorDe(value);
    // A path with an extension names the database file itself and is kept as given.
    if (!value.isEmpty() && !value.endsWith(FBarra) && !temExtensao(value))
        FCaminhoFDB += FBarra;
}

void TQuintaraConexao::SetPorta(const QString& value) { FPorta = value; }

void TQuintaraConexao::SetSistema(TQuintaraSistema value)
{
    // The short name, once read, is kept: systems are set before anyone reads it.
    FSistema = value;
}

void TQuintaraConexao::SetBarra(const QString& value) { FBarra = value; }
void TQuintaraConexao::SetUsuario(const QString& value) { FUsuario = value; }
void TQuintaraConexao::SetSenha(const QString& value) { FSenha = value; }

// --- Systems with several database files -----------------------------------------

namespace {

// The year after the given one is listed too: at the turn of the year the system
// has already opened the next year's files. Y1 wraps in 32 bits, as the year does.
std::vector<TArquivoFDB> listaKORV(const QString& f, const QString& b, std::uint32_t ano)
{
    const QString y = QString::number(ano);
    const QString y1 = QString::number(static_cast<std::uint32_t>(ano + 1u));
    return {
        {f + "ARQ" + y + b + "KORV" + y + ".FDB", false},
        {f + "ARQ" + y + b + "SYSTEM.DAT", true},
        {f + "ARQ" + y1 + b + "KORV" + y1 + ".FDB", true},
        {f + "ARQ" + y1 + b + "SYSTEM.DAT", true},
        {f + "FOTOS" + b + "KORVFOTOS.FDB", true},
    };
}

}

TQuintaraConexaoKORV::TQuintaraConexaoKORV(std::function<int()> anoAtual)
    : m_anoAtual(anoAtual ? std::move(anoAtual) : std::function<int()>(AnoAtualLocal))
{
    Inicializar(qncKORV, kUsuarioKORV, kSenhaKORV, 5);
}

void TQuintaraConexaoKORV::SetCaminhoFDB(const QString& value)
{
    TQuintaraConexao::SetCaminhoFDB(value);
    PreencherSlots(listaKORV(GetCaminhoFDB(), GetBarra(), static_cast<std::uint32_t>(m_anoAtual())));
}

TQuintaraConexaoKORVExercicio::TQuintaraConexaoKORVExercicio(std::uint32_t Exercicio)
{
    SetSistema(qncKORV);
    FExercicio = Exercicio;
    SetUsuario(kUsuarioKORV);
    SetSenha(kSenhaKORV);
    FArquivosFDB.resize(5);
}

void TQuintaraConexaoKORVExercicio::SetCaminhoFDB(const QString& value)
{
    TQuintaraConexao::SetCaminhoFDB(value);
    PreencherSlots(listaKORV(GetCaminhoFDB(), GetBarra(), FExercicio));
}

TQuintaraConexaoMUR::TQuintaraConexaoMUR() { Inicializar(qncMUR, QStringLiteral("QNCMUR"), QStringLiteral("brelox"), 3); }

void TQuintaraConexaoMUR::SetCaminhoFDB(const QString& value)
{
    TQuintaraConexao::SetCaminhoFDB(value);
    const QString f = GetCaminhoFDB();
    PreencherSlots({{f + "MURDADOS.FDB", false}, {f + "SYSTEM.DAT", true}, {f + "MURARQUIVOS.FDB", true}});
}

TQuintaraConexaoVAD::TQuintaraConexaoVAD() { Inicializar(qncVAD, kUsuarioKORV, kSenhaKORV, 2); }

void TQuintaraConexaoVAD::SetCaminhoFDB(const QString& value)
{
    TQuintaraConexao::SetCaminhoFDB(value);
    const QString f = GetCaminhoFDB();
    PreencherSlots({{f + "VEX.FDB", false}, {f + "SYSTEM.DAT", false}});
}

TQuintaraConexaoLOB::TQuintaraConexaoLOB() { Inicializar(qncLOB, kUsuarioKORV, kSenhaKORV, 3); }

void TQuintaraConexaoLOB::SetCaminhoFDB(const QString& value)
{
    TQuintaraConexao::SetCaminhoFDB(value);
    const QString f = GetCaminhoFDB();
    PreencherSlots({{f + "LOB.FDB", false}, {f + "SYSTEM.DAT", false}, {f + "LOB_FOTOS.FDB", false}});
}

TQuintaraConexaoPYR::TQuintaraConexaoPYR() { Inicializar(qncPYR, kSysdba, kSenhaSysdba, 3); }

void TQuintaraConexaoPYR::SetCaminhoFDB(const QString& value)
{
    TQuintaraConexao::SetCaminhoFDB(value);
    const QString f = GetCaminhoFDB();
    PreencherSlots({{f + "PYR.FDB", false}, {f + "SYSTEM.DAT", false}, {f + "PYR_FOTOS.FDB", false}});
}

TQuintaraConexaoRUV::TQuintaraConexaoRUV() { Inicializar(qncRUV, kUsuarioKORV, kSenhaKORV, 3); }

void TQuintaraConexaoRUV::SetCaminhoFDB(const QString& value)
{
    TQuintaraConexao::SetCaminhoFDB(value);
    const QString f = GetCaminhoFDB();
    PreencherSlots({{f + "RUV.FDB", false}, {f + "SYSTEM.DAT", false}, {f + "RUV_FOTOS.FDB", false}});
}

// --- Systems with one database file ------------------------------------------------

TQuintaraConexaoTEL::TQuintaraConexaoTEL() { Inicializar(qncTEL, QStringLiteral("QNCTEL"), QStringLiteral("zub"), 1); }

void TQuintaraConexaoTEL::SetCaminhoFDB(const QString& value)
{
    TQuintaraConexao::SetCaminhoFDB(value);
    PreencherSlots({{GetCaminhoFDB() + "TEL.FDB", false}});
}

TQuintaraConexaoNIX::TQuintaraConexaoNIX() { Inicializar(qncNIX, kSysdba, kSenhaSysdba, 1); }

void TQuintaraConexaoNIX::SetCaminhoFDB(const QString& value)
{
    TQuintaraConexao::SetCaminhoFDB(value);
    PreencherSlots({{GetCaminhoFDB() + "NIXDADOS.FDB", false}});
}

TQuintaraConexaoJEB::TQuintaraConexaoJEB(std::uint32_t Exercicio)
{
    SetSistema(qncJEB);
    FExercicio = Exercicio;
    SetUsuario(kSysdba);
    SetSenha(kSenhaSysdba);
    FArquivosFDB.resize(1);
}

QString TQuintaraConexaoJEB::GetSiglaSistema()
{
    return TQuintaraConexao::GetSiglaSistema() + QLatin1Char(' ') + QString::number(FExercicio);
}

void TQuintaraConexaoJEB::SetCaminhoFDB(const QString& value)
{
    TQuintaraConexao::SetCaminhoFDB(value);
    const QString y = QString::number(FExercicio);
    PreencherSlots({{GetCaminhoFDB() + "DADOS" + y + GetBarra() + "JEBIN" + y + ".FDB", false}});
}

TQuintaraConexaoHUSK::TQuintaraConexaoHUSK() { Inicializar(qncHUSK, kSysdba, kSenhaSysdba, 1); }

void TQuintaraConexaoHUSK::SetCaminhoFDB(const QString& value)
{
    TQuintaraConexao::SetCaminhoFDB(value);
    PreencherSlots({{GetCaminhoFDB() + "HUSK.FDB", false}});
}

TQuintaraConexaoYOL::TQuintaraConexaoYOL() { Inicializar(qncYOL, kSysdba, kSenhaSysdba, 1); }

void TQuintaraConexaoYOL::SetCaminhoFDB(const QString& value)
{
    TQuintaraConexao::SetCaminhoFDB(value);
    PreencherSlots({{GetCaminhoFDB() + "YOLQUINTARA.FDB", false}});
}

TQuintaraConexaoZIB::TQuintaraConexaoZIB() { Inicializar(qncZIB, kSysdba, kSenhaSysdba, 1); }

void TQuintaraConexaoZIB::SetCaminhoFDB(const QString& value)
{
    TQuintaraConexao::SetCaminhoFDB(value);
    PreencherSlots({{GetCaminhoFDB() + "QUINTARA_GM.FDB", false}});
}

// --- Detector ------------------------------------------------------------------------

namespace {

// Where a system keeps its database settings, for every system read the same way
// (TEL and the choice of KORV's class are handled apart).
struct RegraIni {
    TQuintaraSistema sistema;
    const char16_t* secao;
    const char16_t* chavePorta;  // nullptr: the port is not read
    const char16_t* portaPadrao;
    const char16_t* subpasta;    // nullptr: the folder is used as read
};

constexpr RegraIni kRegras[] = {
    {qncKORV, u"KORV", nullptr, u"", nullptr},
    {qncMUR, u"MUR", u"PORTACON", u"", u"MUG_DADOS"},
    {qncVAD, u"VAD", nullptr, u"", u"DADOS"},
    {qncLOB, u"LOB", nullptr, u"", u"DADOS"},
    // NIX is installed as a VAD server and keeps VAD's section name.
    {qncNIX, u"VAD", u"Porta", u"3055", nullptr},
    {qncHUSK, u"HUSK", u"Porta", u"", nullptr},
    {qncJEB, u"JEBIN", nullptr, u"", nullptr},
    {qncPYR, u"PYR", nullptr, u"", u"DADOS"},
    {qncRUV, u"RUV", nullptr, u"", u"DADOS"},
    {qncYOL, u"YOL", u"Porta", u"", nullptr},
    {qncZIB, u"ZIB", u"Porta", u"", u"BD"},
};

const RegraIni* regraDe(TQuintaraSistema sistema)
{
    for (const RegraIni& regra : kRegras) {
        if (regra.sistema == sistema)
            return &regra;
    }
    return nullptr;
}

IQuintaraConexaoPtr criarConexao(TQuintaraSistema sistema, const QString& executablePath, const IniFile& ini,
                                 const std::function<int()>& anoAtual)
{
    switch (sistema) {
    case qncKORV:
        // A copy of the program kept in a backup folder works on the current year.
        if (executablePath.contains(QLatin1String("backup"), Qt::CaseInsensitive))
            return std::make_shared<TQuintaraConexaoKORV>(anoAtual);
        return std::make_shared<TQuintaraConexaoKORVExercicio>(
            static_cast<std::uint32_t>(ini.ReadInteger(QStringLiteral("KORV"), QStringLiteral("Ano"), anoAtual())));
    case qncTEL: return std::make_shared<TQuintaraConexaoTEL>();
    case qncMUR: return std::make_shared<TQuintaraConexaoMUR>();
    case qncVAD: return std::make_shared<TQuintaraConexaoVAD>();
    case qncLOB: return std::make_shared<TQuintaraConexaoLOB>();
    case qncNIX: return std::make_shared<TQuintaraConexaoNIX>();
    case qncHUSK: return std::make_shared<TQuintaraConexaoHUSK>();
    case qncJEB: return std::make_shared<TQuintaraConexaoJEB>(static_cast<std::uint32_t>(anoAtual()));
    case qncPYR: return std::make_shared<TQuintaraConexaoPYR>();
    case qncRUV: return std::make_shared<TQuintaraConexaoRUV>();
    case qncYOL: return std::make_shared<TQuintaraConexaoYOL>();
    case qncZIB: return std::make_shared<TQuintaraConexaoZIB>();
    default: return std::make_shared<TQuintaraConexao>();
    }
}

void lerIni(IQuintaraConexao& conexao, TQuintaraSistema sistema, const IniFile& ini)
{
    const QString localhost = QStringLiteral("localhost");
    if (sistema == qncTEL) {
        // TEL names its database file, not its folder, and keeps the server apart.
        conexao.SetCaminhoFDB(ExtrairPastaPai(ini.ReadString(QStringLiteral("TEL"), QStringLiteral("Caminho"), {})));
        conexao.SetServidor(ini.ReadString(QStringLiteral("SERVIDOR"), QStringLiteral("NOME"), localhost));
        conexao.SetPorta(ini.ReadString(QStringLiteral("SERVIDOR"), QStringLiteral("PORTA"), {}));
        return;
    }
    const RegraIni* regra = regraDe(sistema);
    if (!regra)
        return;
    const QString secao = QString::fromUtf16(regra->secao);
    conexao.SetServidor(ini.ReadString(secao, QStringLiteral("Servidor"), localhost));
    if (regra->chavePorta)
        conexao.SetPorta(ini.ReadString(secao, QString::fromUtf16(regra->chavePorta), QString::fromUtf16(regra->portaPadrao)));
    const QString pasta = ini.ReadString(secao, QStringLiteral("Caminho_Base_Dados"), {});
    conexao.SetCaminhoFDB(regra->subpasta ? anexarSubpasta(pasta, QString::fromUtf16(regra->subpasta)) : pasta);
}

// The systems let the server be written as server/port; that port wins over a
// port key.
void normalizarServidorPorta(IQuintaraConexao& conexao)
{
    const QString servidor = conexao.GetServidor();
    const qsizetype barra = servidor.indexOf(QLatin1Char('/'));
    if (barra >= 0) {
        conexao.SetServidor(servidor.left(barra));
        conexao.SetPorta(servidor.mid(barra + 1).left(5));
    } else if (semBrancos(servidor).isEmpty()) {
        conexao.SetServidor(QStringLiteral("localhost"));
    }
}

}

TQuintaraConexaoInstalada::TQuintaraConexaoInstalada() : TQuintaraConexaoInstalada(exepath::executablePath(), AnoAtualLocal) {}

TQuintaraConexaoInstalada::TQuintaraConexaoInstalada(const QString& executablePath, std::function<int()> currentYear)
{
    if (!currentYear)
        currentYear = AnoAtualLocal;
    TQuintaraSistema sistema = qncNenhum;
    QString arquivoIni;
    {
        const TQuintaraInterno interno(executablePath);
        sistema = interno.Sistema();
        arquivoIni = interno.ArquivoIni();
    }
    if (arquivoIni.isEmpty()) {
        FConexaoIdentificada = criarConexao(qncNenhum, executablePath, IniFile(ini::Sections{}), currentYear);
    } else {
        const IniFile ini(arquivoIni);
        FConexaoIdentificada = criarConexao(sistema, executablePath, ini, currentYear);
        lerIni(*FConexaoIdentificada, sistema, ini);
    }
    normalizarServidorPorta(*FConexaoIdentificada);
}

QString TQuintaraConexaoInstalada::GetSiglaSistema() { return FConexaoIdentificada->GetSiglaSistema(); }
TQuintaraSistema TQuintaraConexaoInstalada::GetSistema() { return FConexaoIdentificada->GetSistema(); }
QString TQuintaraConexaoInstalada::GetServidor() { return FConexaoIdentificada->GetServidor(); }
QString TQuintaraConexaoInstalada::GetPorta() { return FConexaoIdentificada->GetPorta(); }
QString TQuintaraConexaoInstalada::GetServidorPorta() { return FConexaoIdentificada->GetServidorPorta(); }
QString TQuintaraConexaoInstalada::GetCaminhoFDB() { return FConexaoIdentificada->GetCaminhoFDB(); }
QString TQuintaraConexaoInstalada::GetUsuario() { return FConexaoIdentificada->GetUsuario(); }
QString TQuintaraConexaoInstalada::GetSenha() { return FConexaoIdentificada->GetSenha(); }
TArquivosFDB& TQuintaraConexaoInstalada::GetArquivosFDB() { return FConexaoIdentificada->GetArquivosFDB(); }
QString TQuintaraConexaoInstalada::GetBarra() { return FConexaoIdentificada->GetBarra(); }
void TQuintaraConexaoInstalada::SetServidor(const QString& value) { FConexaoIdentificada->SetServidor(value); }
void TQuintaraConexaoInstalada::SetCaminhoFDB(const QString& value) { FConexaoIdentificada->SetCaminhoFDB(value); }
void TQuintaraConexaoInstalada::SetPorta(const QString& value) { FConexaoIdentificada->SetPorta(value); }
void TQuintaraConexaoInstalada::SetSistema(TQuintaraSistema value) { FConexaoIdentificada->SetSistema(value); }
void TQuintaraConexaoInstalada::SetBarra(const QString& value) { FConexaoIdentificada->SetBarra(value); }
void TQuintaraConexaoInstalada::SetUsuario(const QString& value) { FConexaoIdentificada->SetUsuario(value); }
void TQuintaraConexaoInstalada::SetSenha(const QString& value) { FConexaoIdentificada->SetSenha(value); }
