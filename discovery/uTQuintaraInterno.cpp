#include "uTQuintaraInterno.h"

#include "ExePath.h"

#include <QDir>
#include <QFileInfo>
#include <QStringList>

#include <algorithm>

namespace {

// The installations write these files on a file system that ignores case, so
// KORV.INI and korv.ini are the same file to their users. On a file system that
// tells them apart we list the folder once and compare names without regard to
// case, preferring the exact spelling when both exist.
QString findIniFile(const QDir& folder, const QStringList& names, const QString& wanted)
{
    QString found;
    for (const QString& name : names) {
        if (name.compare(wanted, Qt::CaseInsensitive) != 0)
            continue;
        // A folder of that name is no match; a link counts when it leads to a file.
        if (!QFileInfo(folder.filePath(name)).isFile())
            continue;
        if (name == wanted)
            return name;
        if (found.isEmpty())
            found = name;
    }
    return found;
}

}

QString PastaDoExecutavel(const QString& executablePath)
{
#ifdef _WIN32
    const qsizetype cut = std::max(executablePath.lastIndexOf(QLatin1Char('\\')), executablePath.lastIndexOf(QLatin1Char('/')));
#else
    const qsizetype cut = executablePath.lastIndexOf(QLatin1Char('/'));
#endif
    return cut < 0 ? QString() : executablePath.left(cut + 1);
}

TQuintaraInterno::TQuintaraInterno() : TQuintaraInterno(exepath::executablePath()) {}

TQuintaraInterno::TQuintaraInterno(const QString& executablePath)
{
    const QString pasta = PastaDoExecutavel(executablePath);
    if (pasta.isEmpty())
        return;
    const QDir folder(pasta);
    // Names only: nothing is opened, so a file held open by its system still counts.
    const QStringList names = folder.entryList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot, QDir::Name);

    for (int row = 0; row < kQuintaraSistemaCount; ++row) {
        const TLinhaCatalogo& linha = CatalogoSistemas[static_cast<std::size_t>(row)];
        if (linha.ArquivoIni.isEmpty())
            continue;
        const QString name = findIniFile(folder, names, linha.ArquivoIni.toString() + QStringLiteral(".ini"));
        if (name.isEmpty())
            continue;
        sisQuintara = static_cast<TQuintaraSistema>(row);
        sArquivoIni = pasta + name;
        sTabelaTABDEF = linha.TabelaTabdef.toString();
        sCampoTABDEF = linha.CampoTabdef.toString();
        sInstaladorTabdef = linha.InstaladorTabdef.toString();
        sArquivoXml = linha.ArquivoXml.toString();
        sServidorExe = linha.ServidorExe.toString();
        sSiglaSite = linha.SiglaSite.toString();
        sPrefixoVersaoTabdef = linha.PrefixoVersaoTabdef.toString();
        sConexaoTABDEFOnLine = linha.ConexaoTABDEFOnLine.toString();
        sConexaoTABDEFOffLine = linha.ConexaoTABDEFOffLine.toString();
        return;
    }
}

QString TQuintaraInterno::NomeInstalador() const
{
    const qsizetype dot = sInstaladorTabdef.indexOf(QLatin1Char('.'));
    return dot < 0 ? QString() : sInstaladorTabdef.left(dot);
}
