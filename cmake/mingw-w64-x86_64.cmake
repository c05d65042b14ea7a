# Cross-compiling for 64-bit Windows with Debian's MinGW-w64, posix thread model
# (the win32 model of GCC 12 has no std::mutex or std::thread). Used for Qt itself
# and for the program; see scripts/windows.sh.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR AMD64)

set(_ftpc_mingw x86_64-w64-mingw32)
# Named explicitly: the plain x86_64-w64-mingw32-g++ is whichever thread model
# the alternatives system picked last.
set(CMAKE_C_COMPILER ${_ftpc_mingw}-gcc-posix)
set(CMAKE_CXX_COMPILER ${_ftpc_mingw}-g++-posix)
set(CMAKE_RC_COMPILER ${_ftpc_mingw}-windres)
set(CMAKE_AR ${_ftpc_mingw}-ar CACHE FILEPATH "")
set(CMAKE_RANLIB ${_ftpc_mingw}-ranlib CACHE FILEPATH "")
set(CMAKE_STRIP ${_ftpc_mingw}-strip CACHE FILEPATH "")
set(CMAKE_OBJDUMP ${_ftpc_mingw}-objdump CACHE FILEPATH "")

# Appended to, so that a configure can add the cross-built Qt and OpenSSL.
list(APPEND CMAKE_FIND_ROOT_PATH /usr/${_ftpc_mingw})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)
