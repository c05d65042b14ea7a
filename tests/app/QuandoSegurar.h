#pragma once
// Acts at a point the scripted server holds: once the server holds a command (it
// waits there for the test, so the point lasts however slowly the test runs), the
// action runs on the GUI thread, once, while the window goes on with its events.
#include "FtpServers.h"

#include <QTimer>

#include <functional>

class QuandoSegurar {
public:
    QuandoSegurar(const testsupport::ScriptedFtp& servidor, std::function<void()> acao)
    {
        QObject::connect(&m_relogio, &QTimer::timeout, [this, &servidor, acao = std::move(acao)] {
            if (m_agiu || servidor.held().isEmpty())
                return;
            m_agiu = true;
            m_relogio.stop();
            acao();
        });
        m_relogio.start(5);
    }
    bool agiu() const { return m_agiu; }

private:
    QTimer m_relogio;
    bool m_agiu = false;
};
