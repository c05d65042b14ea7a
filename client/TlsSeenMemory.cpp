#include "TlsSeenMemory.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>
#include <QSettings>
#include <QStringList>

namespace tlsSeenMemory {

namespace {

QSettings settings()
{
    return QSettings(QSettings::IniFormat, QSettings::UserScope, QStringLiteral("Quintara"), QStringLiteral("FTPCaldoria"));
}

const QString kLegacyGroup = QStringLiteral("conexao-segura");

// "host:port", as the file holds it and as earlier versions keyed their settings
// ('/' and '\' are group separators there).
QString key(const QString& host, int port)
{
    QString name = host.trimmed().toLower();
    name.replace(QLatin1Char('/'), QLatin1Char('_'));
    name.replace(QLatin1Char('\\'), QLatin1Char('_'));
    return name + QLatin1Char(':') + QString::number(port);
}

// A line names a server when it is "host:port"; blank lines, comments and anything
// else (a file that holds garbage) name none. Only the file's first megabyte counts.
QStringList read(const QString& path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly | QIODevice::Text))
        return {};
    QStringList servers;
    qint64 left = 1 << 20;
    while (left > 0 && !file.atEnd()) {
        const QByteArray raw = file.readLine(4096);
        left -= raw.size();
        const QString line = QString::fromUtf8(raw).trimmed().toLower();
        const qsizetype colon = line.lastIndexOf(QLatin1Char(':'));
        bool isPort = false;
        const int port = colon > 0 ? line.mid(colon + 1).toInt(&isPort) : 0;
        if (line.startsWith(QLatin1Char('#')) || !isPort || port <= 0 || port > 65535)
            continue;
        if (!servers.contains(line))
            servers << line;
    }
    return servers;
}

QStringList legacy()
{
    QSettings s = settings();
    s.beginGroup(kLegacyGroup);
    QStringList servers;
    for (const QString& k : s.childKeys())
        if (s.value(k).toBool())
            servers << k;
    return servers;
}

const char kHeader[] =
    "# Servidores FTP que já concluíram uma conexão segura (TLS) com este usuário do FTPCaldoria.\n"
    "# Uma conexão a um deles sem TLS é recusada antes do login: alguém no caminho pode estar\n"
    "# retirando a oferta de TLS para ler a senha e os arquivos.\n"
    "# Apague a linha de um servidor só quando o suporte da Quintara confirmar que ele deixou\n"
    "# de oferecer TLS.\n";

QString notKept(const QString& path, const QList<Endpoints::Destino>& servers, const QString& why)
{
    QStringList names;
    for (const Endpoints::Destino& s : servers)
        names << key(s.host, s.porta);
    names.removeDuplicates();
    return QStringLiteral("Não foi possível guardar em %1 que o servidor FTP (%2) concluiu uma conexão segura (TLS): %3. "
                          "Esta execução continua recusando uma conexão sem TLS a ele, mas as próximas não saberão disso: "
                          "verifique a pasta das configurações do usuário.")
        .arg(QDir::toNativeSeparators(path), names.join(QStringLiteral(", ")), why);
}

}

QString filePath()
{
    return QFileInfo(settings().fileName()).dir().filePath(QStringLiteral("FTPCaldoria-servidores-tls.txt"));
}

bool seen(const QString& host, int port)
{
    const QString k = key(host, port);
    return read(filePath()).contains(k) || legacy().contains(k);
}

QString remember(const QList<Endpoints::Destino>& servers)
{
    const QString path = filePath();
    const QStringList before = read(path);
    const QStringList earlier = legacy();
    QStringList wanted;
    for (const Endpoints::Destino& s : servers)
        wanted << key(s.host, s.porta);
    QStringList all = before;
    for (const QString& k : earlier + wanted)
        if (!all.contains(k))
            all << k;
    if (all == before && earlier.isEmpty())
        return {};

    QDir().mkpath(QFileInfo(path).path());
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Text))
        return notKept(path, servers, file.errorString());
    QByteArray content(kHeader);
    for (const QString& k : all)
        content += k.toUtf8() + '\n';
    file.write(content);
    if (!file.commit())
        return notKept(path, servers, file.errorString());

    const QStringList after = read(path);
    for (const QString& k : all)
        if (!after.contains(k))
            return notKept(path, servers, QStringLiteral("o arquivo não ficou com o que foi gravado"));
    // The file holds it all now: the settings' copy would only keep a server that a
    // person deleted from the file.
    if (!earlier.isEmpty()) {
        QSettings s = settings();
        s.remove(kLegacyGroup);
    }
    return {};
}

}
