#include "Endpoints.h"

#include <QStringList>
#include <QtGlobal>

namespace {
int portaValida(const QString& text, int padrao)
{
    bool ok = false;
    const int p = text.toInt(&ok);
    return ok && p > 0 && p < 65536 ? p : padrao;
}

bool enderecoIPv4(const QString& host)
{
    // Plain code, as every parser of the session's thread (see FtpReplyParsers.cpp).
    const QStringList partes = host.trimmed().split(QLatin1Char('.'));
    if (partes.size() != 4)
        return false;
    for (const QString& parte : partes) {
        if (parte.isEmpty() || parte.size() > 3)
            return false;
        for (const QChar c : parte)
            if (c < QLatin1Char('0') || c > QLatin1Char('9'))
                return false;
    }
    return true;
}

Endpoints::Destino destino(const char* variavel, const QString& hostPadrao, int portaPadrao)
{
    Endpoints::Destino d{hostPadrao, portaPadrao};
    const QString valor = qEnvironmentVariable(variavel).trimmed();
    if (valor.isEmpty())
        return d;
    const qsizetype doisPontos = valor.lastIndexOf(QLatin1Char(':'));
    if (doisPontos > 0) {
        d.host = valor.left(doisPontos);
        d.porta = portaValida(valor.mid(doisPontos + 1), portaPadrao);
    } else {
        d.host = valor;
    }
    return d;
}
}

std::optional<TlsMode> modoTls(const QString& text)
{
    QString t = text.trimmed().toLower();
    t.replace(QChar(0x00ED), QLatin1Char('i')); // í
    t.replace(QLatin1Char('-'), QLatin1Char(' '));
    t.replace(QLatin1Char('_'), QLatin1Char(' '));
    t = t.simplified();
    if (t == QLatin1String("nunca"))
        return TlsMode::Never;
    if (t == QLatin1String("se disponivel"))
        return TlsMode::IfAvailable;
    if (t == QLatin1String("sempre"))
        return TlsMode::Required;
    return std::nullopt;
}

QList<QByteArray> lerChavesFixadas(const QString& text)
{
    static const QLatin1String prefixo("sha256//");
    QList<QByteArray> chaves;
    // ',' too: the build passes the cache variable's pins so.
    for (const QString& parte : QString(text).replace(QLatin1Char(','), QLatin1Char(';')).split(QLatin1Char(';'))) {
        const QString pino = parte.trimmed();
        if (pino.isEmpty())
            continue;
        QByteArray digest;
        if (pino.startsWith(prefixo)) {
            const auto decoded =
                QByteArray::fromBase64Encoding(pino.mid(prefixo.size()).toLatin1(), QByteArray::AbortOnBase64DecodingErrors);
            if (decoded && decoded.decoded.size() == 32)
                digest = decoded.decoded;
        }
        // No SHA-256 digest is this: the entry matches no key.
        chaves << (digest.isEmpty() ? QByteArrayLiteral("pino inválido") : digest);
    }
    return chaves;
}

Endpoints Endpoints::atuais()
{
    const int porta = portaValida(qEnvironmentVariable("FTPCALDORIA_FTP_PORT"), 21);
    const TlsMode padrao = modoTls(QString::fromUtf8(FTPCALDORIA_FTP_TLS)).value_or(TlsMode::IfAvailable);
    // Set in the environment, even empty, a setting replaces the built-in one: a test
    // can so run a pinned build without pins.
    const auto valor = [](const char* variavel, const char* padrao) {
        return qEnvironmentVariableIsSet(variavel) ? qEnvironmentVariable(variavel) : QString::fromUtf8(padrao);
    };
    Endpoints e{destino("FTPCALDORIA_FTP_HOST", QStringLiteral(FTPCALDORIA_FTP_HOST), porta),
                destino("FTPCALDORIA_FTP_ALT_HOST", QStringLiteral(FTPCALDORIA_FTP_ALT_HOST), porta),
                modoTls(qEnvironmentVariable("FTPCALDORIA_FTP_TLS")).value_or(padrao),
                lerChavesFixadas(valor("FTPCALDORIA_FTP_TLS_PIN", FTPCALDORIA_FTP_TLS_PIN)),
                valor("FTPCALDORIA_FTP_TLS_NAME", FTPCALDORIA_FTP_TLS_NAME).trimmed()};
    if (!qEnvironmentVariableIsSet("FTPCALDORIA_FTP_TLS_NAME") && e.nomeTlsPrincipal.isEmpty())
        e.nomeTlsPrincipal = nomeDoFornecedor(e.principal, e.alternativo);
    return e;
}

QString nomeDoFornecedor(const Endpoints::Destino& principal, const Endpoints::Destino& alternativo)
{
    // Certificates name hosts, seldom addresses: an address as the primary endpoint
    // is the vendor's, whose certificate carries the vendor's name, the one the
    // alternate endpoint goes by.
    if (!enderecoIPv4(principal.host) || alternativo.host.trimmed().isEmpty() || enderecoIPv4(alternativo.host))
        return {};
    return alternativo.host.trimmed();
}
