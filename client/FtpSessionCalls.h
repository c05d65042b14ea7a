#pragma once
// How the session's sources run a blocking call of the FTP component: off the
// driving thread where it has an event loop (executarBloqueante), and as the cancel
// it is once the user has cancelled.
#include "BlockingCall.h"
#include "FtpSession.h"

template <typename F>
auto FtpSession::ftp(F&& f) -> decltype(f())
{
    throwIfCancelled();
    try {
        if constexpr (std::is_void_v<decltype(f())>) {
            executarBloqueante([&] { f(); });
        } else {
            std::optional<decltype(f())> resultado;
            executarBloqueante([&] { resultado.emplace(f()); });
            return std::move(*resultado);
        }
    } catch (const EOperationCancelled&) {
        throw;
    } catch (...) {
        // After a cancel every failure of the call is the cancel itself.
        throwIfCancelled();
        throw;
    }
}

// A Put or Get of the running transfer, which started at base in the file: its
// byte counts are progress of the file.
template <typename F>
void FtpSession::dataPhase(std::int64_t base, F&& call)
{
    struct Phase {
        FtpSession& s;
        ~Phase() { s.m_dataPhase.store(false); }
    } phase{*this};
    m_dataBase.store(base);
    m_dataPhase.store(true);
    ftp(std::forward<F>(call));
}
