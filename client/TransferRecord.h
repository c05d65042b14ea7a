#pragma once
// The running transfer as the session keeps it for what the user sees: its progress,
// its end, and what its failure message says became of the file.
#include "FtpTypes.h"

#include <QString>

#include <cstdint>

struct TransferRecord {
    TWorkMode mode = wmWrite;
    QString name;               // as the user knows it
    std::int64_t total = -1;
    std::int64_t done = 0;      // bytes of the file at the far end so far
    bool begun = false;
    bool ended = false;
    int retries = 0;            // new attempts after a broken line
    bool replacing = false;     // over a file of the same name
    QString remoteName;         // an upload's final name
    QString leftOver;           // an upload's temporary name, when it stays on the server
    std::int64_t leftOverBytes = 0;
    bool resumable = false;     // a later upload of the same file can go on from it
    bool overwritten = false;   // the server does not rename: the data went over the old copy itself
    QString previousKeptAs;     // the old copy, moved aside, could not be given its name back
};
