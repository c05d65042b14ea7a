#pragma once
// Runs of the real executable without a window (--enviar), as a scheduled task
// starts it, and what they leave behind.
#include "Instalacao.h"

#include <QDirIterator>
#include <QMap>
#include <QProcess>
#include <QProcessEnvironment>
#include <QRegularExpression>
#include <QString>
#include <QStringList>

#include <chrono>
#include <memory>

namespace e2e {

struct Execucao {
    bool terminou = false;
    int codigo = -1;
    QString saida;
    QString erros;

    QStringList linhas(const QString& texto) const
    {
        return QString(texto).remove(QLatin1Char('\r')).split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    }
    QStringList linhasDaSaida() const { return linhas(saida); }
    QStringList linhasDeErro() const { return linhas(erros); }
    // The outcome line's text, when the last line at column 0 of standard error is
    // one ("=== dd/mm/aaaa hh:mm:ss RESULTADO: ..."); lines after it are its own,
    // indented. Empty otherwise.
    QString resultado() const
    {
        static const QRegularExpression forma(QStringLiteral("^=== \\d\\d/\\d\\d/\\d{4} \\d\\d:\\d\\d:\\d\\d RESULTADO: (.*)$"));
        const QStringList todas = linhasDeErro();
        const QStringList proprias = todas.filter(QRegularExpression(QStringLiteral("^\\S")));
        const QRegularExpressionMatch m = forma.match(proprias.value(proprias.size() - 1));
        return m.hasMatch() && todas.filter(forma).size() == 1 ? m.captured(1) : QString();
    }
    std::string tudo() const { return (QStringLiteral("exit %1\n--- stdout\n%2--- stderr\n%3").arg(codigo).arg(saida, erros)).toStdString(); }
};

// The environment of a run: no display (no DISPLAY, no WAYLAND_DISPLAY, no
// QT_QPA_PLATFORM, so a QApplication would abort the run), the endpoints at the
// test's servers, and the user's settings in the test's folder. extra adds to it.
inline QProcessEnvironment ambiente(int portaPrincipal, int portaAlternativa, const QString& pastaTrabalho,
                                    const QMap<QString, QString>& extra = {})
{
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    for (const char* variavel : {"QT_QPA_PLATFORM", "DISPLAY", "WAYLAND_DISPLAY", "FTPCALDORIA_LOG", "FTPCALDORIA_FTP_TLS_PIN"})
        env.remove(QString::fromLatin1(variavel));
    env.insert(QStringLiteral("XDG_CONFIG_HOME"), pastaTrabalho + QStringLiteral("/configuracao"));
    env.insert(QStringLiteral("FTPCALDORIA_FTP_HOST"), QStringLiteral("127.0.0.1:%1").arg(portaPrincipal));
    env.insert(QStringLiteral("FTPCALDORIA_FTP_ALT_HOST"), QStringLiteral("127.0.0.1:%1").arg(portaAlternativa));
    env.insert(QStringLiteral("USERDOMAIN"), QStringLiteral("PREFEITURA"));
    env.insert(QStringLiteral("USERNAME"), QStringLiteral("usuario"));
    env.insert(QStringLiteral("LC_ALL"), QStringLiteral("pt_BR.UTF-8"));
    for (auto it = extra.begin(); it != extra.end(); ++it)
        env.insert(it.key(), it.value());
    return env;
}

// Starts the program from pastaTrabalho: it looks beside itself, not there.
inline std::unique_ptr<QProcess> iniciar(const Instalacao& inst, const QStringList& args, int portaPrincipal, int portaAlternativa,
                                         const QString& pastaTrabalho, const QMap<QString, QString>& extra = {})
{
    auto p = std::make_unique<QProcess>();
    p->setProcessEnvironment(ambiente(portaPrincipal, portaAlternativa, pastaTrabalho, extra));
    p->setWorkingDirectory(pastaTrabalho);
    p->start(inst.programa, args);
    return p;
}

// Waits for a started run to end.
inline Execucao esperar(QProcess& p, std::chrono::seconds limite = std::chrono::seconds(120))
{
    Execucao r;
    if (!p.waitForStarted(10000))
        return r;
    r.terminou = p.waitForFinished(static_cast<int>(std::chrono::milliseconds(limite).count()));
    if (!r.terminou) {
        p.kill();
        p.waitForFinished(5000);
    }
    r.codigo = p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1;
    r.saida = QString::fromUtf8(p.readAllStandardOutput());
    r.erros = QString::fromUtf8(p.readAllStandardError());
    return r;
}

// Runs the program to its end.
inline Execucao executar(const Instalacao& inst, const QStringList& args, int portaPrincipal, int portaAlternativa,
                         const QString& pastaTrabalho, std::chrono::seconds limite = std::chrono::seconds(120),
                         const QMap<QString, QString>& extra = {})
{
    return esperar(*iniciar(inst, args, portaPrincipal, portaAlternativa, pastaTrabalho, extra), limite);
}

inline QStringList arquivosAbaixo(const QString& raiz)
{
    QStringList out;
    QDirIterator it(raiz, QDir::Files | QDir::Hidden, QDirIterator::Subdirectories);
    while (it.hasNext())
        out << it.next().mid(raiz.size());
    out.sort();
    return out;
}

}
