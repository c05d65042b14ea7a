#include "PastaCliente.h"

#include "ClientFolderPath.h"
#include "ConsultaCliente.h"
#include "Exception.h"
#include "ExePath.h"
#include "FbClient.h"
#include "SimpleDataSet.h"
#include "uTFtpQuintaraUtil.h"

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

QString textoMotivo(MotivoBaseCorrompida motivo)
{
    switch (motivo) {
    case MotivoBaseCorrompida::Nenhum:
        break;
    case MotivoBaseCorrompida::SemSistema:
        return QStringLiteral("nenhum sistema Quintara identificado");
    case MotivoBaseCorrompida::SemConsulta:
        return QStringLiteral("o sistema não tem consulta do cliente");
    case MotivoBaseCorrompida::SemClienteFirebird:
        return QStringLiteral("nenhum cliente Firebird pôde ser carregado");
    case MotivoBaseCorrompida::BancoInacessivel:
        return QStringLiteral("o banco de dados do sistema não pôde ser lido");
    case MotivoBaseCorrompida::CadastroInvalido:
        return QStringLiteral("o cadastro do cliente não indica uma pasta válida");
    }
    return {};
}

PastaResolvida DefinirPastaCliente(IQuintaraConexao& sistema, const std::function<void(const QString&)>& log)
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

    // Each step names what its failure means for the user.
    MotivoBaseCorrompida motivo =
        sistema.GetSistema() == qncNenhum ? MotivoBaseCorrompida::SemSistema : MotivoBaseCorrompida::BancoInacessivel;
    try {
        conexao = CriarConexaoBanco(sistema);
        dados.SetConnection(conexao.get());
        dados.SetCommandText(MontarSQLCliente(sistema.GetSistema()));
        if (dados.CommandText().trimmed().isEmpty()) {
            // Nothing to ask, so no client library to ask with: the data set refuses
            // the empty query before any library is looked for, and the log names
            // the missing query, not a missing library.
            motivo = MotivoBaseCorrompida::SemConsulta;
            dados.Open();
        }

        QString biblioteca;
        try {
            try {
                biblioteca = fbclient::carregar(conexao->VendorLib()).relato;
            } catch (const fbclient::EClienteIndisponivel&) {
                motivo = MotivoBaseCorrompida::SemClienteFirebird;
                throw;
            }
            try {
                dados.Open();
            } catch (...) {
                conexao->Close();
                throw;
            }
            conexao->Close();
        } catch (...) {
            if (!biblioteca.isEmpty())
                log(biblioteca);
            throw;
        }
        log(biblioteca);

        motivo = MotivoBaseCorrompida::CadastroInvalido;
        const QString cidade = dados.FieldByName(QStringLiteral("cidade")).AsString();
        const QString uf = normalizarUF(dados.FieldByName(QStringLiteral("uf")).AsString());
        const QString tipo = NomeTipoEntidade(dados.FieldByName(QStringLiteral("tipo")).AsInteger());
        if (cidade.isEmpty() || uf.isEmpty())
            throw ECadCliVazio(QStringLiteral("Não foi possível determinar a pasta do cliente"));

        return {clientFolderPath(cidade, uf, tipo, sistema.GetSiglaSistema()),
                QStringLiteral("  ") + sistema.GetSiglaSistema() + QStringLiteral(": ") + tipo + QStringLiteral(" de ") + cidade +
                    QLatin1Char('/') + uf,
                MotivoBaseCorrompida::Nenhum, {}};
    } catch (const Exception& e) {
        log(e.Message());
        // Without a system there is nothing to add: the reason says it all.
        return {QString::fromUtf16(PastaBaseCorrompida), QStringLiteral("Base Corrompida"), motivo,
                motivo == MotivoBaseCorrompida::SemSistema ? QString() : e.Message()};
    }
}
