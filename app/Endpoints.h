#pragma once
// The FTP server the program talks to. The built-in endpoints are fixed at build
// time; FTPCALDORIA_FTP_HOST, FTPCALDORIA_FTP_ALT_HOST and FTPCALDORIA_FTP_PORT
// override them, for testing against another server.
#include <QString>

struct Endpoints {
    QString principal;
    QString alternativo;
    int porta = 21;

    static Endpoints atuais();
};
