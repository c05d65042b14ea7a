#!/usr/bin/env bash
# Transfers that survive a broken line, measured: an upload and a download of one
# large file through the program's FTP session (bench/ftpc_transfer's sibling
# ftpc_bench_retomada), against vsftpd on 127.0.0.1, always through our relay
# (tests/fixtures/ftp/cutting_proxy.py): once clean, and once with the data
# connection reset at 25, 50 and 75 % of the file. Reports the whole operation's
# time and the file bytes that crossed the relay, and sets them against the goal:
# bytes at most 1.03 times the file, time at most the clean time plus the pauses
# before the new attempts plus 10 %.
#
# Usage, as root (vsftpd logs in a system user) after scripts/deps.sh:
#   scripts/bench-retomada.sh
# Settings from the environment:
#   BUILD_DIR   build folder (default build/)
#   ROUNDS      rounds of each case (default 3); medians are reported
#   SIZE_MIB    size of the file (default 1024)
#   BENCH_TMP   where the scratch folder goes (default /var/tmp; room for three times SIZE_MIB)
# Prints a Markdown report; a copy and the raw figures go to $BUILD_DIR/bench-results/.
set -euo pipefail

root=$(cd "$(dirname "$0")/.." && pwd)
build=${BUILD_DIR:-$root/build}
rounds=${ROUNDS:-3}
size_mib=${SIZE_MIB:-1024}
python=/usr/bin/python3
user=caldoria
password=vesplodu
run_limit=600

say() { echo "bench-retomada: $*" >&2; }
die() { say "$*"; exit 1; }

[[ $(id -u) -eq 0 ]] || die "run as root: vsftpd needs a system user to log in"
command -v /usr/sbin/vsftpd >/dev/null || die "vsftpd is missing: run scripts/deps.sh"

say "building in $build"
cmake -S "$root" -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DFTPCALDORIA_BENCH=ON >/dev/null
cmake --build "$build" -j"$(nproc)" --target ftpc_bench_retomada >/dev/null
prog=$build/bench/ftpc_bench_retomada

source "$root/scripts/bench-servers.sh"
make_scratch ftpc-bench-retomada
ensure_ftp_user

say "writing a ${size_mib} MiB file of random bytes"
big=$work/big.bin
head -c "$((size_mib << 20))" /dev/urandom >"$big"
size=$(stat -c %s "$big")
chown -R "$user" "$ftproot"
chmod 755 "$ftproot"

start_vsftpd
port=${port_of[vsftpd]}
say "vsftpd on port $port"

# relay STATS CUT... : starts a relay in front of vsftpd; sets relay_port and relay_pid.
relay() {
  local stats=$1 args=()
  shift
  for pos in "$@"; do args+=(--cut "$pos"); done
  : >"$stats"
  setsid "$python" "$root/tests/fixtures/ftp/cutting_proxy.py" --upstream "$port" --stats "$stats" "${args[@]}" \
    >"$work/relay.out" 2>"$work/relay.err" &
  relay_pid=$!
  server_pids+=("$relay_pid")
  relay_port=
  for _ in $(seq 100); do
    relay_port=$(sed -n 's/^PORT //p' "$work/relay.out")
    [[ -n $relay_port ]] && return
    sleep 0.1
  done
  die "the relay did not start: $(cat "$work/relay.err")"
}
stop_relay() { kill -- "-$relay_pid" 2>/dev/null || kill "$relay_pid" 2>/dev/null || true; }

# run STATS DIRECTION [REMOTE]: one operation through the running relay; sets
# result to "seconds retries pauses bytes" (bytes: file bytes the relay passed on)
# and uploaded to the name an upload got.
run() {
  local stats=$1 direction=$2 remote=${3:-} out line
  export FTPCALDORIA_FTP_HOST=127.0.0.1:$relay_port FTPCALDORIA_FTP_ALT_HOST=127.0.0.1:$relay_port
  sync
  if [[ $direction == up ]]; then
    line=$(timeout "$run_limit" "$prog" up "$big") || die "upload failed"
  else
    out=$work/down.bin
    rm -f "$out"
    line=$(timeout "$run_limit" "$prog" down "$remote" "$out") || die "download failed"
    cmp -s "$out" "$big" || die "the downloaded file differs from the original"
    rm -f "$out"
  fi
  sleep 0.3 # the relay writes a transfer's line when both of its sides have closed
  local bytes
  bytes=$(awk '{ s += $3 } END { print s + 0 }' "$stats")
  uploaded=$(sed -n 's/.*name=\([^ ]*\).*/\1/p' <<<"$line")
  result="$(sed -n 's/.*seconds=\([^ ]*\).*/\1/p' <<<"$line") $(sed -n 's/.*retries=\([^ ]*\).*/\1/p' <<<"$line")"
  result+=" $(sed -n 's/.*pauses_s=\([^ ]*\).*/\1/p' <<<"$line") $bytes"
}

cuts=("$((size / 4))" "$((size / 2))" "$((size * 3 / 4))")
raw=$work/raw.tsv
: >"$raw"
for ((r = 0; r < rounds; r++)); do
  say "round $((r + 1))/$rounds"
  for kind in clean cut; do
    # Each direction through a relay of its own: a cut is made once.
    for direction in up down; do
      if [[ $kind == cut ]]; then relay "$work/stats.txt" "${cuts[@]}"; else relay "$work/stats.txt"; fi
      if [[ $direction == up ]]; then
        run "$work/stats.txt" up
        remote=$uploaded
        [[ -f "$shared/$remote" ]] && cmp -s "$shared/$remote" "$big" || die "the server's copy differs from the original"
        ls "$shared" | grep -q '\.parcial$' && die "a temporary upload was left on the server"
      else
        run "$work/stats.txt" down "$remote"
        rm -f "$shared/$remote"
      fi
      stop_relay
      printf '%s\t%s\t%s\n' "$kind" "$direction" "${result// /$'\t'}" >>"$raw"
      say "$kind $direction: $result"
    done
  done
done

median() { # kind direction column
  awk -F'\t' -v k="$1" -v d="$2" -v c="$3" '$1 == k && $2 == d { print $c }' "$raw" | sort -g |
    awk '{ v[NR] = $1 } END { if (NR % 2) print v[(NR + 1) / 2]; else printf "%.3f\n", (v[NR / 2] + v[NR / 2 + 1]) / 2 }'
}

report() {
  echo "## Transfers through a broken line"
  echo
  echo "$(date -u '+%Y-%m-%d %H:%M UTC'), $(nproc) cores ($(sed -n 's/^model name[[:space:]]*: //p' /proc/cpuinfo | head -1)), $(uname -sr), vsftpd $(dpkg-query -W -f='${Version}' vsftpd 2>/dev/null)."
  echo "A file of ${size_mib} MiB ($size bytes) through the program's session, against vsftpd, always through the relay;"
  echo "\"cut\": the data connection reset at 25, 50 and 75 % of the file. Median of $rounds rounds. Time: the whole"
  echo "operation (connection, folder, transfer, the server's size checked, the rename). Bytes: file bytes the relay"
  echo "passed on, cut transfers included."
  echo
  echo "| direction | clean (s) | cut (s) | new attempts | their pauses (s) | cut − clean − pauses (s) | bytes moved, cut | bytes / file | goal met |"
  echo "|---|---|---|---|---|---|---|---|---|"
  for direction in up down; do
    local c t n p b
    c=$(median clean "$direction" 3)
    t=$(median cut "$direction" 3)
    n=$(median cut "$direction" 4)
    p=$(median cut "$direction" 5)
    b=$(median cut "$direction" 6)
    local extra ratio ok
    extra=$(awk -v t="$t" -v c="$c" -v p="$p" 'BEGIN { printf "%.3f", t - c - p }')
    ratio=$(awk -v b="$b" -v s="$size" 'BEGIN { printf "%.4f", b / s }')
    ok=$(awk -v t="$t" -v c="$c" -v p="$p" -v b="$b" -v s="$size" 'BEGIN { print (b <= 1.03 * s && t <= (c + p) * 1.10) ? "yes" : "no" }')
    echo "| $([[ $direction == up ]] && echo upload || echo download) | $c | $t | $n | $p | $extra | $b | $ratio | $ok |"
  done
}

results=$build/bench-results
mkdir -p "$results"
stamp=$(date -u +%Y%m%d-%H%M%S)
cp "$raw" "$results/$stamp-retomada-raw.tsv"
report | tee "$results/$stamp-retomada.md"
say "report and raw figures in $results/$stamp-retomada.md and $results/$stamp-retomada-raw.tsv"
