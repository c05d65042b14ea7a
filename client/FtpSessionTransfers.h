#pragma once
// The session's transfers, private to its sources (FtpSession.h keeps the
// operations the front ends ask for): the one loop both directions run
// (TransferMachine.cpp, with what a direction supplies in TransferMachine.h), an
// upload's side (UploadTransfer.cpp) and the names it takes on the server
// (UploadName.cpp), a download's side (DownloadTransfer.cpp), and the pause
// between attempts (FtpSessionTransfers.cpp). A Transfers is made for a call and
// works on its session's state.
#include "FtpSession.h"
#include "FtpSessionCalls.h"
#include "LocalFile.h"

#include <QByteArray>
#include <QDateTime>
#include <QString>

#include <cstdint>
#include <functional>
#include <optional>

class FtpSession::Transfers {
public:
    explicit Transfers(FtpSession& session) : s(session) {}

    // A remote file as the user agreed to replace it.
    struct RemoteCopy {
        std::int64_t size = -1;
        std::optional<QDateTime> modified;
        bool operator==(const RemoteCopy&) const = default;
    };
    RemoteCopy remoteCopy(const RemoteName& name, std::int64_t size);
    struct Upload {
        QString localPath;
        RemoteName finalName;
        bool offerResume = false; // look for an interrupted upload of this local file
        // The file of that name the user agreed to replace, as it was then; nothing
        // when the name was free.
        std::optional<RemoteCopy> replacing;
        // In the shared folder: the nth candidate name (1, 2, ...); a name in use is
        // never replaced, the next one is taken.
        std::function<RemoteName(int)> uniqueName;
        int uniqueTry = 1; // the candidate finalName is
    };
    // UploadTransfer.cpp
    SentFile sendFile(Upload upload);
    // DownloadTransfer.cpp
    std::optional<TransferCheck> receiveFile(const RemoteName& remoteName, const QString& localPath);

    // What is read back of a temporary file before an upload goes on from it, and of
    // each sampled range after a resumed upload that the server cannot digest.
    static constexpr std::int64_t kResumeCheckBytes = 64 * 1024;
    // Up to length bytes of the local file at path from offset on.
    static QByteArray localBytes(const QString& path, std::int64_t offset, std::int64_t length);
    // A few letters and digits after lead that no other run picks at the same time.
    static QByteArray randomTag(char lead);

private:
    // What a direction supplies to the one loop (TransferMachine.h).
    class TransferDirection;
    class UploadDirection;
    class DownloadDirection;

    // TransferMachine.cpp: the loop for both directions, starting at from, a named
    // step at a time.
    enum class Step;
    TransferCheck run(TransferDirection& direction, std::int64_t from);
    // A step failed (inside the loop's catch): the step the loop goes on with, from
    // where; or the failure thrown on, ending the transfer.
    Step afterFailure(TransferDirection& direction, const Failure& failure, bool& startedOver, std::int64_t& from);
    // The data again from its first byte.
    Step fromTheStart(TransferDirection& direction, std::int64_t& from);
    // Whether the server's digest matched ours; serverDigestFailed, once set, spares
    // a server that could not compute one the question on later attempts.
    bool checkDigest(TransferDirection& direction, bool& serverDigestFailed);

    // UploadName.cpp
    // The first candidate from start on that names nothing on the server.
    int freeUniqueName(const Upload& upload, int start);
    // Just before an upload takes its name (or, without renames, before the data goes
    // under it): the name is still free or still holds the file the user agreed to
    // replace; a file that appeared or changed meanwhile is asked about
    // (ERemoteNameTaken when kept), and in the shared folder the next free name taken.
    void claimName(Upload& upload, TransferRecord& record);
    // Whether what the server holds of remote, up to size, ends with the bytes the
    // local file has there (the last kResumeCheckBytes).
    bool remoteEndMatches(const RemoteName& remote, const QString& localPath, std::int64_t size);
    // After an upload: the temporary files of this very file, and those nobody has
    // touched for days; never keep.
    void removeStalePartials(const RemoteName& finalName, const LocalFileIdentity& identity, const RemoteName& keep);

    // FtpSessionTransfers.cpp: between attempts.
    void reconnectForRetry();
    void pauseBeforeRetry(int attempt);
    // A Put or Get of the running transfer, which started at base in the file: its
    // byte counts are progress of the file.
    template <typename F>
    void dataPhase(std::int64_t base, F&& call);

    FtpSession& s;
};

template <typename F>
void FtpSession::Transfers::dataPhase(std::int64_t base, F&& call)
{
    struct Phase {
        FtpSession& s;
        ~Phase() { s.m_dataPhase.store(false); }
    } phase{s};
    s.m_dataBase.store(base);
    s.m_dataPhase.store(true);
    s.ftp(std::forward<F>(call));
}
