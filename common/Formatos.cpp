#include "Formatos.h"

#include <QStringList>

#include <algorithm>
#include <cmath>

namespace {
QChar separador(const QString& format, const char* letters, QChar fallback)
{
    for (QChar c : format)
        if (!QString::fromLatin1(letters).contains(c) && !c.isSpace() && c != QLatin1Char('\''))
            return c;
    return fallback;
}

// "1 s restante", "3 min restantes", "1 h 05 min restantes".
QString tempoRestante(std::int64_t segundos)
{
    QString quanto;
    bool um = false;
    if (segundos < 60) {
        quanto = QStringLiteral("%1 s").arg(segundos);
        um = segundos == 1;
    } else if (segundos < 3600 - 30) {
        const std::int64_t minutos = (segundos + 30) / 60;
        quanto = QStringLiteral("%1 min").arg(minutos);
        um = minutos == 1;
    } else {
        const std::int64_t minutos = (segundos + 30) / 60;
        const std::int64_t horas = minutos / 60;
        if (minutos % 60 == 0) {
            quanto = QStringLiteral("%1 h").arg(horas);
            um = horas == 1;
        } else {
            quanto = QStringLiteral("%1 h %2 min").arg(horas).arg(minutos % 60, 2, 10, QLatin1Char('0'));
        }
    }
    return quanto + (um ? QStringLiteral(" restante") : QStringLiteral(" restantes"));
}
}

const QLocale& programLocale()
{
    static const QLocale brasil(QLocale::Portuguese, QLocale::Brazil);
    return brasil;
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

QString TextoBytes(std::int64_t bytes, const QLocale& locale)
{
    static const char* const unidades[] = {"KiB", "MiB", "GiB", "TiB", "PiB", "EiB"};
    if (bytes < 1024)
        return locale.toString(static_cast<qlonglong>(std::max<std::int64_t>(bytes, 0))) + QStringLiteral(" B");
    double valor = static_cast<double>(bytes) / 1024.0;
    int u = 0;
    // Rounded to one decimal, 1023.96 KiB reads 1,0 MiB, not 1.024,0 KiB.
    while (valor >= 1023.95 && u < 5) {
        valor /= 1024.0;
        ++u;
    }
    return locale.toString(valor, 'f', 1) + QLatin1Char(' ') + QLatin1String(unidades[u]);
}

PartesProgresso PartesDoProgresso(std::int64_t soFar, std::int64_t total, double seconds, const QLocale& locale, std::int64_t startedAt)
{
    PartesProgresso partes;
    const bool semTotal = total < 0;
    soFar = semTotal ? std::max<std::int64_t>(soFar, 0) : std::clamp<std::int64_t>(soFar, 0, std::max<std::int64_t>(total, soFar));
    partes.quantidades =
        semTotal ? TextoBytes(soFar, locale) : TextoBytes(soFar, locale) + QStringLiteral(" de ") + TextoBytes(total, locale);
    if (!semTotal)
        partes.percentual = QStringLiteral("%1 %").arg(total > 0 ? std::min<std::int64_t>(soFar * 100 / total, 100) : 100);
    const std::int64_t movidos = soFar - std::clamp<std::int64_t>(startedAt, 0, soFar);
    if (seconds < 0.5 || movidos <= 0)
        return partes;
    const double porSegundo = static_cast<double>(movidos) / seconds;
    partes.velocidade = TextoBytes(static_cast<std::int64_t>(porSegundo), locale) + QStringLiteral("/s");
    if (!semTotal && total > soFar)
        partes.restante = tempoRestante(static_cast<std::int64_t>(std::ceil(static_cast<double>(total - soFar) / porSegundo)));
    return partes;
}

QString TextoProgresso(std::int64_t soFar, std::int64_t total, double seconds, const QLocale& locale, std::int64_t startedAt)
{
    const PartesProgresso partes = PartesDoProgresso(soFar, total, seconds, locale, startedAt);
    QStringList texto{partes.quantidades};
    for (const QString& parte : {partes.velocidade, partes.restante})
        if (!parte.isEmpty())
            texto << parte;
    return texto.join(QStringLiteral(" · "));
}

void RitmoTransferencia::reiniciar()
{
    *this = RitmoTransferencia();
}

void RitmoTransferencia::registrar(std::int64_t soFar, std::int64_t msecs)
{
    if (!m_comDados) {
        m_comDados = true;
        m_inicio = m_ultimo = soFar;
        m_inicioMs = m_ultimoMs = msecs;
        return;
    }
    if (soFar == m_ultimo)
        return;
    m_ultimo = soFar;
    m_ultimoMs = msecs;
}

double RitmoTransferencia::segundosAte(std::int64_t msecs) const
{
    return m_comDados ? static_cast<double>(std::max<std::int64_t>(msecs - m_inicioMs, 0)) / 1000.0 : 0.0;
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
