#include "PastaCliente.h"

#include "ConsultaCliente.h"
#include "Exception.h"
#include "ExePath.h"
#include "FbClient.h"
#include "SimpleDataSet.h"
#include "uTFtpQuintaraUtil.h"
#include "VisibleText.h"

namespace {

// Blanks and control characters off both ends, then a to z in upper case only.
QString normalizarUF(const QString& uf)
{
    qsizetype begin = 0;
    qsizetype end = uf.size();
    while (begin < end && uf.at(begin).unicode() <= 0x20)
        ++begin;
    while (end > begin && uf.at(end - 1).unicode() <= 0x20)
        --end;
    QString resultado = uf.mid(begin, end - begin);
    for (QChar& c : resultado) {
        if (c.unicode() >= u'a' && c.unicode() <= u'z')
            c = QChar(static_cast<char16_t>(c.unicode() - u'a' + u'A'));
    }
    return resultado;
}

bool isControl(QChar c) { return c.unicode() < 0x20 || (c.unicode() >= 0x7F && c.unicode() <= 0x9F); }

bool holdsBackslashOrControl(const QString& text)
{
    for (const QChar c : text)
        if (c == QLatin1Char('\\') || isControl(c))
            return true;
    return false;
}

bool isSeparator(QChar c) { return c == QLatin1Char('/') || (c.unicode() >= 1 && c.unicode() <= 32); }

QStringList splitPieces(const QString& path)
{
    QStringList pieces;
    QString piece;
    for (const QChar c : path) {
        if (!isSeparator(c)) {
            piece += c;
            continue;
        }
        if (!piece.isEmpty())
            pieces << piece;
        piece.clear();
    }
    if (!piece.isEmpty())
        pieces << piece;
    return pieces;
}

QString refused(const QString& why) { return QStringLiteral("Pasta do cliente recusada: ") + why; }

}

QString clientFolderPath(const QString& cidade, const QString& uf, const QString& tipo, const QString& sigla)
{
    if (holdsBackslashOrControl(cidade))
        throw Exception(refused(QStringLiteral("a cidade \"%1\" contém \"\\\" ou caracteres de controle").arg(visibleText(cidade))));
    if (holdsBackslashOrControl(uf) || uf.contains(QLatin1Char('/')))
        throw Exception(refused(QStringLiteral("a UF \"%1\" contém \"/\", \"\\\" ou caracteres de controle").arg(visibleText(uf))));
    const QString lugar = TFtpQuintaraUtil::FormataNomeCidade(cidade) + QLatin1Char('-') + uf;
    bool bad = false;
    for (const QString& level : lugar.split(QLatin1Char('/')))
        bad = bad || level.isEmpty();
    for (const QString& piece : splitPieces(lugar))
        bad = bad || piece == QLatin1String(".") || piece == QLatin1String("..");
    if (bad)
        throw Exception(refused(QStringLiteral("a cidade \"%1\" e a UF \"%2\" levariam a uma pasta vazia, \".\" ou \"..\"")
                                    .arg(visibleText(cidade), visibleText(uf))));
    return QStringLiteral("/gCALDORIA/Cidades/") + lugar + QLatin1Char('/') + tipo + QLatin1Char('/') + sigla;
}

QStringList clientFolderPieces(const QString& directory)
{
    const QStringList pieces = splitPieces(directory);
    for (const QString& piece : pieces)
        if (piece == QLatin1String(".") || piece == QLatin1String(".."))
            throw Exception(QStringLiteral("Caminho da pasta do cliente inválido (contém \"%1\"): %2").arg(piece, visibleText(directory)));
    return pieces;
}

std::unique_ptr<TSQLConnection> CriarConexaoBanco(IQuintaraConexao& sistema)
{
    auto conexao = std::make_unique<TSQLConnection>();
    conexao->SetDriverName(QStringLiteral("Firebird"));
    const QString pastaExecutavel = exepath::executableFolder();
#ifdef _WIN32
    conexao->SetLibraryName(pastaExecutavel + QStringLiteral("dbxfb.dll"));
#else
    conexao->SetLibraryName(pastaExecutavel + QStringLiteral("libdbxfb.so"));
#endif
    conexao->SetVendorLib(pastaExecutavel + fbclient::libraryFileName());
    TSQLParams& params = conexao->Params();
    params.SetValue(QStringLiteral("ServerCharset"), QStringLiteral("WIN1252"));
    params.SetValue(QStringLiteral("UseUnicode"), QStringLiteral("False"));
    params.SetValue(QStringLiteral("CommitRetain"), QStringLiteral("False"));
    params.SetValue(QStringLiteral("User_Name"), sistema.GetUsuario());
    params.SetValue(QStringLiteral("Password"), sistema.GetSenha());
    QString database = sistema.GetServidorPorta() + QLatin1Char(':');
    TArquivosFDB& arquivos = sistema.GetArquivosFDB();
    if (arquivos.empty())
        throw Exception(QStringLiteral("Argument out of range"));
    // An entry not filled yet is as good as no file at all.
    if (!arquivos.front())
        throw Exception(QStringLiteral("Argument out of range"));
    database += arquivos.front()->caminho;
    params.SetValue(QStringLiteral("Database"), database);
    conexao->SetLoginPrompt(false);
    return conexao;
}

void DefinirPastaCliente(IQuintaraConexao& sistema, IPastaClienteAlvo& alvo, const ExecutorBloqueante& executar)
{
    TSimpleDataSet dados;
    std::unique_ptr<TSQLConnection> conexao;
    // Whatever happens below, the data set lets go of its connection before the
    // connection goes.
    struct Liberar {
        TSimpleDataSet& dados;
        std::unique_ptr<TSQLConnection>& conexao;
        ~Liberar()
        {
            dados.Close();
            dados.SetConnection(nullptr);
            conexao.reset();
        }
    } liberar{dados, conexao};

    try {
        conexao = CriarConexaoBanco(sistema);
        dados.SetConnection(conexao.get());
        dados.SetCommandText(MontarSQLCliente(sistema.GetSistema()));

        // The attach, the query and the detach all happen inside this one call, so
        // a worker thread that runs it leaves nothing behind for the caller's thread
        // to talk to the server about; the row stays in the data set.
        auto abrir = [&dados, &conexao] {
            try {
                dados.Open();
            } catch (...) {
                conexao->Close();
                throw;
            }
            conexao->Close();
        };
        if (executar)
            executar(abrir);
        else
            abrir();

        const QString cidade = dados.FieldByName(QStringLiteral("cidade")).AsString();
        const QString uf = normalizarUF(dados.FieldByName(QStringLiteral("uf")).AsString());
        const QString tipo = NomeTipoEntidade(dados.FieldByName(QStringLiteral("tipo")).AsInteger());

        alvo.SetCaptionCliente(QStringLiteral("  ") + sistema.GetSiglaSistema() + QStringLiteral(": ") + tipo
                               + QStringLiteral(" de ") + cidade + QLatin1Char('/') + uf);
        if (cidade.isEmpty() || uf.isEmpty())
            throw ECadCliVazio(QStringLiteral("Não foi possível determinar a pasta do cliente"));

        alvo.SetDirectory(clientFolderPath(cidade, uf, tipo, sistema.GetSiglaSistema()));
    } catch (const Exception& e) {
        alvo.Log(e.Message());
        alvo.SetBaseCorrompida();
        alvo.SetDirectory(QString::fromUtf16(PastaBaseCorrompida));
        alvo.SetCaptionCliente(QStringLiteral("Base Corrompida"));
    }
}
