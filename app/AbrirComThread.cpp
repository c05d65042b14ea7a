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
    if (!m_janela) {
        deleteLater();
        return;
    }
    bool enviado = false;
    m_janela->operacao(
        m_janela,
        [this, &enviado] {
            m_janela->EnviarArquivoLinhaComando();
            enviado = true;
        },
        FtpSession::Kind::Transfer);
    if (m_janela && enviado && !m_janela->baseCorrompida()) {
        QPointer<TfPrincipal> janela = m_janela;
        QTimer::singleShot(m_janela->m_deps.pausaAntesDeFecharMs, m_janela, [janela] {
            if (janela)
                janela->close();
        });
    }
    deleteLater();
}
