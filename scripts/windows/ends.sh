#!/usr/bin/env bash
# The unzipped program ends by itself under Wine, as it must on the user's machine:
# the window closed by its button, a send that ends, a send stopped by Ctrl+C. Each
# run must end within a few seconds of its last step, with its exit code, and with
# its log written to the end. Run by scripts/windows.sh (package step) inside Xvfb:
#
#   bash scripts/windows/ends.sh FOLDER CLOSE-WINDOW.EXE CTRL-C.EXE TITLE-END
#
# FOLDER holds the unzipped program beside an INI file; the client cannot be
# identified there (no database server), so sends go to the shared folder.
set -euo pipefail

program=$1/FTPCaldoria.exe
closer=$2
ctrl_c=$3
title_end=$4
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)
work=$(mktemp -d)
servers=()
cleanup() {
  local pid
  for pid in "${servers[@]}"; do kill "$pid" 2>/dev/null || true; done
  rm -rf "$work"
}
trap cleanup EXIT

fail() {
  printf 'ends.sh: %s\n' "$*" >&2
  local f
  for f in "$work"/*.err "$work"/*.log "$work"/*.out; do
    [[ -f $f ]] && { printf -- '--- %s\n' "${f##*/}" >&2; tail -20 "$f" >&2; }
  done
  exit 1
}

# A scripted FTP server on loopback for one check; its port in $port.
start_ftp() {
  python3 "$root/tests/fixtures/ftp/scripted_ftp.py" --scenario "$1" >"$work/$2.ftp" 2>&1 &
  servers+=($!)
  port=
  for _ in $(seq 100); do
    port=$(sed -n 's/^PORT //p' "$work/$2.ftp")
    [[ -n $port ]] && break
    sleep 0.1
  done
  [[ -n $port ]] || fail "the scripted FTP server ($1) did not start"
  export FTPCALDORIA_FTP_HOST=127.0.0.1:$port FTPCALDORIA_FTP_ALT_HOST=127.0.0.1:$port
}

# Waits up to $2 s for process $1 to end by itself; its exit code in $code.
wait_end() {
  local start=$SECONDS
  while kill -0 "$1" 2>/dev/null; do
    ((SECONDS - start < $2)) || return 1
    sleep 0.2
  done
  code=0
  wait "$1" || code=$?
}

# Waits up to $3 s for file $1 to hold text $2.
wait_text() {
  local start=$SECONDS
  until grep -qF -- "$2" "$1" 2>/dev/null; do
    ((SECONDS - start < $3)) || return 1
    sleep 0.2
  done
}

last_result() { grep 'RESULTADO: ' "$1" | tail -1; }

backup=$work/backup.fbk
head -c $((8 << 20)) /dev/urandom >"$backup"
export WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="

# The window, closed by its button once it has come up and looked for its client.
start_ftp normal janela
FTPCALDORIA_LOG=$work/janela.log wine "$program" >"$work/janela.out" 2>&1 &
pid=$!
wine "$closer" "$title_end" 120 || fail "no window titled ...$title_end"
wait_end "$pid" 15 || fail "the window, closed by its button, was still running 15 s later"
((code == 0)) || fail "the window, closed by its button, ended with exit code $code"
[[ -s $work/janela.log ]] || fail "the window's log file is empty"
echo "ends.sh: the window closed by its button ended with 0"

# A send that runs to its end.
start_ftp normal envio
wine "$program" --enviar "Z:$backup" --log "Z:$work/envio.log" 2>"$work/envio.err" &
pid=$!
wait_end "$pid" 120 || fail "a send to a local server was still running after 120 s"
((code == 5)) || fail "a send to the shared folder ended with exit code $code, not 5"
[[ $(last_result "$work/envio.log") == *'RESULTADO: '* ]] || fail "the send's log has no outcome line"
echo "ends.sh: a send ended by itself with $code: $(last_result "$work/envio.log")"

# A send stopped by Ctrl+C while its data flows (the server stops taking it), as a
# user stops it in the console where it runs: on a terminal of its own, where
# Wine's console passes Ctrl+C on to the programs attached to it.
start_ftp store-stall parada
script -qec "wine '$ctrl_c' 'Z:$work/parada.log' 'Enviando arquivo ' 60 '$program' --enviar 'Z:$backup' --log 'Z:$work/parada.log'; echo \"exit code: \$?\"" \
  /dev/null >"$work/parada.out" 2>&1 </dev/null
code=$(tr -d '\r' <"$work/parada.out" | sed -n 's/.*exit code: \([0-9]*\).*/\1/p' | tail -1)
case $code in
  200) fail "the stopped send never began sending" ;;
  201) fail "a send stopped by Ctrl+C was still running 60 s later" ;;
  1) ;;
  *) fail "a send stopped by Ctrl+C ended with exit code '$code', not 1" ;;
esac
[[ $(last_result "$work/parada.log") == *'cancelada'* ]] || fail "the stopped send's log does not end with its cancellation"
echo "ends.sh: a send stopped by Ctrl+C ended with 1: $(last_result "$work/parada.log")"
