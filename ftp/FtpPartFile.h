#pragma once
// The local side of a download: which targets a download may replace, and the
// temporary file the data goes to until the file is whole.
#include <QFile>
#include <QString>

#include <cstdint>
#include <filesystem>

namespace ftp {

std::filesystem::path nativePath(const QString& path);

// Refuses, before anything is fetched, a target that is a folder or no regular file
// (a device, a named pipe), and an existing file unless canOverwrite. A link is
// judged by what it leads to; a dangling one counts as a file.
void checkDownloadTarget(const QString& localPath, bool canOverwrite);

// The temporary file a download goes to: beside the target (so the final rename
// stays on one file system), hidden where a leading dot hides, with a short name no
// one else uses. It does not repeat the target's name, which may already be as long
// as the file system allows. Removed when destroyed, unless committed.
class PartFile {
public:
    explicit PartFile(const QString& target);
    ~PartFile();
    PartFile(const PartFile&) = delete;
    PartFile& operator=(const PartFile&) = delete;

    // Open for writing, unbuffered: what write() accepted is in the file.
    QFile& file() { return m_file; }
    // The file it stands in for, as messages name it.
    const QString& target() const { return m_target; }
    // What the file holds so far: where a broken download goes on from.
    std::int64_t size() const { return m_file.size(); }
    // Closes the file and puts it in the target's place.
    void commitAs(const QString& target);

private:
    QString m_target;
    QFile m_file;
    bool m_committed = false;
};

}
