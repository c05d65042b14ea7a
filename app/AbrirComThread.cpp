#include "AbrirComThread.h"

#include "ufPrincipal.h"

#include <QTimer>

TAbrirComThread::TAbrirComThread(TfPrincipal* janela) : QObject(janela), m_janela(janela) {}

void TAbrirComThread::Start()
{
    // Runs once the window has been shown and painted.
    QTimer::singleShot(0, this, [this] { Execute(); });
}

void TAbrirComThread::Execute()
{
    if (m_janela) {
        QPointer<TfPrincipal> janela = m_janela;
        // Sent, or kept on the server at the user's word: the window closes after a
        // pause, unless the file went to the shared folder, whose unique name the
        // user must see.
        // What the window refuses before the send (the file is another run's) is
        // said in a box, as for the button.
        m_janela->protegido(m_janela, [janela] {
            janela->EnviarArquivoLinhaComando([janela] {
                if (janela && !janela->baseCorrompida())
                    QTimer::singleShot(janela->m_deps.pausaAntesDeFecharMs, janela, [janela] {
                        if (janela)
                            janela->close();
                    });
            });
        });
    }
    deleteLater();
}
