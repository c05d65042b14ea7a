#pragma once
// A file named on the command line ("Open with"). Despite its name (the one support
// staff know it by) this is no thread: a one-shot timer that, once the window has
// been shown, hands the file to the send flow, which runs on the session's thread
// like every other operation. In normal mode the window then closes by itself
// after a pause.
#include <QObject>
#include <QPointer>

class TfPrincipal;

class TAbrirComThread : public QObject {
    Q_OBJECT
public:
    explicit TAbrirComThread(TfPrincipal* janela);
    void Start();

private:
    void Execute();
    QPointer<TfPrincipal> m_janela;
};
