#pragma once
// A local file as a transfer sees it: whether it is there, its size and when it last
// changed. A snapshot taken before a transfer and compared after it tells whether
// another program changed the file meanwhile.
#include "PartialUploadName.h"

#include <QString>

#include <cstdint>

struct LocalFileState {
    bool exists = false;
    std::int64_t size = 0;
    std::int64_t modifiedMsecs = 0; // since 1970, UTC

    static LocalFileState of(const QString& path);
    LocalFileIdentity identity() const { return {size, modifiedMsecs / 1000}; }
    bool operator==(const LocalFileState&) const = default;
};
