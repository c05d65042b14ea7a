#!/usr/bin/env bash
# Configures and builds into build/ (or $BUILD_DIR); BUILD_TARGET limits the build
# to one target. In CI (CI set) warnings are errors.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${BUILD_DIR:-$root/build}
options=(-DCMAKE_BUILD_TYPE=RelWithDebInfo)
[[ -n ${CI:-} ]] && options+=(-DFTPCALDORIA_WERROR=ON)
# A compiler cache: a later build, in this clone or another, compiles only what
# changed (paths are taken relative to the clone, so clones share the cache).
if command -v ccache >/dev/null; then
  export CCACHE_BASEDIR=$root CCACHE_NOHASHDIR=1
  options+=(-DCMAKE_C_COMPILER_LAUNCHER=ccache -DCMAKE_CXX_COMPILER_LAUNCHER=ccache)
fi
cmake -S "$root" -B "$build" "${options[@]}" "$@" >/dev/null
cmake --build "$build" -j"$(nproc)" ${BUILD_TARGET:+--target "$BUILD_TARGET"}
