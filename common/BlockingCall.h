#pragma once
// A wait that keeps the window painting, for work on the window's own data that
// takes longer than a frame (sorting a list of 100,000 names): the work runs on a
// thread of its own while the calling GUI thread processes events in a local event
// loop, and an exception thrown by the work is rethrown in the caller. Never for
// the FTP session or the database: those run on the session's thread
// (client/SessionWorker.h), and nothing waits for them.
#include <functional>

// Runs work and returns when it has finished. Without a running Qt application, or
// when called off the GUI thread, the work simply runs inline.
void executarBloqueante(const std::function<void()>& work);
