// The control connection fails: refused, refused service, closed at each stage,
// silent, replies far too long or no FTP at all, a PWD reply without quotes, and
// a connection that the server closes between two operations.
#include "FalhasJanela.h"

namespace {

using namespace falhas;

struct FalhaAoConectar {
    const char* cenario; // nullptr: a port that refuses connections
    const char* mensagem;
};

// Nothing can be done: both endpoints are tried, each failure is logged, the last
// line says why, and the window is ready with nothing shown.
TEST_F(Falhas, ControlConnectionThatNeverLogsIn)
{
    const FalhaAoConectar casos[] = {
        {nullptr, "Não foi possível conectar em 127.0.0.1:"},
        {"greeting-421", "Too many users, try again later."},
        {"close-during-login", "A conexão foi fechada pelo servidor"},
        {"silent", "Tempo esgotado: o servidor não respondeu em 2 s"},
        {"not-ftp", "Resposta inválida do servidor: HTTP/1.1 400 Bad Request"},
        {"binary-greeting", "Resposta inválida do servidor: ??????????"},
        {"endless-reply", "Resposta do servidor longa demais"},
    };
    for (const FalhaAoConectar& c : casos) {
        SCOPED_TRACE(c.cenario ? c.cenario : "refused");
        std::unique_ptr<ScriptedFtp> servidor;
        if (c.cenario)
            servidor = std::make_unique<ScriptedFtp>(QString::fromLatin1(c.cenario));
        dialogos->caixas.clear();
        auto w = janela(servidor ? servidor->port() : testsupport::closedPort());
        clicar(*w, w->ui->btnViewFiles);

        const QStringList log = linhasDoLog(*w);
        ultimaLinhaDiz(*w, QString::fromUtf8(c.mensagem));
        const qsizetype p = log.indexOf(kPrincipal);
        const qsizetype a = log.indexOf(kAlternativo);
        ASSERT_GE(p, 0);
        ASSERT_GT(a, p);
        EXPECT_TRUE(log[a - 1].contains(QString::fromUtf8(c.mensagem))) << "the primary's failure, logged before the alternate is tried";
        EXPECT_TRUE(dialogos->caixas.empty());
        EXPECT_FALSE(w->conectada());
        EXPECT_EQ(w->ui->PageControl1->currentWidget(), w->ui->tsNenhum);
        EXPECT_EQ(linhasNaLista(*w), 0);
        prontaDeNovo(*w);
    }
}

struct FalhaDepoisDoLogin {
    const char* cenario;
    const char* mensagem;
};

// The login went well, then the connection breaks in the middle of a reply or
// carries something that is no reply: the listing fails with the reason in the
// log, and the next action opens a new connection instead of reading on in a
// conversation that is out of step.
TEST_F(Falhas, ControlConnectionThatBreaksAfterTheLogin)
{
    const FalhaDepoisDoLogin casos[] = {
        {"close-during-reply", "A conexão foi fechada pelo servidor"},
        {"not-ftp-reply", "Resposta inválida do servidor: HTTP/1.0 200 OK"},
    };
    for (const FalhaDepoisDoLogin& c : casos) {
        SCOPED_TRACE(c.cenario);
        ScriptedFtp servidor(QString::fromLatin1(c.cenario));
        auto w = janela(servidor.port());
        clicar(*w, w->ui->btnViewFiles);
        ultimaLinhaDiz(*w, QString::fromUtf8(c.mensagem));
        EXPECT_NE(w->ui->PageControl1->currentWidget(), w->ui->TabSheet1);
        EXPECT_FALSE(w->conectada());
        prontaDeNovo(*w);

        clicar(*w, w->ui->btnRefresh);
        ultimaLinhaDiz(*w, QString::fromUtf8(c.mensagem));
        EXPECT_EQ(linhasDoLog(*w).count(kPrincipal), 2) << "a new connection for the next action";
        EXPECT_EQ(linhasDoLog(*w).count(kAlternativo), 0);
        EXPECT_TRUE(dialogos->caixas.empty());
        prontaDeNovo(*w);
    }
}

// Replies a client must still read: a 100 KB line, and a PWD reply without the
// quotes around the path.
TEST_F(Falhas, OddButReadableReplies)
{
    for (const char* cenario : {"long-reply", "pwd-unquoted"}) {
        SCOPED_TRACE(cenario);
        ScriptedFtp servidor(QString::fromLatin1(cenario), {{kArquivoRemoto, 10}});
        auto w = janela(servidor.port());
        clicar(*w, w->ui->btnViewFiles);
        ASSERT_EQ(w->ui->PageControl1->currentWidget(), w->ui->TabSheet1) << linhasDoLog(*w).join('\n').toStdString();
        EXPECT_EQ(nomesNaLista(*w), QStringList{QStringLiteral("dados.bin")});

        // The folder the server reports is understood: a second listing does not
        // walk the folder chain again.
        const qsizetype antes = servidor.commands().size();
        clicar(*w, w->ui->btnRefresh);
        EXPECT_EQ(nomesNaLista(*w), QStringList{QStringLiteral("dados.bin")});
        const QStringList depois = servidor.commands().mid(antes);
        EXPECT_TRUE(depois.filter(QStringLiteral("CWD")).isEmpty()) << depois.join(' ').toStdString();
        EXPECT_TRUE(dialogos->caixas.empty());
        prontaDeNovo(*w);
    }
}

enum class Acao { Atualizar, Enviar, Baixar };

// A connection that the server has closed (silently, or saying so with 421 as an
// idle time-out does) is opened again by whatever the user does next, starting
// with the primary endpoint, and that action then succeeds.
TEST_F(Falhas, AConnectionClosedBetweenOperationsIsOpenedAgain)
{
    const QByteArray conteudo = ScriptedFtp::patternBytes(200000);
    for (const char* cenario : {"close-between", "idle-421-between"}) {
        for (const Acao acao : {Acao::Atualizar, Acao::Enviar, Acao::Baixar}) {
            SCOPED_TRACE(std::string(cenario) + " / " + std::to_string(static_cast<int>(acao)));
            ScriptedFtp servidor(QString::fromLatin1(cenario), {{kArquivoRemoto, 200000}});
            auto w = janela(servidor.port());
            dialogos->caixas.clear();
            listarESelecionar(*w, QStringLiteral("dados.bin"));
            ASSERT_TRUE(testsupport::waitUntil([&] { return servidor.notes().contains(QStringLiteral("closed the control connection")); },
                                               std::chrono::seconds(5)));

            switch (acao) {
            case Acao::Atualizar:
                clicar(*w, w->ui->btnRefresh);
                EXPECT_EQ(nomesNaLista(*w), QStringList{QStringLiteral("dados.bin")});
                break;
            case Acao::Enviar: {
                const QString origem = local.filePath(QStringLiteral("envio.bin"));
                writeFile(origem, conteudo);
                dialogos->arquivosAbrir = {origem};
                clicar(*w, w->ui->btnUpload);
                EXPECT_TRUE(servidor.notes().contains(QStringLiteral("renamed %1/%2 to %1/envio.bin").arg(kPastaCliente, nomeParcial("envio.bin", origem))))
                    << servidor.notes().join('\n').toStdString();
                ASSERT_FALSE(dialogos->caixas.empty());
                EXPECT_EQ(dialogos->caixas.back().texto, QStringLiteral("Arquivo Enviado com Sucesso"));
                EXPECT_EQ(readFile(origem), conteudo);
                break;
            }
            case Acao::Baixar: {
                const QString destino = local.filePath(QStringLiteral("baixado.bin"));
                QFile::remove(destino);
                dialogos->arquivosSalvar = {destino};
                clicar(*w, w->ui->btnDownloadSelected);
                EXPECT_EQ(readFile(destino), conteudo);
                ASSERT_FALSE(dialogos->caixas.empty());
                EXPECT_EQ(dialogos->caixas.back().texto, QStringLiteral("Arquivo Baixado com Sucesso"));
                break;
            }
            }
            const QStringList log = linhasDoLog(*w);
            // After an upload, the search for older interrupted uploads of the file is
            // a listing too, after which this server closes again.
            EXPECT_EQ(log.count(kPrincipal), acao == Acao::Enviar ? 3 : 2) << log.join('\n').toStdString();
            EXPECT_EQ(log.count(kAlternativo), 0) << log.join('\n').toStdString();
            prontaDeNovo(*w);
        }
    }
}

} // namespace

namespace {

using namespace falhas;

// A refusal that carries terminal escapes, a carriage return, a NUL and a second
// line dressed as one of the program's own: the log shows every control as an
// escape, and the second line stays visibly part of the refusal.
TEST_F(Falhas, ServerTextCannotForgeLogLines)
{
    ScriptedFtp servidor(QStringLiteral("control-text"));
    auto w = janela(servidor.port());
    clicar(*w, w->ui->btnViewFiles);

    const QStringList log = linhasDoLog(*w);
    for (const QString& linha : log)
        for (const QChar c : linha)
            EXPECT_FALSE(c.unicode() < 0x20 || c.unicode() == 0x7F || c.unicode() == 0x202E) << linha.toStdString();
    EXPECT_TRUE(log.contains(QStringLiteral("\\x1B[2J\\x1B[31mNo\\x07 such\\x0Dfile\\x00.")))
        << log.join(QLatin1Char('\n')).toStdString();
    EXPECT_TRUE(log.contains(QStringLiteral("  Arquivo enviado com sucesso \\u202Etxt.exe")))
        << log.join(QLatin1Char('\n')).toStdString();
    EXPECT_FALSE(log.contains(QStringLiteral("Arquivo enviado com sucesso \\u202Etxt.exe")));
    prontaDeNovo(*w);
}

}
