#pragma once
// The FTP server the program talks to. The built-in endpoints are fixed at build
// time. For testing against another server, environment variables override them:
//   FTPCALDORIA_FTP_HOST      primary endpoint, "host" or "host:port"
//   FTPCALDORIA_FTP_ALT_HOST  alternate endpoint, "host" or "host:port"
//   FTPCALDORIA_FTP_PORT      port of both, unless a host names its own
#include <QString>

struct Endpoints {
    struct Destino {
        QString host;
        int porta = 21;
    };
    Destino principal;
    Destino alternativo;

    static Endpoints atuais();
};
