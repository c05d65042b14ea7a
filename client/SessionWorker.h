#pragma once
// The thread that owns the FTP session, and with it the connection and the
// database query, for the program's life. A front end (the window, a run from the
// command line) asks it for whole operations, each of which runs there from start
// to end, making its blocking calls one after another, while the front end's thread
// goes on with its events. What the session reports comes to the front end's thread
// as queued calls; its questions wait there for their answers (QueuedEvents); an
// operation's end comes there last, with its result or its failure (Outcome). The
// session itself is the worker's alone.
//
//   front end's thread                 the session's thread
//   ------------------                 --------------------
//   identify / list / send /  ───────▶  the operation: connect, identify, walk,
//   download / remove                     list, send, receive, delete
//   events: log, progress    ◀───────  reports (queued, in order)
//   dialogs: replace? ...    ◀──────▶  questions (it waits for the answer)
//   done(outcome)            ◀───────  after every report of the operation
//   cancel()                 ───────▶  the running call breaks off
#include "EnvioArquivo.h"
#include "FtpSession.h"
#include "ListagemPasta.h"
#include "QueuedEvents.h"
#include "SessionFailure.h"
#include "SessionSettings.h"

#include <QMutex>
#include <QObject>
#include <QThread>
#include <QWaitCondition>

#include <deque>
#include <functional>
#include <memory>
#include <optional>
#include <variant>

namespace fbclient {
class Uso;
}

// How an operation ended: what it gives, and why it failed, where it did. A failed
// operation may still give what it has to show (a download of a name that is not
// there gives the list as it is now).
template <typename T>
struct Outcome {
    T result;
    std::optional<Failure> failure;
    bool ok() const { return !failure; }
};

// What a download gives.
struct Download {
    std::optional<TransferCheck> conferido; // nothing when the user kept a local file that appeared meanwhile
    // The client folder's list, when the server had no such file.
    std::optional<ListagemPasta> listagem;
};

class SessionWorker : public QObject {
    Q_OBJECT

public:
    template <typename T>
    using Done = std::function<void(const Outcome<T>&)>;

    // events is called on the thread this object is created on.
    SessionWorker(FtpSessionEvents& events, SessionSettings settings, QObject* parent = nullptr);
    // Cancels what runs, answers "no" to a question still open, and waits for the
    // thread to end, after closing the connection and letting go of the Firebird
    // client (fbclient::Uso).
    ~SessionWorker() override;

    // From the next operation on; may come while one runs.
    void configure(SessionSettings settings);

    // Finds the installed system (create looks beside the executable). Runs on the
    // session's thread before whatever is asked after it, and holds nothing up: it
    // is no operation a second request must wait for.
    void identify(std::function<IQuintaraConexaoPtr()> create, Done<std::monostate> done);
    // The operations. Each runs on the session's thread, unless an operation runs
    // already (false); done comes on this thread once it has ended, after every
    // report of it, with the session idle again and status() brought up to date.
    bool list(PedidoListagem pedido, Done<ListagemPasta> done);
    // The one send flow (EnvioArquivo.h).
    bool send(PedidoEnvio pedido, Done<Envio> done);
    // remoteName of the client folder into localPath (FtpSession::BaixarArquivo).
    bool download(RemoteName remoteName, QString localPath, Done<Download> done);
    bool remove(RemoteName name, Done<std::monostate> done);
    // QUIT when connected; never fails.
    bool closeConnection(Done<std::monostate> done = {});

    // Lets go of what is held on the session's thread, once the running operation
    // (if any) has ended: what takes long to free does not hold up the caller.
    void release(std::shared_ptr<const void> held);
    // Stops the running operation; from any thread.
    void cancel();
    bool busy() const;
    // The running operation is being cancelled.
    bool cancelling() const;
    // An upload or a download runs (closing the window asks first).
    bool transferring() const;
    // What the session knows of the client and of its connection, as of the last
    // operation's end.
    const SessionStatus& status() const { return m_status; }

signals:
    // The operation that held the session has ended; done has been called.
    void idle();

private:
    // One operation: work fills what it gives, also as far as it got before it
    // failed.
    template <typename T>
    bool run(Operation operation, std::function<void(FtpSession&, T&)> work, Done<T> done);
    // A job whose outcome comes back: the end of an operation, or not.
    template <typename T>
    void runThere(Operation operation, std::function<void(FtpSession&, T&)> work, Done<T> done, bool endsOperation);
    // The session's thread takes jobs in order until it is told to stop and none is
    // left. It runs no event loop of its own (no Qt timers, sockets or queued calls
    // live there): it waits for the server or for the next job, nothing else. A
    // QThread all the same, rather than a thread Qt would adopt on first use: under
    // Wine, an adopted thread's end, and a thread with Qt's event dispatcher, made
    // some runs fail at exit; so did the C++ library's waits on a Qt thread, which
    // is why its queue waits with Qt's own mutex and condition.
    void runThere(std::function<void()> job);
    void loop();

    QueuedEvents m_events;
    std::unique_ptr<FtpSession> m_session;
    SessionStatus m_status;
    // This session's use of the Firebird client; its end is the thread's last job.
    std::unique_ptr<fbclient::Uso> m_firebird;
    QMutex m_mutex;
    QWaitCondition m_wake;
    std::deque<std::function<void()>> m_jobs;
    bool m_stopping = false;
    std::unique_ptr<QThread> m_thread; // last: it starts once everything it uses is there
};
