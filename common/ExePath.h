#pragma once
// The running program's own executable, never the working folder.
#include <QString>

namespace exepath {
// Full path of the running executable.
QString executablePath();
// Its folder, with a trailing separator.
QString executableFolder();
}
