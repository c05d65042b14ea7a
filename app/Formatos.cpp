#include "Formatos.h"

#include <QFileInfo>

#include <algorithm>
#include <cmath>

#ifndef _WIN32
#include <pwd.h>
#include <unistd.h>
#endif

namespace {
QChar separador(const QString& format, const char* letters, QChar fallback)
{
    for (QChar c : format)
        if (!QString::fromLatin1(letters).contains(c) && !c.isSpace() && c != QLatin1Char('\''))
            return c;
    return fallback;
}
}

QString TextoTamanho(std::int64_t bytes, const QLocale& locale)
{
    return locale.toString(static_cast<double>(bytes) / 1024.0, 'f', 3) + QStringLiteral(" KiB");
}

QString TextoDataHora(const QDateTime& when, const QLocale& locale)
{
    if (!when.isValid())
        return {};
    const QChar barra = separador(locale.dateFormat(QLocale::ShortFormat), "dMyg", QLatin1Char('/'));
    const QChar dois = separador(locale.timeFormat(QLocale::ShortFormat), "hHmsaApPtz", QLatin1Char(':'));
    const QDate d = when.date();
    const QTime t = when.time();
    auto dd = [](int v, int w = 2) { return QStringLiteral("%1").arg(v, w, 10, QLatin1Char('0')); };
    return dd(d.day()) + barra + dd(d.month()) + barra + dd(d.year(), 4) + QLatin1Char(' ') + dd(t.hour()) + dois + dd(t.minute()) + dois +
           dd(t.second());
}

QString TextoProgresso(std::int64_t soFar, std::int64_t total, double seconds, const QLocale& locale)
{
    const int pct = total > 0 ? static_cast<int>(std::min<std::int64_t>(100, soFar * 100 / total)) : 100;
    QString texto = QString::number(pct) + QLatin1Char('%');
    if (seconds < 0.5 || soFar <= 0)
        return texto;
    const double porSegundo = static_cast<double>(soFar) / seconds;
    texto += QStringLiteral(" · ") + locale.toString(porSegundo / 1e6, 'f', 1) + QStringLiteral(" MB/s");
    if (total > soFar) {
        const auto resta = static_cast<std::int64_t>(std::ceil(static_cast<double>(total - soFar) / porSegundo));
        QString tempo;
        if (resta < 60)
            tempo = QStringLiteral("%1 s").arg(resta);
        else if (resta < 3600)
            tempo = QStringLiteral("%1 min").arg((resta + 59) / 60);
        else
            tempo = QStringLiteral("%1 h %2 min").arg(resta / 3600).arg((resta % 3600) / 60, 2, 10, QLatin1Char('0'));
        texto += QStringLiteral(" · ") + tempo + QStringLiteral(" restantes");
    }
    return texto;
}

QString NomeUsuario()
{
    const QString nome = qEnvironmentVariable("USERNAME");
    if (!nome.isEmpty())
        return nome;
#ifndef _WIN32
    if (const passwd* pw = getpwuid(geteuid()))
        return QString::fromLocal8Bit(pw->pw_name);
#endif
    return qEnvironmentVariable("USER");
}

QString NomeUnicoBaseCorrompida(const QString& localPath, const QDateTime& now)
{
    return qEnvironmentVariable("USERDOMAIN") + QLatin1Char('_') + NomeUsuario() + QLatin1Char('-') +
           now.toString(QStringLiteral("yyyy-MM-dd_HH-mm-ss")) + QLatin1Char('_') + QFileInfo(localPath).fileName();
}

QString NomeSugeridoParaSalvar(const QString& remoteName)
{
    QString nome = remoteName.trimmed();
    const qsizetype corte = std::max({nome.lastIndexOf(QLatin1Char('/')), nome.lastIndexOf(QLatin1Char('\\')), nome.lastIndexOf(QLatin1Char(':'))});
    nome = nome.mid(corte + 1);
    for (QChar& c : nome)
        if (c.unicode() < 0x20 || c.unicode() == 0x7F)
            c = QLatin1Char('_');
    if (nome.isEmpty() || nome == QLatin1String(".") || nome == QLatin1String(".."))
        nome = QStringLiteral("arquivo");
    return nome;
}
