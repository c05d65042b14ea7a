#include "BlockingCall.h"

#include <QCoreApplication>
#include <QEventLoop>
#include <QMetaObject>
#include <QPointer>
#include <QThread>

#include <exception>
#include <memory>

void executarBloqueante(const std::function<void()>& work)
{
    QCoreApplication* app = QCoreApplication::instance();
    if (!app || QThread::currentThread() != app->thread()) {
        work();
        return;
    }

    struct Estado {
        std::exception_ptr erro;
        bool terminou = false;
    };
    auto estado = std::make_shared<Estado>();
    QEventLoop loop;
    QPointer<QEventLoop> alvo(&loop);

    std::unique_ptr<QThread> worker(QThread::create([&work, estado, alvo] {
        try {
            work();
        } catch (...) {
            estado->erro = std::current_exception();
        }
        // Posted after everything the work posted, so those are delivered first.
        QMetaObject::invokeMethod(
            QCoreApplication::instance(),
            [estado, alvo] {
                estado->terminou = true;
                if (alvo)
                    alvo->quit();
            },
            Qt::QueuedConnection);
    }));
    worker->start();
    while (!estado->terminou)
        loop.exec();
    worker->wait();
    if (estado->erro)
        std::rethrow_exception(estado->erro);
}
