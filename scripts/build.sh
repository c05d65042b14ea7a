#!/usr/bin/env bash
# Configures and builds into build/ (or $BUILD_DIR); BUILD_TARGET limits the build
# to one target. In CI (CI set) warnings are errors.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${BUILD_DIR:-$root/build}
options=(-DCMAKE_BUILD_TYPE=RelWithDebInfo)
[[ -n ${CI:-} ]] && options+=(-DFTPCALDORIA_WERROR=ON)
cmake -S "$root" -B "$build" "${options[@]}" "$@" >/dev/null
cmake --build "$build" -j"$(nproc)" ${BUILD_TARGET:+--target "$BUILD_TARGET"}
