#pragma once
// A file named on the command line ("Open with"): sent once the window is shown,
// on the GUI thread like every other operation; in normal mode the window then
// closes by itself after a pause.
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
