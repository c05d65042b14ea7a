#pragma once
// The FTP server the program talks to. The built-in endpoints, the encryption
// mode and the server's pinned keys are fixed at build time (CMake cache:
// FTPCALDORIA_FTP_HOST, FTPCALDORIA_FTP_ALT_HOST, FTPCALDORIA_FTP_TLS,
// FTPCALDORIA_FTP_TLS_PIN, FTPCALDORIA_FTP_TLS_NAME). For testing against another
// server, environment variables of the same names override them:
//   FTPCALDORIA_FTP_HOST      primary endpoint, "host" or "host:port"
//   FTPCALDORIA_FTP_ALT_HOST  alternate endpoint, "host" or "host:port"
//   FTPCALDORIA_FTP_PORT      port of both, unless a host names its own
//   FTPCALDORIA_FTP_TLS       "nunca", "se disponível" or "sempre"
//   FTPCALDORIA_FTP_TLS_PIN   "sha256//<base64>" pins separated by ';' (curl's
//                             --pinnedpubkey form): the SHA-256 of the server's
//                             DER SubjectPublicKeyInfo
//   FTPCALDORIA_FTP_TLS_NAME  the name the primary endpoint's certificate is
//                             checked against and that is sent as SNI (the primary
//                             endpoint is an IPv4 address, which certificates
//                             seldom name); set, even empty, it replaces the
//                             built-in one; empty: the address
// Where neither the build nor the environment names it, the primary endpoint's
// certificate is checked against the alternate endpoint's host name: the same
// vendor's server (nomeDoFornecedor).
#include "FtpTypes.h"

#include <QByteArray>
#include <QList>
#include <QString>

#include <optional>

struct Endpoints {
    struct Destino {
        QString host;
        int porta = 21;
    };
    Destino principal;
    Destino alternativo;
    TlsMode tls = TlsMode::IfAvailable;
    // Public-key digests (SHA-256, raw) of the server's pinned keys; empty: no pins.
    QList<QByteArray> chavesFixadas;
    // For the primary endpoint; empty: its host.
    QString nomeTlsPrincipal;

    static Endpoints atuais();
};

// The name a primary endpoint given as an IPv4 address goes by: the alternate
// endpoint's host name, where that is a name. Empty otherwise (a primary given by
// name, an alternate given as an address).
QString nomeDoFornecedor(const Endpoints::Destino& principal, const Endpoints::Destino& alternativo);

// The encryption mode a setting names: "nunca", "se disponível", "sempre", in any
// case, with or without the accent, with '-' or '_' for the blank; nothing for any
// other text.
std::optional<TlsMode> modoTls(const QString& text);

// The SHA-256 digests that a pin setting names: "sha256//<base64>" entries separated
// by ';' (or ','), blanks around them ignored. An entry of another form, or whose digest is
// not 32 bytes, stays in the list as a pin no key matches, so that a mistyped pin
// refuses the server rather than leaving it unpinned.
QList<QByteArray> lerChavesFixadas(const QString& text);
