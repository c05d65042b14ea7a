#pragma once
// Client identification helpers: the city-name normaliser that names a client's
// folder on the FTP server, the entity-type names and the program's own
// exception classes.
#include "Exception.h"

#include <QString>
#include <QStringView>

#include <array>

// Something the user has to do or correct: shown in a warning box.
class EUserWarning : public Exception {
public:
    using Exception::Exception;
};

// A failure the user has to be told about: shown in an error box.
class EUserException : public Exception {
public:
    using Exception::Exception;
};

// The client record lacks the city or the state: never shown, the client folder
// resolution falls back to the shared folder.
class ECadCliVazio : public Exception {
public:
    using Exception::Exception;
};

// Entity types, indexed by the "tipo" column of the client queries. Each name is
// one folder level of the client folder.
inline constexpr std::array<QStringView, 22> TiposEntidade = {
    u"OUTROS",   u"PM",       u"CM",           u"RPPS",       u"SAAE",      u"SAUDE",
    u"EDUCACAO", u"FUNDACAO", u"HOSPITAL",     u"ESCRITORIO", u"CONSELHO",  u"FARMACIA",
    u"CCOMUNITARIO", u"EMPUB", u"SANEAMENTO",  u"PRIVADO",    u"ESTADUAL",  u"FUNDO",
    u"AUTARQUIA", u"SECMISTA", u"CONSORCIO",   u"LOB",
};

class TFtpQuintaraUtil {
public:
    // A municipality's name as the client database stores it, turned into the form
    // that names its folder: ASCII upper case, "_" for blanks, a few punctuation
    // marks kept, everything else dropped. Never trims, never shortens.
    static QString FormataNomeCidade(const QString& nomeCidade);

    // Pair table of the accent step: the character at a position of the first maps
    // to the character at the same position of the second.
    static constexpr QStringView LetrasAcentuadas =
        u"ãõáéíóúàèìòùäëïöüâêîôûçÃÕÁÉÍÓÚÀÈÌÒÙÄËÏÖÜÂÊÎÔÛÇ";
    static constexpr QStringView LetrasSemAcento =
        u"aoaeiouaeiouaeiouaeioucAOAEIOUAEIOUAEIOUAEIOUC";

    TFtpQuintaraUtil() = delete;

private:
    static QString RemoveAcentos(const QString& texto);
    static QString RemoveAspas(const QString& texto);
    static QString TrocaEspacos(const QString& texto);
    static QString FiltraCaracteres(const QString& texto);
};
