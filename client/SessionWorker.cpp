#include "SessionWorker.h"

#include "FbClient.h"

SessionWorker::SessionWorker(FtpSessionEvents& events, SessionSettings settings, QObject* parent)
    : QObject(parent), m_events(events, this), m_session(std::make_unique<FtpSession>(m_events, std::move(settings))),
      m_firebird(std::make_unique<fbclient::Uso>()), m_thread(QThread::create([this] { loop(); }))
{
    m_thread->setObjectName(QStringLiteral("sessao-ftp"));
    m_thread->start();
}

SessionWorker::~SessionWorker()
{
    m_events.close();
    m_session->cancel();
    // The last things the thread does: let go of the server, then of the Firebird
    // client, whose own threads must not hold its library when the process ends.
    runThere([this] {
        m_session->closeConnection();
        m_firebird.reset();
    });
    {
        QMutexLocker lock(&m_mutex);
        m_stopping = true;
    }
    m_wake.wakeAll();
    m_thread->wait();
}

void SessionWorker::loop()
{
    for (;;) {
        std::function<void()> job;
        {
            QMutexLocker lock(&m_mutex);
            while (!m_stopping && m_jobs.empty())
                m_wake.wait(&m_mutex);
            if (m_jobs.empty())
                return;
            job = std::move(m_jobs.front());
            m_jobs.pop_front();
        }
        job();
    }
}

void SessionWorker::runThere(std::function<void()> job)
{
    {
        QMutexLocker lock(&m_mutex);
        m_jobs.push_back(std::move(job));
    }
    m_wake.wakeAll();
}

template <typename T>
bool SessionWorker::run(Operation operation, std::function<void(FtpSession&, T&)> work, Done<T> done)
{
    if (busy())
        return false;
    m_session->beginOperation(operation);
    runThere(std::move(operation), std::move(work), std::move(done), true);
    return true;
}

template <typename T>
void SessionWorker::runThere(Operation operation, std::function<void(FtpSession&, T&)> work, Done<T> done, bool endsOperation)
{
    runThere([this, operation, endsOperation, work = std::move(work), done = std::move(done)] {
        auto outcome = std::make_shared<Outcome<T>>();
        try {
            work(*m_session, outcome->result);
        } catch (...) {
            outcome->failure = failureOf(std::current_exception());
            outcome->failure->operation = operation;
        }
        const SessionStatus status = m_session->status();
        m_events.post([this, outcome, status, done, endsOperation] {
            m_status = status;
            if (endsOperation)
                m_session->endOperation();
            if (done)
                done(*outcome);
            if (endsOperation)
                emit idle();
        });
    });
}

void SessionWorker::configure(SessionSettings settings)
{
    runThere([this, settings = std::move(settings)] { m_session->configure(settings); });
}

void SessionWorker::identify(std::function<IQuintaraConexaoPtr()> create, Done<std::monostate> done)
{
    runThere<std::monostate>(Operation::Identification,
                             [create = std::move(create)](FtpSession& s, std::monostate&) { s.identificarSistema(create); },
                             std::move(done), false);
}

bool SessionWorker::list(PedidoListagem pedido, Done<ListagemPasta> done)
{
    return run<ListagemPasta>(Operation::Listing,
                              [pedido](FtpSession& s, ListagemPasta& listagem) { listagem = listarPastaCliente(s, pedido); },
                              std::move(done));
}

bool SessionWorker::send(PedidoEnvio pedido, Done<Envio> done)
{
    return run<Envio>(Operation::Upload,
                      [pedido = std::move(pedido)](FtpSession& s, Envio& envio) { envio = executarEnvio(s, pedido); }, std::move(done));
}

bool SessionWorker::download(RemoteName remoteName, QString localPath, Done<Download> done)
{
    return run<Download>(
        Operation::Download,
        [remoteName = std::move(remoteName), localPath = std::move(localPath)](FtpSession& s, Download& baixado) {
            try {
                baixado.conferido = s.BaixarArquivo(remoteName, localPath);
            } catch (const ESessionFailure& e) {
                // The list shows what is there now. In corrupted-base mode there is no
                // list to show: the folder holds other clients' files.
                if (e.kind() == FailureKind::RemoteFileNotFound && !s.baseCorrompida())
                    baixado.listagem = listarPastaCliente(s, PedidoListagem::Atualizar);
                throw;
            }
        },
        std::move(done));
}

bool SessionWorker::remove(RemoteName name, Done<std::monostate> done)
{
    return run<std::monostate>(Operation::Deletion,
                               [name = std::move(name)](FtpSession& s, std::monostate&) { s.deleteFile(name); }, std::move(done));
}

bool SessionWorker::closeConnection(Done<std::monostate> done)
{
    return run<std::monostate>(Operation::Closing,
                               [](FtpSession& s, std::monostate&) { s.closeConnection(); }, std::move(done));
}

void SessionWorker::release(std::shared_ptr<const void> held)
{
    runThere([held = std::move(held)]() mutable { held.reset(); });
}

void SessionWorker::cancel()
{
    m_session->cancel();
}

bool SessionWorker::busy() const
{
    return m_session->state() != FtpSession::State::Idle;
}

bool SessionWorker::cancelling() const
{
    return m_session->state() == FtpSession::State::Cancelling;
}

bool SessionWorker::transferring() const
{
    return m_session->state() == FtpSession::State::Running && m_session->transferring();
}
