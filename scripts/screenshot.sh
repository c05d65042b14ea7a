#!/usr/bin/env bash
# Starts the program under Xvfb in an empty folder (no installed system) and saves
# a picture of its window, for the README.
#   scripts/screenshot.sh [executable] [output.png]
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
exe=${1:-$root/build/app/FTPCaldoria}
out=${2:-$root/docs/janela.png}
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cp "$exe" "$work/FTPCaldoria"
mkdir -p "$(dirname "$out")"

xvfb-run -a -s "-screen 0 1024x768x24" bash -c '
  set -e
  cd "$1"
  ./FTPCaldoria >/dev/null 2>&1 &
  pid=$!
  sleep 3
  import -window root "$1/tela.png"
  kill $pid
  wait $pid 2>/dev/null || true
' _ "$work"
# No window manager draws a frame under Xvfb: the window is the centred 712x436 area.
convert "$work/tela.png" -crop 712x436+156+166 +repage "$out"
echo "saved $out"
