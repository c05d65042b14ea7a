#pragma once
// The name an upload travels under until it is verified and renamed: in the same
// folder as the final name, ending in ".parcial" so that whoever looks at the folder
// sees an incomplete file, and carrying what identifies the local file (its size and
// modification time, in hex) so that a later run can tell whether an interrupted
// upload is of the very same file. Example: "backup.fbk.c0ffee00-65a1b2c3.parcial".
//
// Names are bytes, as the server keeps them. However long the final name, the
// temporary one stays within kMaxNameBytes, the common limit of server file systems:
// a final name too long to carry the suffix is cut (at a character boundary) and
// marked with a digest of the whole name, so two long names never share one.
#include <QByteArray>

#include <cstdint>
#include <optional>

struct LocalFileIdentity {
    std::int64_t size = 0;
    std::int64_t modifiedSecs = 0; // seconds since 1970, UTC

    bool operator==(const LocalFileIdentity&) const = default;
};

constexpr qsizetype kMaxNameBytes = 255;

QByteArray partialUploadName(const QByteArray& finalName, const LocalFileIdentity& identity);

// A temporary name of finalName that no later run takes for an interrupted upload
// of its file: for an upload that must not share its temporary name with another
// (a start over from foreign bytes, a unique name in the shared folder, the test of
// whether the server renames). tag: a few letters or digits that set it apart.
// Example: "backup.fbk.c0ffee00-65a1b2c3-r1f3.parcial".
QByteArray freshPartialUploadName(const QByteArray& finalName, const LocalFileIdentity& identity, const QByteArray& tag);

// Whether name is a temporary name this program gives uploads, of any final name.
bool isPartialUploadName(const QByteArray& name);

// When candidate is the temporary name of an upload of finalName: the identity of
// the local file it came from.
std::optional<LocalFileIdentity> partialUploadIdentity(const QByteArray& candidate, const QByteArray& finalName);
