#!/usr/bin/env bash
# Takes the README's pictures of the window under Xvfb: the question about a
# server certificate that cannot be verified (docs/janela-certificado.png), the
# client folder listed with one file chosen (docs/janela.png), the busy panel
# halfway through an upload (docs/janela-enviando.png), the pause before a new
# attempt after the line broke (docs/janela-retomando.png), and an upload that
# could not be finished with its error box (docs/janela-falha.png,
# docs/caixa-falha.png). tests/screenshots/screenshots.cpp drives the real window
# against a private Firebird server and a pyftpdlib server on 127.0.0.1, in a
# Brazilian locale.
#   scripts/screenshot.sh [output folder]
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
out=${1:-$root/docs}
build=${BUILD_DIR:-$root/build}
BUILD_TARGET=ftpc_screenshots "$root/scripts/build.sh"
mkdir -p "$out"
# The upload's file (1 GiB, sparse) and the server's copy of it go to the
# temporary folder and are removed at the end.
LANG=pt_BR.UTF-8 xvfb-run -a -s "-screen 0 1024x768x24" "$build/tests/screenshots/ftpc_screenshots" "$out"
