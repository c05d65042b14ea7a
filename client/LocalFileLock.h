#pragma once
// One send of a local file at a time on this computer. Two runs that send the same
// file (a slow nightly job still running when the clerk sends the same backup) would
// write the same temporary upload on the server, named after the file's size and
// date (PartialUploadName.h): the second would go on from the first's bytes while
// the first still writes them, and one of them would end with a false account of
// what the server holds. So a send holds this lock for its file from before it
// connects until it has ended.
//
// The lock is a QLockFile in a folder of the user's own (on Linux the runtime folder,
// or one of ours in the temporary folder; on Windows the user's temporary folder),
// named after the file's absolute path. A lock whose process has ended (it crashed,
// the machine was switched off) is stale and taken over; a lock is never stale by
// age alone, since a large upload holds it for hours.
#include <QString>

#include <memory>

class QLockFile;

class LocalFileLock {
public:
    explicit LocalFileLock(const QString& localPath);
    ~LocalFileLock();
    LocalFileLock(const LocalFileLock&) = delete;
    LocalFileLock& operator=(const LocalFileLock&) = delete;

    // Takes the lock when nobody holds it; never waits.
    bool tryLock();
    bool isLocked() const;
    void unlock();
    // Who holds it, when tryLock failed: "o processo 1234", or empty when unknown.
    QString holder() const;

    // Where the locks are.
    static QString folder();
    // The lock file of a local file.
    static QString lockFileOf(const QString& localPath);

private:
    std::unique_ptr<QLockFile> m_lock;
};
