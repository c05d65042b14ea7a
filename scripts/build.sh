#!/usr/bin/env bash
# Configures and builds into build/ (or $BUILD_DIR).
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${BUILD_DIR:-$root/build}
werror=OFF
[[ -n ${CI:-} ]] && werror=ON
cmake -S "$root" -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DFTPCALDORIA_WERROR=$werror "$@" >/dev/null
cmake --build "$build" -j"$(nproc)" ${BUILD_TARGET:+--target "$BUILD_TARGET"}
