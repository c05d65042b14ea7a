#!/usr/bin/env bash
# Firebird 3's client library for Windows, fbclient.dll, cross-built with MinGW-w64
# from Debian's own firebird3.0 and libtommath sources, for two targets:
#   x64  the package's own client (the program is 64-bit)
#   x86  32-bit, as the older systems' folders hold it: a test fixture, a library
#        the 64-bit program cannot load
# into $FTPCALDORIA_WIN_CACHE/firebird/{x64,x86}/fbclient.dll, with the licence
# texts the package ships beside the library in firebird/licencas/. A second run
# with the same sources and recipe does nothing. scripts/windows.sh runs it as its
# firebird step, after its deps step (which adds the deb-src entries).
#
# How (upstream builds its Windows client with MSVC only):
# - Host tools first, on Linux, shared by both targets: cloop writes
#   IdlFbInterfaces.h (Debian's source lacks it), btyacc writes parse.h, and
#   Debian's gpre preprocesses the y-valve's two embedded-SQL sources against an
#   empty database opened in embedded mode (no server; needs root).
# - gen/autoconfig.h is the tree's autoconfig_msvc.h, with GCC's architecture
#   macros beside MSVC's; capitalised Windows header names get lower-case shims.
# - One source patch: a Debian addition to remote/inet.cpp signals a parent
#   process with kill(), which Windows has not.
# - What x86 needed beyond x64: the i686 MinGW packages, __i386__ beside _M_IX86
#   in autoconfig.h, a declaration of __control87_2 (MinGW's 32-bit headers lack
#   it; a shim gives it from _control87), and the stdcall fix-up at the link,
#   which matches the API's decorated __stdcall names (isc_attach_database@24) to
#   firebird.def's plain ones.
set -euo pipefail

root=$(cd "$(dirname "$0")/.." && pwd)
cache=${FTPCALDORIA_WIN_CACHE:-/var/cache/ftpcaldoria-win}
jobs=${JOBS:-$(nproc)}
out=$cache/firebird
work=$cache/firebird-build
makefile=$root/scripts/firebird-windows.mk
patchfile=$root/scripts/firebird-windows-inet.patch

log() { printf '== %s: %s\n' "$(date +%H:%M:%S)" "$*"; }
die() { printf 'firebird-windows.sh: %s\n' "$*" >&2; exit 1; }
as_root() { if [[ $(id -u) -eq 0 ]]; then "$@"; else sudo "$@"; fi; }

declare -A cross=([x64]=x86_64-w64-mingw32- [x86]=i686-w64-mingw32-)
declare -A pe_format=([x64]=pei-x86-64 [x86]=pei-i386)

packages=(
  g++-mingw-w64-x86-64-posix gcc-mingw-w64-x86-64-posix binutils-mingw-w64-x86-64 mingw-w64-x86-64-dev
  g++-mingw-w64-i686-posix gcc-mingw-w64-i686-posix binutils-mingw-w64-i686 mingw-w64-i686-dev
  g++ make dpkg-dev firebird3.0-server-core firebird3.0-utils libicu-dev zlib1g-dev
)

install_packages() {
  local missing=() p
  for p in "${packages[@]}"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
  done
  ((${#missing[@]})) || return 0
  log "installing: ${missing[*]}"
  as_root apt-get update -qq
  DEBIAN_FRONTEND=noninteractive as_root apt-get install -y -qq --no-install-recommends "${missing[@]}"
}

source_version() { dpkg-query -W -f='${source:Version}' "$1" 2>/dev/null || true; }

# What the libraries were built from: a different text means a new build.
stamp() {
  printf '%s\n' "firebird3.0 $(source_version firebird3.0-utils)" "libtommath $(source_version libtommath1)"
  sha256sum "$makefile" "$patchfile" "$0" | cut -d' ' -f1
}

# The source folder of a Debian source package in $cache/src, fetched once.
fetch_source() {
  local name=$1 version=$2 dir
  dir=$(find "$cache/src" -maxdepth 1 -mindepth 1 -type d -name "$name-*" | head -1)
  if [[ -z $dir || ! -f $dir/.complete ]]; then
    rm -rf "$cache/src/$name"[-_]*
    log "fetching Debian's $name $version source" >&2
    (cd "$cache/src" && apt-get source -qq "$name=$version") >"$cache/logs/$name-source.log" 2>&1 ||
      { cat "$cache/logs/$name-source.log" >&2; die "apt-get source $name failed (deb-src entries: scripts/windows.sh deps)"; }
    dir=$(find "$cache/src" -maxdepth 1 -mindepth 1 -type d -name "$name-*" | head -1)
    [[ -n $dir ]] || die "no $name source folder in $cache/src"
    touch "$dir/.complete"
  fi
  echo "$dir"
}

generate_host_side() {
  local fb=$1 gen=$2
  rm -rf "$gen"
  mkdir -p "$gen/native" "$gen/src" "$gen/include/gen" "$gen/include/zlib" "$gen/include/icu" "$gen/include/wincase" "$gen/lock"
  (cd "$fb" && patch -p1 -N -s --dry-run <"$patchfile" >/dev/null 2>&1 && patch -p1 -N -s <"$patchfile") || true
  grep -q '#ifndef WIN_NT' "$fb/src/remote/inet.cpp" || die "the inet.cpp patch did not apply"

  g++ -O1 -o "$gen/native/cloop" "$fb"/extern/cloop/src/cloop/*.cpp
  "$gen/native/cloop" "$fb/src/include/firebird/FirebirdInterface.idl" c++ \
    "$fb/src/include/firebird/IdlFbInterfaces.h" IDL_FB_INTERFACES_H Firebird I

  (cd "$fb/extern/btyacc" && gcc -O1 -o "$gen/native/btyacc" closure.c error.c lalr.c lr0.c main.c mkpar.c \
    output.c mstring.c reader.c readskel.c skeleton.c symtab.c verbose.c warshall.c)
  (cd "$gen/native" &&
    sed -n '/%type .*/p' <"$fb/src/dsql/parse.y" >types.y &&
    sed 's/%type .*//' <"$fb/src/dsql/parse.y" >y.y &&
    ./btyacc -l -d -S "$fb/src/dsql/btyacc_fb.ske" y.y >/dev/null &&
    cp y_tab.h "$fb/src/include/gen/parse.h")

  # Embedded access, with a lock folder of its own: no server, none disturbed.
  (cd "$gen/src" &&
    export FIREBIRD_LOCK=$gen/lock FIREBIRD_TMP=$gen/lock &&
    echo "create database '$gen/src/yachts.lnk'; commit;" | isql-fb -q -user SYSDBA >/dev/null &&
    for f in array blob; do gpre -m -z -n "$fb/src/yvalve/$f.epp" "$gen/src/$f.cpp" >/dev/null; done)

  sed -e '/#pragma warning/d' \
    -e 's/^#if defined(_M_IX86)$/#if defined(_M_IX86) || defined(__i386__)/' \
    -e 's/^#elif defined(_M_AMD64)$/#elif defined(_M_AMD64) || defined(__x86_64__)/' \
    "$fb/src/include/gen/autoconfig_msvc.h" >"$gen/include/gen/autoconfig.h"
  grep -q '__i386__' "$gen/include/gen/autoconfig.h" && grep -q '__x86_64__' "$gen/include/gen/autoconfig.h" ||
    die "autoconfig_msvc.h no longer has the architecture tests this script rewrites"
  # Headers only: the client loads zlib (wire compression) and ICU at run time, and
  # neither is used by a TCP client.
  cp /usr/include/zlib.h /usr/include/zconf.h "$gen/include/zlib/"
  cp -r /usr/include/unicode "$gen/include/icu/"
  # For x86 only (firebird-windows.mk includes it there).
  cat >"$gen/include/control87_2.h" <<'SHIM'
#include <float.h>
/* The x87 control word is the one FpeControl.h reads and sets on x86; GCC's
   code keeps SSE's own control word as it is. */
static inline int __control87_2(unsigned int value, unsigned int mask, unsigned int* x87, unsigned int* sse)
{
    unsigned int word = _control87(value, mask);
    if (x87)
        *x87 = word;
    if (sse)
        *sse = word;
    return 1;
}
SHIM
  local h
  for h in Windows WinSock2 Winsock2 Ws2tcpip Wspiapi Security; do
    echo "#include <${h,,}.h>" >"$gen/include/wincase/$h.h"
  done
}

build_target() {
  local arch=$1 fb=$2 tom=$3 gen=$4 start=$SECONDS logf=$cache/logs/firebird-$1.log
  log "building fbclient.dll for $arch (log: $logf)"
  rm -rf "${work:?}/$arch"
  nice -n 5 make -f "$makefile" -j"$jobs" CROSS="${cross[$arch]}" FB="$fb" GEN="$gen" TOM="$tom" OUT="$work/$arch" \
    >"$logf" 2>&1 || { tail -30 "$logf" >&2; die "the $arch build failed; see $logf"; }
  mkdir -p "$out/$arch"
  cp "$work/$arch/fbclient.dll" "$out/$arch/"
  took[$arch]=$((SECONDS - start))
}

# Refuses a library that is not what the package and the tests expect.
check_target() {
  local arch=$1 dll=$out/$1/fbclient.dll objdump=${cross[$1]}objdump headers imports
  # Read whole, then searched: grep -q leaving a pipe early would fail it (pipefail).
  headers=$($objdump -f -p "$dll")
  grep -q "file format ${pe_format[$arch]}" <<<"$headers" || die "$dll is not ${pe_format[$arch]}"
  imports=$(sed -n 's/^\s*DLL Name: //p' <<<"$headers" | tr 'A-Z' 'a-z' | sort -u)
  grep -Eqv '^(advapi32|kernel32|mpr|msvcrt|ole32|shell32|user32|ws2_32|psapi|version)\.dll$' <<<"$imports" &&
    die "$dll imports more than Windows' own DLLs: $(tr '\n' ' ' <<<"$imports")"
  local name
  for name in isc_attach_database isc_dsql_fetch fb_interpret; do
    grep -Eq "\] $name\$" <<<"$headers" || die "$dll does not export $name"
  done
  log "$arch: $(stat -c %s "$dll") bytes, ${pe_format[$arch]}, imports $(tr '\n' ' ' <<<"$imports")"
}

# The licence texts, with CRLF so that Notepad shows them.
copy_licences() {
  local fb=$1 tom=$2 f
  mkdir -p "$out/licencas"
  for f in IPLicense.txt IDPLicense.txt; do
    [[ -f $fb/builds/install/misc/$f ]] || die "no $f in $fb/builds/install/misc"
    sed 's/\r*$/\r/' "$fb/builds/install/misc/$f" >"$out/licencas/Firebird-$f"
  done
  sed 's/\r*$/\r/' "$tom/LICENSE" >"$out/licencas/libtommath-LICENSE.txt"
}

install_packages
mkdir -p "$cache/src" "$cache/logs"
if [[ -f $out/.stamp ]] && cmp -s <(stamp) "$out/.stamp" && [[ -f $out/x64/fbclient.dll && -f $out/x86/fbclient.dll ]]; then
  log "Firebird client for Windows present in $out"
  exit 0
fi
start=$SECONDS
fb=$(fetch_source firebird3.0 "$(source_version firebird3.0-utils)")
tom=$(fetch_source libtommath "$(source_version libtommath1)")
rm -rf "$out"
log "generating the host side in $work/gen"
(generate_host_side "$fb" "$work/gen") >"$cache/logs/firebird-gen.log" 2>&1 ||
  { tail -30 "$cache/logs/firebird-gen.log" >&2; die "generating the host side failed; see $cache/logs/firebird-gen.log"; }
declare -A took=()
for arch in x64 x86; do
  build_target "$arch" "$fb" "$tom" "$work/gen"
  check_target "$arch"
done
copy_licences "$fb" "$tom"
stamp >"$out/.stamp"
log "Firebird client for Windows built in $((SECONDS - start)) s (x64 ${took[x64]} s, x86 ${took[x86]} s)"
