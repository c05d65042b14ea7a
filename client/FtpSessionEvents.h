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

class FtpSessionEvents {
public:
    virtual ~FtpSessionEvents() = default;

    // One step of the work, or a status line of the FTP component.
    virtual void log(const QString& line) = 0;
    // The client was identified, or not: the caption that says so.
    virtual void clientCaption(const QString& caption) = 0;

    // A file's data starts to move; total is its size in bytes (0 for an empty file).
    virtual void transferBegin(TWorkMode mode, std::int64_t total) = 0;
    // Bytes moved so far.
    virtual void transferProgress(TWorkMode mode, std::int64_t soFar) = 0;
    // Every transfer that began ends once, however it went.
    virtual void transferEnd(TWorkMode mode, TransferOutcome outcome) = 0;

    // The server already has a file of that name: replace it?
    virtual bool replaceRemoteFile(const QString& name) = 0;
    // A local file is in the way of a download: replace it?
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
    virtual void connectionSecurity(bool secure) { (void)secure; }
};
