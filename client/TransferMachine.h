#pragma once
// What a direction of transfer (an upload, a download) tells the one transfer loop
// (FtpSession::Transfers::run, TransferMachine.cpp): only what differs between the two.
// The loop owns the order of the steps, the progress the window sees, the checks of
// the digest, the new attempts after a broken line and the one start from the first
// byte; each call here is a step of it, and may throw to say the step failed.
#include "FtpSessionTransfers.h"

#include <QString>

#include <chrono>
#include <cstdint>

// How long a server may take to compute a digest of size bytes: it reads the whole
// file, at worst from a slow disk.
inline std::chrono::milliseconds digestWait(std::int64_t size)
{
    return std::chrono::seconds(60) + std::chrono::milliseconds(size / (10 * 1000));
}

class FtpSession::Transfers::TransferDirection {
public:
    virtual ~TransferDirection() = default;

    TWorkMode mode() const { return m_mode; }
    // The noun of the log lines ("envio", "download").
    QString noun() const { return m_mode == wmWrite ? QStringLiteral("envio") : QStringLiteral("download"); }

    // After a broken line, with the connection back: where the data goes on from.
    virtual std::int64_t resumePoint() = 0;
    // Moves the data from position from to the end of the file.
    virtual void moveData(std::int64_t from) = 0;
    // Whether the far end holds the whole file, as far as sizes tell.
    virtual TransferCheck checkSize() = 0;

    // The two copies whose digests must match, as the log names them.
    struct DigestPair {
        RemoteName remote;   // the server's copy
        QString local;       // ours
        std::int64_t size = 0;
        QString checked;     // the copy that was checked ("arquivo baixado")
        QString reference;   // what it was checked against ("servidor")
        // Placing the file takes the server: then a connection lost while the server
        // computed the digest is a broken line, not just a missing digest.
        bool placeNeedsServer = false;
    };
    virtual DigestPair digestPair() = 0;

    // Where the far end offers no digest: any other check of the content, which
    // throws a ContentMismatch fault when it fails.
    virtual void checkWithoutDigest() {}
    // Gives the checked copy its final name.
    virtual void place() = 0;
    // After a broken line: whether the copy took its final name although the reply
    // that said so was lost.
    virtual bool placedMeanwhile() { return false; }
    // What is left to do once the transfer counts as done; never a reason to try again.
    virtual void afterPlace() {}

    // The data starts again from the first byte; false when what arrived cannot be
    // thrown away.
    virtual bool startOver() = 0;
    // The line broke: the record's account of what the far end holds is brought up
    // to date, for the next attempt or for the failure message.
    virtual void lineBroke() = 0;
    // The content did not match even after a start from the first byte: what the
    // far end holds is of no use, to this run or a later one.
    virtual void discardBadCopy() {}

protected:
    TransferDirection(Transfers& transfers, TWorkMode mode) : m_transfers(transfers), m_mode(mode) {}
    Transfers& transfers() const { return m_transfers; }
    FtpSession& session() const { return m_transfers.s; }
    TransferRecord& record() const { return *session().m_transfer; }
    FtpSessionEvents& events() const { return session().m_events; }

private:
    Transfers& m_transfers;
    TWorkMode m_mode;
};
