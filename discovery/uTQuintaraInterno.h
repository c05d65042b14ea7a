#pragma once
// Which of the maker's systems is installed beside this program: the first
// catalogued INI file found in the executable's own folder.
#include "uValida_Chave.h"

#include <QString>

class TQuintaraInterno {
public:
    // Looks beside the running executable (never in the working folder).
    TQuintaraInterno();
    // Looks beside the given executable path; the executable itself need not exist.
    explicit TQuintaraInterno(const QString& executablePath);

    TQuintaraSistema Sistema() const { return sisQuintara; }
    // Full path of the INI file found, with the file's name as it is on disk.
    QString ArquivoIni() const { return sArquivoIni; }
    QString TabelaTabdef() const { return sTabelaTABDEF; }
    QString CampoTabdef() const { return sCampoTABDEF; }
    QString InstaladorTabdef() const { return sInstaladorTabdef; }
    QString ArquivoXml() const { return sArquivoXml; }
    QString ServidorExe() const { return sServidorExe; }
    QString SiglaSite() const { return sSiglaSite; }
    QString PrefixoVersaoTabdef() const { return sPrefixoVersaoTabdef; }
    QString ConexaoTABDEFOnLine() const { return sConexaoTABDEFOnLine; }
    QString ConexaoTABDEFOffLine() const { return sConexaoTABDEFOffLine; }

    // The installer's name without its extension; empty when it has none.
    QString NomeInstalador() const;

private:
    TQuintaraSistema sisQuintara = qncNenhum;
    QString sArquivoIni;
    QString sTabelaTABDEF;
    QString sCampoTABDEF;
    QString sInstaladorTabdef;
    QString sArquivoXml;
    QString sServidorExe;
    QString sSiglaSite;
    QString sPrefixoVersaoTabdef;
    QString sConexaoTABDEFOnLine;
    QString sConexaoTABDEFOffLine;
};

// Folder part of an executable path, trailing separator included; empty when
// the path has no folder part.
QString PastaDoExecutavel(const QString& executablePath);
