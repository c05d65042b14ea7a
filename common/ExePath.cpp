#include "ExePath.h"

#include <QDir>
#include <QFileInfo>

#include <algorithm>

#ifdef _WIN32
#include <windows.h>
#else
#include <unistd.h>
#include <climits>
#endif

namespace exepath {

QString executablePath()
{
#ifdef _WIN32
    wchar_t buf[32768];
    DWORD n = GetModuleFileNameW(nullptr, buf, 32768);
    return QString::fromWCharArray(buf, static_cast<int>(n));
#else
    // Works without a QCoreApplication, so the core can be used before one exists.
    char buf[PATH_MAX + 1];
    ssize_t n = readlink("/proc/self/exe", buf, PATH_MAX);
    if (n <= 0)
        return {};
    return QString::fromLocal8Bit(buf, n);
#endif
}

QString executableFolder()
{
    const QString path = executablePath();
    const qsizetype cut = std::max(path.lastIndexOf(QLatin1Char('/')), path.lastIndexOf(QLatin1Char('\\')));
    return cut < 0 ? QString() : path.left(cut + 1);
}

}
