#include "LocalFile.h"

#include <QDateTime>
#include <QFileInfo>

LocalFileState LocalFileState::of(const QString& path)
{
    const QFileInfo info(path);
    if (!info.exists())
        return {};
    return {true, info.size(), info.lastModified().toMSecsSinceEpoch()};
}
