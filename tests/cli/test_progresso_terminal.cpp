// What the mode without a window shows of a transfer: on a terminal, the screen as
// the user sees it after the line was redrawn; elsewhere, the lines a task's output
// file gets.
#include "TerminalProgress.h"

#include <QLocale>
#include <QRegularExpression>
#include <QStringList>

#include <functional>

#include <gtest/gtest.h>

#include <ostream>

inline void PrintTo(const QString& s, std::ostream* os)
{
    *os << '"' << s.toStdString() << '"';
}

namespace {

constexpr std::int64_t KiB = 1024;
constexpr std::int64_t MiB = 1024 * KiB;

// A terminal: "\r" goes back to the line's start, "\b" one column back, "\n" starts
// a new line; other characters overwrite what is under the cursor.
class Tela {
public:
    void escrever(const QString& texto)
    {
        for (QChar c : texto) {
            if (c == QLatin1Char('\r')) {
                m_coluna = 0;
            } else if (c == QLatin1Char('\b')) {
                m_coluna = std::max<qsizetype>(m_coluna - 1, 0);
            } else if (c == QLatin1Char('\n')) {
                m_linhas << QString();
                m_coluna = 0;
            } else {
                QString& linha = m_linhas.last();
                if (linha.size() <= m_coluna)
                    linha.resize(m_coluna + 1, QLatin1Char(' '));
                linha[m_coluna++] = c;
            }
        }
    }
    // The lines as they show, without the blanks at their ends.
    QStringList linhas() const
    {
        QStringList out;
        for (const QString& l : m_linhas)
            out << QString(l).replace(QRegularExpression(QStringLiteral(" +$")), QString());
        return out;
    }

private:
    QStringList m_linhas{QString()};
    qsizetype m_coluna = 0;
};

class ProgressoTerminal : public ::testing::Test {
protected:
    void SetUp() override { QLocale::setDefault(QLocale(QLocale::Portuguese, QLocale::Brazil)); }
    void TearDown() override { QLocale::setDefault(QLocale::c()); }

    std::int64_t agora = 0;
    TerminalProgress::Clock relogio = [this] { return agora; };
};

TEST_F(ProgressoTerminal, OnATerminalOneLineIsRedrawnInPlace)
{
    Tela tela;
    int escritas = 0;
    TerminalProgress p(true, [&](const QString& t) { ++escritas; tela.escrever(t); }, relogio);
    p.begin(wmWrite, 100 * MiB);
    // 5 s of reports every 10 ms: redrawn a few times a second, not 500 times.
    for (int i = 1; i <= 500; ++i) {
        agora = i * 10;
        p.progress(i * 104'858);
    }
    EXPECT_LE(escritas, 1 + 5000 / TerminalProgress::kRedrawMs + 1);
    EXPECT_EQ(tela.linhas(), QStringList{QStringLiteral("Enviando:  50 % · 50,0 MiB de 100,0 MiB · 10,0 MiB/s · 5 s restantes")});

    // A longer line (the pause after a broken line) leaves nothing behind when a
    // shorter one replaces it; a log line gets a clean line of its own.
    p.retry(1, 5, 2);
    p.makeRoom();
    tela.escrever(QStringLiteral("Conexão perdida: reset\n"));
    agora = 6000;
    p.resumed(50 * MiB);
    agora = 7000;
    p.progress(60 * MiB);
    EXPECT_EQ(tela.linhas(), (QStringList{QStringLiteral("Conexão perdida: reset"),
                                          QStringLiteral("Enviando:  60 % · 60,0 MiB de 100,0 MiB · 10,0 MiB/s · 4 s restantes")}));

    p.checking();
    p.end(TransferOutcome::Completed);
    EXPECT_EQ(tela.linhas(), (QStringList{QStringLiteral("Conexão perdida: reset"), QStringLiteral("Enviado: 100,0 MiB"), QString()}));
}

// The speed counts only what moved in this attempt: neither the part an earlier run
// left on the server, which the transfer announces as its first progress, nor what
// stood there when a new attempt resumed.
TEST_F(ProgressoTerminal, SpeedCountsOnlyWhatThisAttemptMoved)
{
    struct Caso {
        const char* nome;
        std::function<void(TerminalProgress&)> inicio; // at 0 ms
        const char* linha;                             // after 96 MiB at 2 s
    };
    const Caso casos[] = {
        {"an earlier run's 90 MiB announced at the start",
         [](TerminalProgress& p) {
             p.begin(wmWrite, 100 * MiB);
             p.progress(90 * MiB);
         },
         "Enviando:  96 % · 96,0 MiB de 100,0 MiB · 3,0 MiB/s · 2 s restantes"},
        {"a new attempt from 90 MiB",
         [](TerminalProgress& p) {
             p.begin(wmWrite, 100 * MiB);
             p.progress(90 * MiB);
             p.retry(1, 5, 1);
             p.resumed(90 * MiB);
         },
         "Enviando:  96 % · 96,0 MiB de 100,0 MiB · 3,0 MiB/s · 2 s restantes"},
    };
    for (const Caso& c : casos) {
        SCOPED_TRACE(c.nome);
        Tela tela;
        agora = 0;
        TerminalProgress p(true, [&](const QString& t) { tela.escrever(t); }, relogio);
        c.inicio(p);
        agora = 2000;
        p.progress(96 * MiB);
        EXPECT_EQ(tela.linhas(), QStringList{QString::fromUtf8(c.linha)});
    }
}

TEST_F(ProgressoTerminal, ElsewhereALineAtEachTenthOrEveryFewSeconds)
{
    QStringList linhas;
    TerminalProgress p(false, [&](const QString& t) { linhas << t; }, relogio);

    // Fast: 1,000 reports in a second give a line per tenth, and the whole file once.
    p.begin(wmWrite, 1000 * 100 * KiB);
    for (int i = 1; i <= 1000; ++i) {
        agora = i;
        p.progress(i * 100 * KiB);
    }
    p.checking();
    p.end(TransferOutcome::Completed);
    ASSERT_EQ(linhas.size(), 13) << linhas.join(QString()).toStdString();
    EXPECT_EQ(linhas[0], QStringLiteral("Enviando:   0 % · 0 B de 97,7 MiB\n"));
    EXPECT_EQ(linhas[1], QStringLiteral("Enviando:  10 % · 9,8 MiB de 97,7 MiB\n")) << "too early to tell a speed";
    EXPECT_TRUE(linhas[10].startsWith(QStringLiteral("Enviando: 100 % · 97,7 MiB de 97,7 MiB · "))) << linhas[10].toStdString();
    EXPECT_EQ(linhas[11], QStringLiteral("Conferindo o arquivo no servidor...\n"));
    EXPECT_EQ(linhas[12], QStringLiteral("Enviado: 97,7 MiB\n"));

    // Slow: 1 MiB a second gives a line every 5 s and at the tenth; a pause after a
    // broken line gives one line, not one per second of its countdown; data that
    // stands still gives none.
    linhas.clear();
    agora = 0;
    p.begin(wmWrite, 100 * MiB);
    for (int s = 1; s <= 12; ++s) {
        agora = s * 1000;
        p.progress(s * MiB);
    }
    for (int s = 5; s >= 1; --s)
        p.retry(2, 5, s);
    for (int s = 13; s <= 20; ++s) {
        agora = s * 1000;
        p.progress(12 * MiB);
    }
    p.end(TransferOutcome::Failed);
    EXPECT_EQ(linhas, (QStringList{QStringLiteral("Enviando:   0 % · 0 B de 100,0 MiB\n"),
                                   QStringLiteral("Enviando:   5 % · 5,0 MiB de 100,0 MiB · 1,0 MiB/s · 2 min restantes\n"),
                                   QStringLiteral("Enviando:  10 % · 10,0 MiB de 100,0 MiB · 1,0 MiB/s · 2 min restantes\n"),
                                   QStringLiteral("Conexão perdida; nova tentativa em 5 s (2 de 5)\n")}));
}

TEST_F(ProgressoTerminal, ASizeNobodyKnows)
{
    QStringList linhas;
    TerminalProgress p(false, [&](const QString& t) { linhas << t; }, relogio);
    p.begin(wmWrite, -1);
    for (int s = 1; s <= 10; ++s) {
        agora = s * 1000;
        p.progress(s * MiB);
    }
    EXPECT_EQ(linhas, (QStringList{QStringLiteral("Enviando: 0 B\n"), QStringLiteral("Enviando: 5,0 MiB · 1,0 MiB/s\n"),
                                   QStringLiteral("Enviando: 10,0 MiB · 1,0 MiB/s\n")}));
}

}
