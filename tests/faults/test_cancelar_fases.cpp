// A Cancel at each moment of an operation on a server that answers slowly: the
// scripted server holds one reply for ten seconds (the greeting, its side of the
// TLS handshake, the login, the walk to the client folder, the listing, the
// digest) and notes whether the client closed the connection while it held it.
// The rule: the operation ends, cancelled, before the server has answered.
#include "FalhasJanela.h"
#include "TestCertificates.h"

namespace {

using namespace falhas;
using namespace std::chrono_literals;

TEST_F(Falhas, CancelEndsTheOperationWhileTheServerHoldsItsReply)
{
    struct Caso {
        const char* fase;
        const char* segurado; // what the server holds (scripted_ftp.py's HeldReply)
        bool tls;
        bool listar;           // "Visualizar Arquivos"; otherwise "Enviar Arquivo"
    };
    const Caso casos[] = {
        {"connecting", "greeting", false, false},
        {"the TLS handshake", "tls", true, false},
        {"the login", "USER", false, false},
        {"the walk to the client folder", "CWD", false, false},
        {"the listing", "MLSD", false, true},
        {"the digest", "HASH", false, false},
    };
    QTemporaryDir certificados;
    const testsupport::TestCa ca(certificados.path());
    const testsupport::ServerCertificate certificado = ca.issue(QStringLiteral("servidor"));
    for (const Caso& c : casos) {
        SCOPED_TRACE(c.fase);
        const QString segurado = QString::fromLatin1(c.segurado);
        std::optional<ScriptedFtp::Tls> tls;
        if (c.tls)
            tls = ScriptedFtp::Tls{certificado, {}};
        ScriptedFtp servidor(QStringLiteral("hold-") + segurado, {}, testsupport::kFtpUser, testsupport::kFtpPassword, tls);
        auto w = janela(servidor.port());
        // No time-out of ours ends a wait in these cases: only the cancel can.
        AcessoTeste::Ajustes(*w, [](SessionSettings& a) { a.connectTimeout = a.readTimeout = 60s; });
        const QString origem = local.filePath(QStringLiteral("envio.bin"));
        writeFile(origem, ScriptedFtp::patternBytes(100000));
        dialogos->arquivosAbrir = {origem};
        dialogos->caixas.clear();

        Vista vista(*w);
        vista.quando([&] { return servidor.notes().contains(QStringLiteral("holding ") + segurado) && w->ui->btnCancelar->isVisible(); },
                     [&] { w->ui->btnCancelar->click(); });
        clicar(*w, c.listar ? w->ui->btnViewFiles : w->ui->btnUpload);

        ASSERT_TRUE(vista.fez(0)) << vista.rotulos().join(QLatin1Char('|')).toStdString();
        const QString saiu = QStringLiteral("client left while %1 was held").arg(segurado);
        const QString respondeu = QStringLiteral("released ") + segurado;
        ASSERT_TRUE(testsupport::waitUntil([&] { return servidor.notes().contains(saiu) || servidor.notes().contains(respondeu); }, 20s));
        EXPECT_TRUE(servidor.notes().contains(saiu)) << "the operation outlived the server's hold: " << servidor.notes().join('\n').toStdString();
        const QStringList log = linhasDoLog(*w);
        EXPECT_EQ(log.last(), c.listar ? QStringLiteral("Operação cancelada pelo usuário") : QStringLiteral("Transferência cancelada pelo usuário"))
            << log.join('\n').toStdString();
        EXPECT_EQ(log.count(kAlternativo), 0) << "a cancel is no failure to fall back from";
        EXPECT_TRUE(dialogos->caixas.empty());
        if (!c.listar) {
            EXPECT_EQ(w->ui->lbVerbose->text(), QStringLiteral("Transferência cancelada"));
        }
        EXPECT_FALSE(w->ui->btnCancelar->isVisible());
        EXPECT_TRUE(servidor.notes().filter(QStringLiteral("renamed")).isEmpty());
        prontaDeNovo(*w);
    }
}

} // namespace
