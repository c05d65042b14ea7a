#pragma once
// What an FTP session tells whoever drives it, and what it asks them: the window
// shows these and answers the questions with its message boxes; a run without a
// window logs them and answers from its options. Every call comes on the thread
// that drives the session, never from inside an FTP call, so an answer may take
// as long as the user needs.
#include "FtpTypes.h"

#include <QString>

#include <cstdint>

enum class TransferOutcome { Completed, Failed, Cancelled };

// How the open connection is protected.
enum class ConnectionSecurity {
    Plain,     // no TLS, or data connections in clear
    Tls,       // TLS on the control and the data connections
    PinnedKey, // the same, with a server known by its pinned key
};

class FtpSessionEvents {
public:
    virtual ~FtpSessionEvents() = default;

    // One step of the work, or a status line of the FTP component.
    virtual void log(const QString& line) = 0;
    // Something the user must not miss although the operation goes on (the memory
    // of a server's TLS could not be kept): the log, and standard error where the
    // log goes elsewhere.
    virtual void warning(const QString& line) { log(line); }
    // The client was identified, or not: the caption that says so.
    virtual void clientCaption(const QString& caption) = 0;

    // The operation waits for the server (to connect, to answer) and may be
    // cancelled meanwhile: what it waits for.
    virtual void waiting(const QString& what) = 0;

    // A file's transfer starts; total is its size in bytes (0 for an empty file,
    // -1 when the server gave none).
    virtual void transferBegin(TWorkMode mode, std::int64_t total) = 0;
    // Where the data stands: bytes of the file that have arrived, counted from the
    // file's start, also after a resume.
    virtual void transferProgress(TWorkMode mode, std::int64_t soFar) = 0;
    // The line broke: a new attempt (attempt of maxAttempts) starts in secondsLeft
    // seconds. Called again as each second of the pause passes.
    virtual void transferRetry(TWorkMode mode, int attempt, int maxAttempts, int secondsLeft) = 0;
    // The data moves again, from soFar on.
    virtual void transferResumed(TWorkMode mode, std::int64_t soFar) = 0;
    // The data is all there: the copy is being checked and put in its place.
    virtual void transferChecking(TWorkMode mode) = 0;
    // Every transfer that began ends once, however it went; so does one that failed
    // before it could begin. For a failure, the busy panel's text of it
    // ("Falha no envio: conexão perdida em 32 %", FailureText.h).
    virtual void transferEnd(TWorkMode mode, TransferOutcome outcome, const QString& failure) = 0;

    // The server already has a file of that name: replace it?
    virtual bool replaceRemoteFile(const QString& name) = 0;
    // An earlier upload of this same local file (same size and modification time)
    // broke off with done of total bytes on the server: continue it?
    virtual bool resumeInterruptedUpload(const QString& name, std::int64_t done, std::int64_t total) = 0;
    // A local file is in the way of a download (or appeared there, or changed,
    // while the download ran): replace it?
    virtual bool replaceLocalFile(const QString& localPath) = 0;
    // In corrupted-base mode, the name the file is about to be stored under.
    virtual void uniqueNameChosen(const QString& name) = 0;

    // The server's certificate could not be verified (problem says why); connect
    // anyway? The answer is remembered for this host and certificate. A driver
    // that cannot ask, such as a run without a window, refuses: then only a
    // certificate accepted before lets it in.
    virtual bool acceptCertificate(const QString& host, const QString& problem, const QString& fingerprint)
    {
        (void)host;
        (void)problem;
        (void)fingerprint;
        return false;
    }
    // A connection was opened: encrypted (TLS on the control and the data
    // connections), or not.
    virtual void connectionSecurity(ConnectionSecurity security) { (void)security; }
};
