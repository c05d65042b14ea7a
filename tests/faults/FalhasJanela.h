#pragma once
// What the fault tests share: a window pointed at a faulty server with short
// time-outs, a watchdog that turns a hang into a failure, and the checks that
// every fault ends with (a clear log line, the window ready again, nothing lost).
#include "AmbienteJanela.h"
#include "LocalFile.h"
#include "PartialUploadName.h"

#include <QCoreApplication>
#include <QDir>
#include <QLabel>
#include <QProcess>
#include <QProgressBar>
#include <QPushButton>
#include <QTabWidget>
#include <QTimer>
#include <QTreeView>

#include <chrono>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <thread>
#include <vector>

namespace falhas {

using testsupport::readFile;
using testsupport::ScriptedFtp;
using testsupport::writeFile;

inline const QString kPrincipal = QStringLiteral("Tentando conectar no endereço principal do FTP");
inline const QString kAlternativo = QStringLiteral("Tentando conectar no endereço alternativo do FTP");

// The temporary name an upload of localPath under name travels under.
inline QString nomeParcial(const QString& name, const QString& localPath)
{
    return QString::fromUtf8(partialUploadName(name.toUtf8(), LocalFileState::of(localPath).identity()));
}
// A file in the client folder, as the scripted server names it from its root.
inline const QString kArquivoRemoto = kPastaCliente.mid(1) + QStringLiteral("/dados.bin");
constexpr qint64 kTamanho = 3 << 20;

// Our time-outs in these tests; a case still running after many times them hangs.
constexpr std::chrono::seconds kTempoLimite{2};
constexpr std::chrono::seconds kVigia{40};

// Breaks off the component's operation (TIdFTP::Abort, or the window's cancel,
// which are thread-safe) when a case has not ended in time, so that a hang fails
// its own case instead of the whole program.
class Vigia {
public:
    Vigia(TIdFTP& ftp, std::chrono::seconds limite = kVigia) : Vigia([&ftp] { ftp.Abort(); }, limite) {}
    Vigia(TfPrincipal& w, std::chrono::seconds limite = kVigia) : Vigia([&w] { AcessoTeste::Cancelar(w); }, limite) {}
    Vigia(std::function<void()> interromper, std::chrono::seconds limite)
        : m_thread([this, interromper = std::move(interromper), limite] {
              std::unique_lock lock(m_mutex);
              if (!m_cv.wait_for(lock, limite, [this] { return m_fim; })) {
                  m_disparou = true;
                  interromper();
              }
          })
    {
    }
    ~Vigia() { parar(); }
    Vigia(const Vigia&) = delete;
    Vigia& operator=(const Vigia&) = delete;

    // True when the case hung and was broken off.
    bool parar()
    {
        {
            std::lock_guard lock(m_mutex);
            m_fim = true;
        }
        m_cv.notify_all();
        if (m_thread.joinable())
            m_thread.join();
        return m_disparou;
    }

private:
    std::mutex m_mutex;
    std::condition_variable m_cv;
    bool m_fim = false;
    bool m_disparou = false;
    std::thread m_thread;
};

// Pauses between the attempts of a broken transfer, as many as the program makes,
// but short: what is tested is what they lead to.
inline RetryPolicy pausasCurtas(std::chrono::milliseconds pausa = std::chrono::milliseconds(10))
{
    RetryPolicy p;
    for (auto& cada : p.pauses)
        cada = pausa;
    return p;
}

// What the busy panel shows while an operation runs, as someone watching it sees
// it: each new text of its label, in order. The label is read before every event
// the application delivers, so every text it held from one event to the next (all
// that could ever be painted) is seen, however short: no sampling clock that a
// loaded machine makes miss one.
//
// It can also act, once, when something reaches a state that lasts until the test
// has acted (the scripted server holds a command, a relay holds after its cut):
// click "Cancelar", close the window, change a local file, restart a server.
class Vista : public QObject {
public:
    explicit Vista(TfPrincipal& w) : m_w(w)
    {
        QCoreApplication::instance()->installEventFilter(this);
        QObject::connect(&m_relogio, &QTimer::timeout, this, [this] { agir(); });
        m_relogio.start(5);
    }
    ~Vista() override { QCoreApplication::instance()->removeEventFilter(this); }

    // Each new text of the label (empty while the panel is hidden), the present one last.
    QStringList rotulos()
    {
        olhar();
        return m_rotulos;
    }
    void quando(std::function<bool()> condicao, std::function<void()> acao) { m_acoes.push_back({std::move(condicao), std::move(acao), false}); }
    bool fez(std::size_t i) const { return m_acoes.at(i).feita; }

    bool eventFilter(QObject*, QEvent*) override
    {
        olhar();
        return false;
    }

private:
    void olhar()
    {
        const QString texto = m_w.ui->pnlAguarde->isVisible() ? m_w.ui->lbVerbose->text() : QString();
        if (m_rotulos.isEmpty() || m_rotulos.last() != texto)
            m_rotulos << texto;
    }
    void agir()
    {
        if (m_agindo)
            return;
        m_agindo = true;
        for (Acao& a : m_acoes)
            if (!a.feita && a.condicao()) {
                a.feita = true;
                a.acao();
            }
        m_agindo = false;
    }

    struct Acao {
        std::function<bool()> condicao;
        std::function<void()> acao;
        bool feita;
    };
    TfPrincipal& m_w;
    QTimer m_relogio;
    QStringList m_rotulos;
    std::vector<Acao> m_acoes;
    bool m_agindo = false;
};

// Acts once the scripted server holds a command (it waits for the test there),
// then lets the command go on, or leaves it held for good (a cancelled transfer
// must not end any other way).
enum class Depois { Soltar, Segurar };
inline void naEspera(Vista& vista, const ScriptedFtp& servidor, std::function<void()> acao, Depois depois = Depois::Soltar)
{
    vista.quando([&servidor] { return !servidor.held().isEmpty(); },
                 [&servidor, acao = std::move(acao), depois] {
                     acao();
                     if (depois == Depois::Soltar)
                         servidor.release();
                 });
}

// How long a held command may wait for the test: the program's own time-outs must
// not run out meanwhile, however slowly the test's side runs.
constexpr std::chrono::seconds kEsperaSegura{30};

class Falhas : public ::testing::Test {
protected:
    QTemporaryDir local;
    std::shared_ptr<DialogosRoteirizados> dialogos = std::make_shared<DialogosRoteirizados>();

    void SetUp() override { ASSERT_TRUE(local.isValid()); }

    // A window of the KORV installation whose both FTP endpoints are port.
    std::unique_ptr<TfPrincipal> janela(int porta) { return janela(porta, porta); }
    std::unique_ptr<TfPrincipal> janela(int principal, int alternativa)
    {
        apontarFtp(principal, alternativa);
        auto w = novaJanela(instalacaoKorv(), dialogos);
        AcessoTeste::Ajustes(*w, [](SessionSettings& a) {
            a.connectTimeout = a.readTimeout = kTempoLimite;
            a.retry = pausasCurtas();
        });
        w->show();
        return w;
    }

    // Clicks a button with the watchdog on; fails the case when it hung.
    static void clicar(TfPrincipal& w, QPushButton* botao)
    {
        Vigia vigia(w);
        clicarEEsperar(w, botao);
        EXPECT_FALSE(vigia.parar()) << "the operation hung and was broken off";
    }

    // Lists the client folder and selects the row named nome.
    static void listarESelecionar(TfPrincipal& w, const QString& nome)
    {
        clicar(w, w.ui->btnViewFiles);
        ASSERT_EQ(w.ui->PageControl1->currentWidget(), w.ui->TabSheet1) << linhasDoLog(w).join('\n').toStdString();
        selecionarLinha(w, linhaDe(w, nome));
        ASSERT_EQ(linhasSelecionadas(w), 1) << nome.toStdString();
    }

    static QStringList nomesNaLista(TfPrincipal& w) { return nomesDaLista(w); }

    // The window is ready for the next action.
    static void prontaDeNovo(const TfPrincipal& w)
    {
        EXPECT_FALSE(w.operacaoEmAndamento());
        EXPECT_TRUE(w.ui->btnUpload->isEnabled());
        EXPECT_TRUE(w.ui->btnViewFiles->isEnabled());
        EXPECT_TRUE(w.ui->btnRefresh->isEnabled());
        EXPECT_TRUE(w.ui->ListView1->isEnabled());
    }

    // The last box is the error box of a failed transfer: its first line, and what
    // became of the file.
    void caixaDeErro(const QString& primeiraLinha, const QString& destino) const
    {
        ASSERT_FALSE(dialogos->caixas.empty());
        const auto& caixa = dialogos->caixas.back();
        EXPECT_EQ(caixa.titulo, QStringLiteral("Erro"));
        EXPECT_EQ(caixa.flags, mb::Error);
        EXPECT_EQ(caixa.texto.section(QLatin1Char('\n'), 0, 0), primeiraLinha) << caixa.texto.toStdString();
        EXPECT_TRUE(caixa.texto.contains(destino)) << caixa.texto.toStdString();
    }

    // The log was opened so that what led to a failure can be read.
    static void logAberto(TfPrincipal& w)
    {
        EXPECT_GT(w.ui->memoLog->height(), 0);
        EXPECT_GT(w.ui->memoLog->visibleRegion().boundingRect().height(), 0);
    }

    void semCaixaDeSucesso() const
    {
        for (const auto& c : dialogos->caixas)
            EXPECT_FALSE(c.texto.contains(QStringLiteral("com Sucesso"))) << c.texto.toStdString();
    }

    // The log says why it failed in the system's or the server's words (trecho): its
    // last line, but for what the window adds after it for the user, the sentence
    // of what to do and the error box's text (a first line, then indented ones).
    static void ultimaLinhaDiz(TfPrincipal& w, const QString& trecho)
    {
        const QStringList log = linhasDoLog(w);
        QStringList antes = log;
        for (bool tirou = true; tirou && !antes.isEmpty();) {
            tirou = false;
            if (antes.last().startsWith(QStringLiteral("O servidor FTP ")) || antes.last().startsWith(QStringLiteral("A conexão não foi feita"))) {
                antes.removeLast();
                tirou = true;
            }
            bool caixa = false;
            while (!antes.isEmpty() && antes.last().startsWith(QStringLiteral("  "))) {
                antes.removeLast();
                caixa = true;
            }
            if (caixa && !antes.isEmpty()) {
                antes.removeLast();
                tirou = true;
            }
        }
        ASSERT_FALSE(antes.isEmpty()) << log.join('\n').toStdString();
        EXPECT_TRUE(antes.last().contains(trecho)) << "the line that says why: " << antes.last().toStdString() << "\nexpected: "
                                                   << trecho.toStdString() << "\nlog:\n"
                                                   << log.join('\n').toStdString();
    }

    // Everything in folder, hidden files included, by name.
    static QStringList conteudo(const QString& folder)
    {
        return QDir(folder).entryList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot, QDir::Name);
    }
};

// A small file system of its own (tmpfs), for a full disk or a read-only folder.
// We run as root; where mounting is not allowed, ok() is false and says why.
class Montagem {
public:
    explicit Montagem(const QString& opcoes)
    {
        QProcess p;
        p.setProcessChannelMode(QProcess::MergedChannels);
        p.start(QStringLiteral("mount"), {QStringLiteral("-t"), QStringLiteral("tmpfs"), QStringLiteral("-o"), opcoes,
                                          QStringLiteral("tmpfs"), m_dir.path()});
        m_ok = p.waitForFinished(10000) && p.exitStatus() == QProcess::NormalExit && p.exitCode() == 0;
        if (!m_ok)
            m_porque = QString::fromLocal8Bit(p.readAll()).trimmed();
    }
    ~Montagem()
    {
        if (m_ok)
            QProcess::execute(QStringLiteral("umount"), {QStringLiteral("-l"), m_dir.path()});
    }
    Montagem(const Montagem&) = delete;
    Montagem& operator=(const Montagem&) = delete;

    bool ok() const { return m_ok; }
    QString porque() const { return m_porque; }
    QString path() const { return m_dir.path(); }
    QString filePath(const QString& name) const { return m_dir.filePath(name); }
    bool remontar(const QString& opcoes) const
    {
        return QProcess::execute(QStringLiteral("mount"), {QStringLiteral("-o"), QStringLiteral("remount,") + opcoes, m_dir.path()}) == 0;
    }

private:
    QTemporaryDir m_dir;
    bool m_ok = false;
    QString m_porque;
};

}
