#!/usr/bin/env bash
# The Windows package, cross-built here with MinGW-w64 and tested under Wine.
#
#   bash scripts/windows.sh            # everything: set-up, build, Wine tests, zip
#   bash scripts/windows.sh STEP...    # only these steps, in this order
#
# Steps: deps qt openssl firebird build test package (default: all of them).
#
# Qt 6 (Core, Gui, Widgets, Test), OpenSSL 3 and Firebird's client library
# (scripts/firebird-windows.sh) are built once from Debian's own sources into a
# cache folder outside the repository, together with the Wine prefix; later runs
# reuse them. FTPCALDORIA_WIN_CACHE moves the cache (default
# /var/cache/ftpcaldoria-win); WIN_BUILD_DIR moves the program's build folder
# (default build-win/). JOBS sets the parallel jobs (default: the core count).
# The zip lands in dist/.
set -euo pipefail

root=$(cd "$(dirname "$0")/.." && pwd)
cache=${FTPCALDORIA_WIN_CACHE:-/var/cache/ftpcaldoria-win}
build=${WIN_BUILD_DIR:-$root/build-win}
jobs=${JOBS:-$(nproc)}
toolchain=$root/cmake/mingw-w64-x86_64.cmake
mingw=x86_64-w64-mingw32

qt_prefix=$cache/qt
openssl_prefix=$cache/openssl
export WINEPREFIX=$cache/wine

log() { printf '== %s: %s\n' "$(date +%H:%M:%S)" "$*"; }
die() { printf 'windows.sh: %s\n' "$*" >&2; exit 1; }
as_root() { if [[ $(id -u) -eq 0 ]]; then "$@"; else sudo "$@"; fi; }

# Elapsed time of each step, printed at the end.
declare -A took=()
timed() {
  local step=$1 start=$SECONDS
  "step_$step"
  took[$step]=$((SECONDS - start))
}

# ---------------------------------------------------------------------------
# deps: the cross toolchain, Wine, and the host side of the build and tests.
packages=(
  g++-mingw-w64-x86-64-posix mingw-w64-tools binutils-mingw-w64-x86-64
  wine wine64 xvfb xauth cmake ninja-build dpkg-dev
  qt6-base-dev qt6-base-dev-tools qt6-translations-l10n
  firebird-dev googletest python3 python3-pyftpdlib vsftpd zip unzip imagemagick x11-utils fonts-dejavu-core
  ccache
)

# apt-get source needs deb-src entries; they mirror the system's own Debian
# entries so that the sources match the installed binary packages.
ensure_deb_src() {
  if grep -rqsE '^(Types:.*deb-src|deb-src )' /etc/apt/sources.list /etc/apt/sources.list.d/; then
    return 1
  fi
  local out=/etc/apt/sources.list.d/ftpcaldoria-deb-src.sources added=1 f
  for f in /etc/apt/sources.list.d/*.sources; do
    [[ -e $f && $f != "$out" ]] || continue
    grep -q 'debian-archive-keyring' "$f" || continue
    sed -E 's/^Types:.*$/Types: deb-src/' "$f" | as_root tee -a "$out" >/dev/null
    added=0
  done
  if [[ -f /etc/apt/sources.list ]] && grep -qE '^deb ' /etc/apt/sources.list; then
    sed -nE 's/^deb /deb-src /p' /etc/apt/sources.list |
      as_root tee /etc/apt/sources.list.d/ftpcaldoria-deb-src.list >/dev/null
    added=0
  fi
  ((added == 0)) || die "no Debian apt entry to derive a deb-src entry from"
  return 0
}

step_deps() {
  local missing=() p update=1
  for p in "${packages[@]}"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
  done
  if ensure_deb_src; then update=0; fi
  if ((${#missing[@]})) || ((update == 0)); then
    as_root apt-get update -qq
  fi
  if ((${#missing[@]})); then
    log "installing: ${missing[*]}"
    DEBIAN_FRONTEND=noninteractive as_root apt-get install -y -qq --no-install-recommends "${missing[@]}"
  fi
  as_root mkdir -p "$cache"
  [[ -w $cache ]] || die "$cache is not writable"
}

# ---------------------------------------------------------------------------
# qt: qtbase from Debian's source package of the host Qt's own version (its moc,
# rcc and uic are the host tools), for MinGW-w64, into $qt_prefix.
qt_options=(
  -G Ninja
  -DCMAKE_BUILD_TYPE=Release
  -DBUILD_SHARED_LIBS=ON
  -DQT_HOST_PATH=/usr
  -DQT_HOST_PATH_CMAKE_DIR=/usr/lib/x86_64-linux-gnu/cmake
  -DQT_QMAKE_TARGET_MKSPEC=win32-g++
  -DQT_BUILD_EXAMPLES=OFF -DQT_BUILD_TESTS=OFF -DQT_BUILD_BENCHMARKS=OFF
  -DFEATURE_pkg_config=OFF
  -DFEATURE_gui=ON -DFEATURE_widgets=ON -DFEATURE_testlib=ON
  # TLS uses OpenSSL on our own sockets: no Qt Network.
  -DFEATURE_network=OFF
  -DFEATURE_sql=OFF -DFEATURE_xml=OFF -DFEATURE_dbus=OFF -DFEATURE_concurrent=OFF
  -DFEATURE_printsupport=OFF
  -DINPUT_opengl=no -DFEATURE_opengl=OFF -DFEATURE_vulkan=OFF
  -DFEATURE_icu=OFF -DFEATURE_zstd=OFF
  -DFEATURE_system_zlib=OFF -DFEATURE_system_pcre2=OFF -DFEATURE_system_freetype=OFF
  -DFEATURE_system_harfbuzz=OFF -DFEATURE_system_png=OFF -DFEATURE_system_jpeg=OFF
  -DFEATURE_system_doubleconversion=OFF -DFEATURE_system_textmarkdownreader=OFF
  # The dfsg tarball lacks src/3rdparty/wintab.
  -DFEATURE_tabletevent=OFF
  # direct2d off breaks the link of qwindows.dll in 6.4; only 1.1 goes.
  -DFEATURE_direct2d1_1=OFF
)

qt_version() { dpkg-query -W -f='${Version}' qt6-base-dev; }

# What the installed Qt was built from: a different text means a rebuild.
qt_stamp() { printf '%s\n' "qt6-base $(qt_version)" "${qt_options[@]}"; }

step_qt() {
  if [[ -f $qt_prefix/.stamp ]] && cmp -s <(qt_stamp) "$qt_prefix/.stamp"; then
    log "Qt for Windows present in $qt_prefix"
    return
  fi
  local version src logf=$cache/logs/qt-build.log start=$SECONDS
  version=$(qt_version)
  mkdir -p "$cache/src" "$cache/logs"
  src=$(find "$cache/src" -maxdepth 1 -mindepth 1 -type d -name 'qt6-base*' | head -1)
  if [[ -z $src || ! -f $src/.complete ]]; then
    log "fetching Debian's qt6-base $version source"
    rm -rf "$cache/src/qt6-base"*
    (cd "$cache/src" && apt-get source -qq "qt6-base=$version") >"$cache/logs/qt-source.log" 2>&1 ||
      { cat "$cache/logs/qt-source.log"; die "apt-get source qt6-base failed"; }
    src=$(find "$cache/src" -maxdepth 1 -mindepth 1 -type d -name 'qt6-base*' | head -1)
    [[ -n $src ]] || die "no qt6-base source folder in $cache/src"
    touch "$src/.complete"
  fi
  log "building Qt for Windows from $src (log: $logf)"
  rm -rf "$cache/qt-build" "$qt_prefix"
  {
    cmake -S "$src" -B "$cache/qt-build" "${qt_options[@]}" \
      -DCMAKE_TOOLCHAIN_FILE="$toolchain" -DCMAKE_INSTALL_PREFIX="$qt_prefix"
    log "Qt configured after $((SECONDS - start)) s"
    cmake --build "$cache/qt-build" --parallel "$jobs"
    cmake --install "$cache/qt-build"
  } >"$logf" 2>&1 || { tail -40 "$logf"; die "Qt build failed; see $logf"; }
  qt_stamp >"$qt_prefix/.stamp"
  log "Qt for Windows built in $((SECONDS - start)) s"
}

# ---------------------------------------------------------------------------
# openssl: OpenSSL 3 from Debian's source, shared libraries for MinGW-w64, into
# $openssl_prefix (bin/ holds the DLLs). The FTP client's TLS links it, found
# through OPENSSL_ROOT_DIR; the package takes its DLLs because the program
# imports them.
openssl_options=(mingw64 shared no-tests --libdir=lib)

# Any OpenSSL 3 of Debian's built with these options is reused; the version built
# is kept beside it in .version.
openssl_stamp() { printf '%s\n' "${openssl_options[@]}"; }

step_openssl() {
  if [[ -f $openssl_prefix/.stamp ]] && cmp -s <(openssl_stamp) "$openssl_prefix/.stamp"; then
    log "OpenSSL for Windows present in $openssl_prefix"
    return
  fi
  local version src logf=$cache/logs/openssl-build.log start=$SECONDS
  mkdir -p "$cache/src" "$cache/logs"
  rm -rf "$cache/src/openssl"* "$cache/openssl-build" "$openssl_prefix"
  # The newest source the archive serves (a security update's source may not be
  # served where its binary is).
  for version in $(apt-cache showsrc openssl | sed -n 's/^Version: //p' | sort -Vr); do
    log "fetching Debian's openssl $version source"
    if (cd "$cache/src" && apt-get source -qq "openssl=$version") >"$cache/logs/openssl-source.log" 2>&1; then
      break
    fi
    rm -rf "$cache/src/openssl"*
  done
  src=$(find "$cache/src" -maxdepth 1 -mindepth 1 -type d -name 'openssl*' | head -1)
  [[ -n $src ]] || die "no openssl source folder in $cache/src"
  log "building OpenSSL for Windows (log: $logf)"
  mkdir -p "$cache/openssl-build"
  {
    cd "$cache/openssl-build"
    CC=gcc-posix CXX=g++-posix "$src/Configure" "${openssl_options[@]}" \
      --cross-compile-prefix=$mingw- --prefix="$openssl_prefix" --openssldir="$openssl_prefix/ssl"
    make -j"$jobs" build_libs
    # The libraries and headers only: no programs, no manual pages.
    make install_dev install_runtime_libs
  } >"$logf" 2>&1 || { tail -40 "$logf"; die "OpenSSL build failed; see $logf"; }
  echo "$version" >"$openssl_prefix/.version"
  openssl_stamp >"$openssl_prefix/.stamp"
  log "OpenSSL for Windows built in $((SECONDS - start)) s"
}
# ---------------------------------------------------------------------------
# firebird: Firebird's client library, fbclient.dll, for x64 (the package carries
# it) and for 32-bit x86 (what older systems' folders hold; the tests put it beside
# the program), into $cache/firebird.
firebird_dir=$cache/firebird

step_firebird() {
  FTPCALDORIA_WIN_CACHE=$cache JOBS=$jobs bash "$root/scripts/firebird-windows.sh"
}

# ---------------------------------------------------------------------------
# build: the program and its tests, cross-built with the toolchain file.
mingw_runtime=/usr/$mingw/lib

# GCC's runtime folder, asked of the compiler when it is needed: the deps step
# installs the compiler, so nothing may read it before that step has run.
gcc_runtime() {
  local dll
  dll=$($mingw-g++-posix -print-file-name=libstdc++-6.dll) || die "no $mingw-g++-posix: run the deps step first"
  [[ $dll == /* && -f $dll ]] || die "$mingw-g++-posix does not know where libstdc++-6.dll is (it said '$dll')"
  dirname "$dll"
}

step_build() {
  [[ -f $qt_prefix/.stamp ]] || die "no Qt for Windows in $qt_prefix: run the qt step first"
  [[ -f $firebird_dir/.stamp ]] || die "no Firebird client for Windows in $firebird_dir: run the firebird step first"
  local options=(
    -G Ninja
    -DCMAKE_TOOLCHAIN_FILE="$toolchain"
    -DCMAKE_BUILD_TYPE=Release
    -DCMAKE_PREFIX_PATH="$qt_prefix"
    -DCMAKE_FIND_ROOT_PATH="$qt_prefix;$openssl_prefix"
    -DQT_HOST_PATH=/usr
    -DQT_HOST_PATH_CMAKE_DIR=/usr/lib/x86_64-linux-gnu/cmake
    -DOPENSSL_ROOT_DIR="$openssl_prefix"
    -DFTPCALDORIA_WINEPREFIX="$WINEPREFIX"
    -DFTPCALDORIA_WINE_DLL_DIRS="$openssl_prefix/bin"
    -DFTPCALDORIA_WIN_FIREBIRD_DIR="$firebird_dir"
    -DFTPCALDORIA_BENCH=OFF
  )
  [[ -n ${CI:-} ]] && options+=(-DFTPCALDORIA_WERROR=ON)
  # A compiler cache in the cache folder: a later run, in whatever clone, compiles
  # only what changed.
  if command -v ccache >/dev/null; then
    export CCACHE_DIR=$cache/ccache CCACHE_BASEDIR=$root CCACHE_NOHASHDIR=1
    options+=(-DCMAKE_C_COMPILER_LAUNCHER=ccache -DCMAKE_CXX_COMPILER_LAUNCHER=ccache)
  fi
  log "configuring $build"
  cmake -S "$root" -B "$build" "${options[@]}" >/dev/null
  log "building"
  cmake --build "$build" --parallel "$jobs"
}

# ---------------------------------------------------------------------------
# test: every test program of the Windows build under Wine, through ctest.
wine_ready() {
  if [[ ! -f $WINEPREFIX/system.reg ]]; then
    log "creating the Wine prefix $WINEPREFIX"
    mkdir -p "$cache/logs"
    WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml=" wineboot -i >"$cache/logs/wineboot.log" 2>&1 || true
    wineserver -w || true
  fi
  # Windows 10, as the users have it (Wine 8 starts as Windows 7): the manifest's
  # compatibility list then decides what GetVersionExW tells.
  if [[ ! -f $WINEPREFIX/.windows10 ]]; then
    WINEDEBUG=-all winecfg -v win10 >>"$cache/logs/wineboot.log" 2>&1
    wineserver -w || true
    touch "$WINEPREFIX/.windows10"
  fi
}

step_test() {
  wine_ready
  log "running the tests under Wine"
  # One wineserver for the whole run, so that test programs starting together do
  # not race to start it or to stop it.
  # (One that runs already, say from a run by hand, serves as well: wineserver -p
  # then fails, and that is no failure of the tests.)
  WINEDEBUG=-all wineserver -p 2>/dev/null || true
  # One program at a time: Wine programs are heavy for two cores. No second runs:
  # the program that once seemed not to come back after its last line had ended;
  # Wine's services, started by it, held ctest's output pipe (wine-run.sh now
  # starts them first).
  local rc=0
  ctest --test-dir "$build" --output-on-failure -j1 --timeout 600 || rc=$?
  # Leave no wineserver behind for whoever comes next.
  wineserver -k 2>/dev/null || true
  return $rc
}

# ---------------------------------------------------------------------------
# package: dist/FTPCaldoria-<version>-win64.zip, to be unzipped into the folder
# of an installed system, beside its INI file.
dll_dirs() { printf '%s\n' "$qt_prefix/bin" "$openssl_prefix/bin" "$gcc_runtime_dir" "$mingw_runtime"; }

# The DLL of that name in the folders we ship from (names compare without case,
# as Windows does); nothing for system DLLs.
find_dll() {
  local dir hit
  while read -r dir; do
    [[ -d $dir ]] || continue
    hit=$(find "$dir" -maxdepth 1 -iname "$1" -print -quit)
    [[ -n $hit ]] && { echo "$hit"; return 0; }
  done < <(dll_dirs)
  return 0
}

# DLLs that every Windows 10 has: a module may import them without the package
# carrying them (names compared in lower case).
windows_dlls=(
  kernel32.dll user32.dll gdi32.dll advapi32.dll shell32.dll ole32.dll oleaut32.dll
  comdlg32.dll comctl32.dll shlwapi.dll ws2_32.dll msvcrt.dll winmm.dll imm32.dll
  uxtheme.dll dwmapi.dll version.dll netapi32.dll userenv.dll crypt32.dll bcrypt.dll
  setupapi.dll mpr.dll winspool.drv dwrite.dll d2d1.dll d3d11.dll d3d9.dll dxgi.dll
  dxguid.dll wtsapi32.dll secur32.dll iphlpapi.dll shcore.dll authz.dll ntdll.dll
  psapi.dll rpcrt4.dll dbghelp.dll opengl32.dll glu32.dll
)

is_windows_dll() {
  local name=${1,,} known
  [[ $name == api-ms-win-* || $name == ext-ms-win-* ]] && return 0
  for known in "${windows_dlls[@]}"; do
    [[ $name == "$known" ]] && return 0
  done
  return 1
}

# Copies into folder $2 every DLL that module $1 imports, and theirs in turn. An
# import that is neither found in the folders we ship from nor part of Windows
# stops the package: a zip without it would not start on the user's machine.
copy_imports() {
  local dll path
  for dll in $($mingw-objdump -p "$1" | sed -n 's/^\s*DLL Name: //p'); do
    [[ -e $2/$dll ]] && continue
    path=$(find_dll "$dll")
    if [[ -z $path ]]; then
      is_windows_dll "$dll" && continue
      die "${1##*/} imports $dll, which is neither in the package nor part of Windows"
    fi
    cp "$path" "$2/$dll"
    copy_imports "$path" "$2"
  done
}

product_version() { sed -n 's/^CMAKE_PROJECT_VERSION:STATIC=//p' "$build/CMakeCache.txt"; }

# The import check itself, on a module made for it: one that imports a DLL found
# nowhere must stop the package, naming both.
check_refuses_missing_import() {
  local dir rc=0 said
  dir=$(mktemp -d)
  printf 'int ausente(void) { return 1; }\n' >"$dir/ausente.c"
  printf 'int ausente(void);\nint main(void) { return ausente(); }\n' >"$dir/usa-ausente.c"
  $mingw-gcc -shared -o "$dir/ausente.dll" "$dir/ausente.c"
  $mingw-gcc -o "$dir/usa-ausente.exe" "$dir/usa-ausente.c" "$dir/ausente.dll"
  rm "$dir/ausente.dll"
  mkdir "$dir/stage"
  said=$( (copy_imports "$dir/usa-ausente.exe" "$dir/stage") 2>&1) || rc=$?
  rm -rf "$dir"
  if ((rc == 0)) || [[ $said != *"usa-ausente.exe imports ausente.dll, which is neither in the package nor part of Windows"* ]]; then
    die "a module that imports a DLL found nowhere did not stop the package (it said: '$said')"
  fi
  log "checked: a module that imports a DLL found nowhere stops the package ($said)"
}

step_package() {
  local version name stage zip module
  gcc_runtime_dir=$(gcc_runtime)
  check_refuses_missing_import
  version=$(product_version)
  [[ -n $version ]] || die "no build in $build: run the build step first"
  name=FTPCaldoria-$version-win64
  stage=$build/package/$name
  zip=$root/dist/$name.zip
  rm -rf "$stage"
  mkdir -p "$stage/platforms" "$stage/styles" "$stage/translations" "$root/dist"

  cp "$build/app/FTPCaldoria.exe" "$stage/"
  cp "$qt_prefix/plugins/platforms/qwindows.dll" "$stage/platforms/"
  cp "$qt_prefix/plugins/styles/qwindowsvistastyle.dll" "$stage/styles/"
  for module in "$stage/FTPCaldoria.exe" "$stage/platforms/"*.dll "$stage/styles/"*.dll; do
    copy_imports "$module" "$stage"
  done
  # Symbols only; the resources (version, manifest, icon) stay.
  $mingw-strip "$stage/FTPCaldoria.exe" "$stage/"*.dll "$stage/platforms/"*.dll "$stage/styles/"*.dll
  cp /usr/share/qt6/translations/qtbase_pt_BR.qm /usr/share/qt6/translations/qt_pt_BR.qm "$stage/translations/"
  # Qt finds its plugins and translations inside the unzipped folder.
  printf '[Paths]\r\nPrefix=.\r\nPlugins=.\r\nTranslations=translations\r\n' >"$stage/qt.conf"
  # Firebird's client of our own, used when the system's fbclient.dll cannot be
  # (none there, or a 32-bit one): in a folder of its own, so that unzipping never
  # replaces the system's.
  mkdir -p "$stage/$fbclient_folder"
  cp "$firebird_dir/x64/fbclient.dll" "$stage/$fbclient_folder/"
  cp "$firebird_dir/licencas/"* "$stage/$fbclient_folder/"
  leia_me "$version" >"$stage/FTPCaldoria-LEIA-ME.txt"
  administrators_guide "$stage"
  check_top_level "$stage"

  rm -f "$zip"
  (cd "$stage" && zip -q -r -9 -X "$zip" .)
  log "$zip: $(du -k "$zip" | cut -f1) KiB, $(find "$stage" -type f | wc -l) files, $(du -sk "$stage" | cut -f1) KiB unzipped"
  smoke_test "$zip"
  end_checks "$zip"
}

# The package's folder for its Firebird client (the program looks for it there).
fbclient_folder=FTPCaldoria-Firebird

# Names that the folder of an installed system may hold (its Firebird client and
# configuration, Delphi's and Microsoft's runtimes, its INI files, a read-me): a file
# of the zip at the top level under one of these would replace the system's own
# when the package is unzipped there.
system_file_patterns=(
  'fbclient.dll' 'gds32.dll' 'fbembed.dll' 'ib_util.dll' 'firebird.conf' 'firebird.msg' 'firebird.log'
  'icu*.dll' 'midas.dll' 'dbxfb.dll' 'dbexp*.dll' 'libeay32.dll' 'ssleay32.dll'
  'msvcp*.dll' 'msvcr*.dll' 'vcruntime*.dll' '*.ini' '*.fdb' '*.gdb'
  'leia-me.txt' 'leiame.txt' 'readme.txt' 'license.txt' 'licenca.txt'
)

check_top_level() {
  local f name pattern
  for f in "$1"/*; do
    [[ -f $f ]] || continue
    name=${f##*/}
    name=${name,,}
    for pattern in "${system_file_patterns[@]}"; do
      # shellcheck disable=SC2053 # a pattern on purpose
      [[ $name == $pattern ]] && die "the package would put ${f##*/} at the top of a system's folder"
    done
  done
  return 0
}

# The LEIA-ME, in Windows-1252 with CRLF, so that any Notepad shows it right.
leia_me() {
  sed 's/$/\r/' <<TEXT | iconv -f UTF-8 -t WINDOWS-1252
FTPCaldoria $1 - Utilitário FTP Caldoria

ONDE COPIAR

Descompacte todo o conteúdo deste arquivo na pasta de instalação do sistema
Quintara do cliente: a pasta onde estão o arquivo INI do sistema (por exemplo
korv.ini) e o fbclient.dll. Nenhum arquivo do sistema é substituído. Mantenha
as pastas platforms, styles, translations e FTPCaldoria-Firebird ao lado do
FTPCaldoria.exe.

O programa lê o banco de dados com o fbclient.dll do sistema. Quando ele não
existe ou não pode ser usado por um programa de 64 bits (um fbclient.dll de 32
bits), o programa usa o cliente Firebird que vem na pasta FTPCaldoria-Firebird
(com as licenças do Firebird e da libtommath), e diz no registro qual usou.

O programa reconhece sozinho o sistema instalado pelo arquivo INI que está ao
seu lado e lê no banco de dados a cidade do cliente. Sem o INI, ou sem acesso
ao banco, ele funciona em modo de base corrompida: os arquivos enviados vão
para a pasta compartilhada do suporte com um nome único, mostrado na janela.

COMO USAR

- Abra o FTPCaldoria.exe e use os botões "Visualizar Arquivos" e
  "Enviar Arquivo".
- Ou arraste um arquivo para a janela, ou use "Abrir com" no Explorer: o
  arquivo é enviado na hora.
- Para enviar o backup toda noite sem ninguém por perto (Agendador de
  Tarefas), veja FTPCaldoria-AGENDAMENTO.txt.

Requer Windows 10 ou mais novo, de 64 bits.
TEXT
}

# For the administrator who schedules the nightly send: the guide (Windows-1252
# with CRLF, as the LEIA-ME), a sample .cmd (CRLF; ASCII, which any console code
# page reads alike) and the task for schtasks /XML (UTF-16, as the Task Scheduler
# writes its own). Sources in scripts/windows/.
administrators_guide() {
  local from=$root/scripts/windows
  sed 's/$/\r/' "$from/FTPCaldoria-AGENDAMENTO.txt" | iconv -f UTF-8 -t WINDOWS-1252 >"$1/FTPCaldoria-AGENDAMENTO.txt"
  LC_ALL=C grep -q '[^[:print:][:space:]]' "$from/FTPCaldoria-enviar-backup.cmd" && die "FTPCaldoria-enviar-backup.cmd must be ASCII"
  sed 's/$/\r/' "$from/FTPCaldoria-enviar-backup.cmd" >"$1/FTPCaldoria-enviar-backup.cmd"
  sed 's/$/\r/' "$from/FTPCaldoria-tarefa.xml" | iconv -f UTF-8 -t UTF-16 >"$1/FTPCaldoria-tarefa.xml"
}

# The guide's .cmd and schtasks line, run as the guide tells, under Wine against a
# local FTP server: the .cmd sends the newest backup of its folder, keeps the day's
# log and appends the exit code's line, and ends with the program's code (5 here:
# no client database, the shared folder); with no backup it ends with 1 and says
# so. Wine's schtasks knows /XML but not /RU and /RP: the task is registered
# without them, found, and deleted.
check_guide() {
  local dir=$1 ftp_root port pid log rc=0 today
  ftp_root=$(mktemp -d)
  mkdir -p "$dir/backup"
  printf 'old' >"$dir/backup/KORV-antigo.fbk"
  touch -d '2 days ago' "$dir/backup/KORV-antigo.fbk"
  head -c 300000 /dev/urandom >"$dir/backup/KORV-novo.fbk"
  /usr/bin/python3 -u "$root/tests/fixtures/ftp/pyftpd_server.py" --root "$ftp_root" --user caldoria --password vesplodu >"$dir/ftp.out" 2>&1 &
  pid=$!
  for _ in $(seq 100); do grep -q '^PORT ' "$dir/ftp.out" && break; sleep 0.1; done
  port=$(sed -n 's/^PORT //p' "$dir/ftp.out")
  [[ -n $port ]] || { kill "$pid"; die "the guide's check: the FTP server did not start"; }
  today=$(date +%Y-%m-%d)
  log="$dir/KORV/logs/envio-$today.log"
  (cd "$dir/KORV" && WINEDEBUG=-all PASTA="Z:${dir//\//\\}\\backup" TENTAR_POR=0s FTPCALDORIA_FTP_HOST=127.0.0.1:$port \
    FTPCALDORIA_FTP_ALT_HOST=127.0.0.1:$port wine cmd /c FTPCaldoria-enviar-backup.cmd) || rc=$?
  kill "$pid" 2>/dev/null || true
  [[ $rc == 5 ]] || { cat "$log" 2>/dev/null; die "the guide's .cmd ended with $rc, not 5"; }
  grep -q ': envio de .*KORV-novo.fbk ---' "$log" || { cat "$log"; die "the guide's .cmd sent no backup, or not the newest"; }
  grep -q 'RESULTADO: Enviado para a pasta compartilhada de base corrompida como ' "$log" || { cat "$log"; die "no outcome in the .cmd's log"; }
  grep -q 'KORV-novo.fbk: codigo de saida 5: ATENCAO, enviado para a pasta compartilhada' "$log" ||
    { cat "$log"; die "the .cmd did not log its exit code's line"; }
  cmp -s "$dir/backup/KORV-novo.fbk" "$(find "$ftp_root" -type f -name '*KORV-novo.fbk')" || die "the server's file is not the backup"
  rm -rf "$ftp_root"
  # No backup at all: exit code 1, and the log says why.
  rm -f "$dir/backup/"*.fbk
  rc=0
  (cd "$dir/KORV" && WINEDEBUG=-all PASTA="Z:${dir//\//\\}\\backup" wine cmd /c FTPCaldoria-enviar-backup.cmd) || rc=$?
  [[ $rc == 1 ]] || die "the guide's .cmd without a backup ended with $rc, not 1"
  grep -q 'nenhum backup .fbk em ' "$log" || { cat "$log"; die "the .cmd did not log a missing backup"; }
  # The schtasks line of the guide, as far as Wine's schtasks goes.
  local line
  line=$(iconv -f WINDOWS-1252 -t UTF-8 "$dir/KORV/FTPCaldoria-AGENDAMENTO.txt" | tr -d '\r' | sed -n 's/^ *\(schtasks \/Create .*\)$/\1/p')
  [[ $line == *'/XML "C:\Quintara\KORV\FTPCaldoria-tarefa.xml"'* ]] || die "no schtasks line in the guide"
  mkdir -p "$WINEPREFIX/drive_c/Quintara/KORV"
  cp "$dir/KORV/FTPCaldoria-tarefa.xml" "$WINEPREFIX/drive_c/Quintara/KORV/"
  line=${line% /RU *}
  # (Inside double quotes a backslash before a letter stays as it is.)
  eval "WINEDEBUG=-all wine $line /F" >/dev/null 2>&1 || die "schtasks did not register the guide's task: $line"
  WINEDEBUG=-all wine schtasks /Query /TN 'Quintara\Enviar backup' >/dev/null 2>&1 ||
    [[ -f "$WINEPREFIX/drive_c/windows/system32/tasks/Quintara/Enviar backup" ]] || die "the guide's task is not registered"
  WINEDEBUG=-all wine schtasks /Delete /TN 'Quintara\Enviar backup' /F >/dev/null 2>&1 || true
  rmdir "$WINEPREFIX/drive_c/windows/system32/tasks/Quintara" 2>/dev/null || true
  rm -rf "$WINEPREFIX/drive_c/Quintara"
  log "the guide's .cmd sent the newest backup (exit code 5, logged) and its schtasks line registered the task"
}

# The unzipped package alone (no build folders on the DLL path) must start beside
# a korv.ini and show its caption; a picture of the window is kept for docs/.
# A new folder holding the zip $1 unzipped into KORV/ beside a korv.ini, as in a
# system's folder (its database server is not there).
unzipped_beside_ini() {
  local dir
  dir=$(mktemp -d)
  unzip -q "$1" -d "$dir/KORV"
  printf '[KORV]\r\nServidor=127.0.0.1\r\nCaminho_Base_Dados=C:\\KORV\\DADOS\\\r\n' >"$dir/KORV/korv.ini"
  echo "$dir"
}

smoke_test() {
  local dir caption shot=$build/package/janela-windows.png
  caption="Utilitário FTP Caldoria $(product_version)/RC"
  dir=$(unzipped_beside_ini "$1")
  wine_ready
  log "starting the unzipped program under Wine (Xvfb, windows platform)"
  if ! WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml=" WINEPATH= CAPTION="$caption" SHOT="$shot" DIR="$dir" \
    xvfb-run -a -s '-screen 0 1024x640x24' bash -c '
      wine "$DIR/KORV/FTPCaldoria.exe" >"$DIR/wine.log" 2>&1 &
      # The window whose title ends like ours, then its full UTF-8 title.
      id=
      for _ in $(seq 120); do
        id=$(xwininfo -root -tree 2>/dev/null | grep -F "FTP Caldoria ${CAPTION##* }\"" | awk "{print \$1}" | head -1)
        [[ -n $id ]] && break
        sleep 0.5
      done
      title=
      [[ -n $id ]] && title=$(LC_ALL=C.UTF-8 xprop -id "$id" _NET_WM_NAME 2>/dev/null | sed -n "s/^[^\"]*\"\(.*\)\"$/\1/p")
      echo "title: $title" >>"$DIR/wine.log"
      sleep 2
      [[ -n $id ]] && import -window "$id" "$SHOT" 2>/dev/null
      wineserver -k
      [[ $title == "$CAPTION" ]]'; then
    cat "$dir/wine.log"
    rm -rf "$dir"
    die "the unzipped program did not show \"$caption\""
  fi
  log "the unzipped program shows \"$caption\" (screen: $shot)"
  check_guide "$dir"
  rm -rf "$dir"
}

# The unzipped program ends by itself (scripts/windows/ends.sh): the window closed
# by its button, a send, a send stopped by Ctrl+C. END_CHECKS=n runs them n times.
end_checks() {
  local dir closer=$build/package/close-window.exe ctrl_c=$build/package/ctrl-c.exe i
  $mingw-gcc -O2 -municode -o "$closer" "$root/scripts/windows/close-window.c"
  $mingw-gcc -O2 -municode -o "$ctrl_c" "$root/scripts/windows/ctrl-c.c"
  dir=$(unzipped_beside_ini "$1")
  wine_ready
  for ((i = 1; i <= ${END_CHECKS:-1}; i++)); do
    log "the unzipped program ends by itself (run $i)"
    # One wineserver for the run: the program and the checks' helpers start
    # together, and must not race to start one.
    WINEDEBUG=-all wineserver -p 2>/dev/null || true
    if ! xvfb-run -a -s '-screen 0 1024x640x24' \
      bash "$root/scripts/windows/ends.sh" "$dir/KORV" "$closer" "$ctrl_c" "FTP Caldoria $(product_version)/RC"; then
      wineserver -k 2>/dev/null || true
      rm -rf "$dir"
      die "the unzipped program did not end as it must"
    fi
    wineserver -k 2>/dev/null || true
  done
  rm -rf "$dir"
}

all_steps=(deps qt openssl firebird build test package)
steps=("$@")
((${#steps[@]})) || steps=("${all_steps[@]}")
for s in "${steps[@]}"; do
  [[ " ${all_steps[*]} " == *" $s "* ]] || die "unknown step '$s' (steps: ${all_steps[*]})"
done
total=$SECONDS
for s in "${steps[@]}"; do
  timed "$s"
done
for s in "${steps[@]}"; do
  printf 'windows.sh: %-8s %4d s\n' "$s" "${took[$s]}"
done
printf 'windows.sh: %-8s %4d s\n' total $((SECONDS - total))
