#include "NomeBaseCorrompida.h"

#include "PartialUploadName.h"

#include <QFileInfo>

#ifndef _WIN32
#include <pwd.h>
#include <unistd.h>
#endif

namespace {

QString semSeparadores(QString texto)
{
    for (QChar& c : texto) {
        const char16_t u = c.unicode();
        if (u == u'/' || u == u'\\' || u < 0x20 || (u >= 0x7F && u <= 0x9F))
            c = QLatin1Char('_');
    }
    return texto;
}

// nome, cut at a character so that its UTF-8 takes at most bytes.
QString cortado(const QString& nome, qsizetype bytes)
{
    QString resultado;
    qsizetype usados = 0;
    for (qsizetype i = 0; i < nome.size(); ++i) {
        const qsizetype tamanho = nome.at(i).isHighSurrogate() && i + 1 < nome.size() ? 2 : 1;
        const qsizetype custo = nome.mid(i, tamanho).toUtf8().size();
        if (usados + custo > bytes)
            break;
        resultado += nome.mid(i, tamanho);
        usados += custo;
        i += tamanho - 1;
    }
    return resultado;
}

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

QString NomeUnicoBaseCorrompida(const QString& localPath, const QDateTime& now, int vez)
{
    QString prefixo = semSeparadores(qEnvironmentVariable("USERDOMAIN")) + QLatin1Char('_') + semSeparadores(NomeUsuario()) +
                      QLatin1Char('-') + now.toString(QStringLiteral("yyyy-MM-dd_HH-mm-ss"));
    if (vez > 1)
        prefixo += QLatin1Char('-') + QString::number(vez);
    prefixo += QLatin1Char('_');
    const QFileInfo arquivo(localPath);
    const QString nome = arquivo.fileName();
    const qsizetype sobra = kMaxNameBytes - prefixo.toUtf8().size();
    if (nome.toUtf8().size() <= sobra)
        return prefixo + nome;
    // The extension tells support what the file is; a long one is just more name.
    QString extensao = arquivo.suffix().isEmpty() ? QString() : QLatin1Char('.') + arquivo.suffix();
    if (extensao.toUtf8().size() > 16)
        extensao.clear();
    const QString base = nome.left(nome.size() - extensao.size());
    return prefixo + cortado(base, std::max<qsizetype>(sobra - extensao.toUtf8().size() - 1, 0)) + QLatin1Char('~') + extensao;
}
