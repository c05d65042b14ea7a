#pragma once
// The one way the window waits for slow work (database attach, FTP commands and
// transfers) without freezing: the work runs on a worker thread while the calling
// GUI thread keeps processing events in a local event loop. The calling code still
// reads as a plain sequence of steps, and an exception thrown by the work is
// rethrown in the caller.
//
// Anything the work reports while it runs (status lines, progress) must be posted
// to the GUI thread as queued calls; they are all delivered before
// executarBloqueante returns, because the worker posts its "done" after them.
#include <functional>

// Runs work and returns when it has finished. Without a running Qt application, or
// when called off the GUI thread, the work simply runs inline.
void executarBloqueante(const std::function<void()>& work);

// Runs a callable on the GUI thread: directly when already there, otherwise queued.
void naThreadPrincipal(std::function<void()> fn);
