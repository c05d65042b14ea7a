#pragma once
// Value types of the FTP client component, shared by the session, the parsers and
// their callers.
#include "Exception.h"

#include <QDateTime>
#include <QString>

#include <cstdint>

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
    // At the start of each data transfer: sending reports the file's size, receiving 0.
    virtual void OnWorkBegin(TWorkMode mode, std::int64_t expected) = 0;
    // Bytes moved so far in this transfer; at most every few tens of milliseconds, and once at the end.
    virtual void OnWork(TWorkMode mode, std::int64_t soFar) = 0;
    // At the end of each data transfer that began, also when it broke off.
    virtual void OnWorkEnd(TWorkMode mode) = 0;
};
