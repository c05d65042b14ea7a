#pragma once
// How the session's sources make a blocking call of the FTP component: not once
// the user has cancelled, as the cancel it is when the cancel broke it off, and
// with the component's failure given its kind (SessionFailure.h) on its way out.
#include "FtpSession.h"

template <typename F>
auto FtpSession::ftp(F&& f) -> decltype(f())
{
    throwIfCancelled();
    try {
        return f();
    } catch (const EIdFTPError& e) {
        // After a cancel every failure of the call is the cancel itself.
        throwIfCancelled();
        throw ESessionFailure(kindOf(e.failure()), e.Message());
    } catch (const ESessionFailure& e) {
        if (e.kind() != FailureKind::Cancelled)
            throwIfCancelled();
        throw;
    } catch (...) {
        throwIfCancelled();
        throw;
    }
}
