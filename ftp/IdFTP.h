#pragma once
// FTP client component: a synchronous RFC 959 client (with the FEAT/MLSD/SIZE
// extensions of RFC 2389/3659 and EPSV of RFC 2428). Every call blocks until it is
// done and reports failure by throwing an EIdFTPError whose message is the server's
// reply text for a refused command, or our own text.
//
// The component itself is not tied to any thread: the window runs its calls on a
// worker thread and receives the events there (see IFtpEvents). Abort() is the one
// call that may come from another thread while an operation runs.
#include "Exception.h"

#include <QDateTime>
#include <QString>

#include <atomic>
#include <chrono>
#include <cstdint>
#include <memory>
#include <vector>

enum TWorkMode { wmRead = 0, wmWrite = 1 };
enum TIdFTPTransferType { ftASCII = 0, ftBinary = 1 };

class EIdFTPError : public Exception {
public:
    explicit EIdFTPError(QString message, int code = 0) : Exception(std::move(message)), m_code(code) {}
    // The server's reply code, or 0 for our own failures (time-out, closed connection, local file).
    int Code() const noexcept { return m_code; }

private:
    int m_code;
};

struct TIdFTPListItem {
    QString FileName;
    std::int64_t Size = 0;
    QDateTime ModifiedDate; // local time; invalid when the listing gave none
    bool IsDirectory = false;
};

// Events of the component. They are raised on the thread that runs the operation.
class IFtpEvents {
public:
    virtual ~IFtpEvents() = default;
    virtual void OnStatus(const QString& text) = 0;
    virtual void OnWorkBegin(TWorkMode mode, std::int64_t expected) = 0;
    virtual void OnWork(TWorkMode mode, std::int64_t soFar) = 0;
    virtual void OnWorkEnd(TWorkMode mode) = 0;
};

class TIdFTP {
public:
    TIdFTP();
    ~TIdFTP();
    TIdFTP(const TIdFTP&) = delete;
    TIdFTP& operator=(const TIdFTP&) = delete;

    // Settings, read by Connect.
    QString Host;
    int Port = 21;
    QString Username;
    QString Password;
    TIdFTPTransferType TransferType = ftBinary;
    bool TryNATFastTrack = true;
    std::chrono::milliseconds ConnectTimeout{15000};
    std::chrono::milliseconds ReadTimeout{60000}; // reply wait and stalled data transfer

    void SetEvents(IFtpEvents* events) { m_events = events; }

    void Connect();
    bool Connected() const;
    void Disconnect();
    QString RetrieveCurrentDir();
    void ChangeDir(const QString& dir);
    void MakeDir(const QString& dir);
    void Delete(const QString& name);
    void List();
    const std::vector<TIdFTPListItem>& DirectoryListing() const;
    std::int64_t Size(const QString& name);
    void Get(const QString& remoteName, const QString& localPath, bool canOverwrite, bool resume);
    void Put(const QString& localPath, const QString& remoteName, bool append, std::int64_t startPos);

    // Thread-safe: breaks off the operation that runs now (and fails the next ones
    // until Connect) by closing the sockets.
    void Abort();

private:
    struct Impl;
    std::unique_ptr<Impl> d;
    IFtpEvents* m_events = nullptr;
};
