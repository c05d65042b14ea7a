#pragma once
// The FTP server the program talks to. The built-in endpoints and the encryption
// mode are fixed at build time (CMake cache: FTPCALDORIA_FTP_HOST,
// FTPCALDORIA_FTP_ALT_HOST, FTPCALDORIA_FTP_TLS). For testing against another
// server, environment variables override them:
//   FTPCALDORIA_FTP_HOST      primary endpoint, "host" or "host:port"
//   FTPCALDORIA_FTP_ALT_HOST  alternate endpoint, "host" or "host:port"
//   FTPCALDORIA_FTP_PORT      port of both, unless a host names its own
//   FTPCALDORIA_FTP_TLS       "nunca", "se disponível" or "sempre"
#include "FtpTypes.h"

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

    static Endpoints atuais();
};

// The encryption mode a setting names: "nunca", "se disponível", "sempre", in any
// case, with or without the accent, with '-' or '_' for the blank; nothing for any
// other text.
std::optional<TlsMode> modoTls(const QString& text);
