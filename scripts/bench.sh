#!/usr/bin/env bash
# Benchmarks of the FTP client, all on 127.0.0.1:
#   - upload, download to a file and download to /dev/null of one large file with
#     our client (bench/ftpc_transfer) and with curl, against vsftpd, vsftpd with
#     explicit TLS (ours with TLS required, curl --ssl-reqd, both verifying the
#     server's certificate) and pyftpdlib, several rounds taken in turn, with
#     medians, ratios ours/curl and peak memory;
#   - peak memory of our client for a small, the large and a double-size file,
#     plain and over TLS;
#   - the listing parsers on 100,000 MLSD and LIST lines (Google Benchmark);
#   - the window: refreshing a folder of 100,000 entries, and the longest pause of
#     its GUI thread during the large upload and download.
#
# Usage, as root (vsftpd logs in a system user) after scripts/deps.sh:
#   scripts/bench.sh
# Settings from the environment:
#   BUILD_DIR   build folder (default build/), configured RelWithDebInfo
#   ROUNDS      rounds of each transfer case (default 6; with a multiple of 3 each
#               of the three programs goes first equally often)
#   SIZE_MIB    size of the large file (default 1024)
#   BENCH_TMP   where the scratch folder goes (default /var/tmp; it needs room for
#               about five times SIZE_MIB)
#   SERVERS     the servers of the transfer cases (default "vsftpd vsftpd_tls pyftpdlib")
#   TRANSFERS_ONLY=1  the transfers and the memory figures alone
# Prints a Markdown report; a copy and the raw figures are left in
# $BUILD_DIR/bench-results/. Scratch files and servers are removed on exit.
set -euo pipefail

root=$(cd "$(dirname "$0")/.." && pwd)
build=${BUILD_DIR:-$root/build}
rounds=${ROUNDS:-6}
size_mib=${SIZE_MIB:-1024}
python=/usr/bin/python3 # Debian's, which has pyftpdlib
user=caldoria           # the login the program uses
password=vesplodu
run_limit=300           # seconds any single benchmark command may take

say() { echo "bench: $*" >&2; }
die() { say "$*"; exit 1; }

[[ $(id -u) -eq 0 ]] || die "run as root: vsftpd needs a system user to log in"
for tool in /usr/sbin/vsftpd curl /usr/bin/time cmake openssl; do
  command -v "$tool" >/dev/null || die "$tool is missing: run scripts/deps.sh"
done
"$python" -c 'import pyftpdlib' 2>/dev/null || die "pyftpdlib is missing: run scripts/deps.sh"

# ---------------------------------------------------------------- build
say "building in $build"
cmake -S "$root" -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DFTPCALDORIA_BENCH=ON >/dev/null
# The transfers alone need only the transfer client, not the window.
targets=(ftpc_bench_transfer)
[[ -z ${TRANSFERS_ONLY:-} ]] && targets+=(ftpc_bench_listagem ftpc_bench_janela)
cmake --build "$build" -j"$(nproc)" --target "${targets[@]}" >/dev/null
ours=$build/bench/ftpc_transfer
listagem=$build/bench/ftpc_bench_listagem
janela=$build/bench/ftpc_bench_janela

# ---------------------------------------------------------------- scratch and servers
source "$root/scripts/bench-servers.sh"
make_scratch ftpc-bench
mkdir -p "$work/out"
ensure_ftp_user

# The TLS server's certificate, which both clients are told to trust.
cert=$work/tls.pem
openssl req -x509 -newkey ec -pkeyopt ec_paramgen_curve:P-256 -nodes -keyout "$work/tls.key" -out "$cert" \
  -subj /CN=127.0.0.1 -addext subjectAltName=IP:127.0.0.1 -days 2 2>/dev/null

start_pyftpd() {
  setsid "$python" "$root/tests/fixtures/ftp/pyftpd_server.py" --root "$ftproot" --user "$user" --password "$password" \
    >"$work/pyftpd.out" 2>"$work/pyftpd.err" &
  server_pids+=($!)
  for _ in $(seq 100); do
    port_of[pyftpdlib]=$(sed -n 's/^PORT //p' "$work/pyftpd.out")
    [[ -n ${port_of[pyftpdlib]} ]] && return
    sleep 0.1
  done
  die "pyftpdlib did not start: $(cat "$work/pyftpd.err")"
}

# ---------------------------------------------------------------- files
say "writing a ${size_mib} MiB file of random bytes"
big=$work/big.bin
head -c "$((size_mib << 20))" /dev/urandom >"$big"
ln "$big" "$ftproot/big.bin"
ln "$big" "$shared/big.bin"
head -c "$((100 << 20))" "$big" >"$work/small.bin"
ln "$work/small.bin" "$ftproot/small.bin"
cat "$big" "$big" >"$work/double.bin"
ln "$work/double.bin" "$ftproot/double.bin"
chown -R "$user" "$ftproot"
for up in "$ftproot" "$work"; do chmod 755 "$up"; done

start_vsftpd
start_vsftpd tls
start_pyftpd
say "vsftpd on port ${port_of[vsftpd]}, vsftpd with TLS on port ${port_of[vsftpd_tls]}, pyftpdlib on port ${port_of[pyftpdlib]}"

# ---------------------------------------------------------------- one measured run
raw=$work/raw.tsv
: >"$raw"

# measure SERVER CASE PROGRAM: one run, appended to raw.tsv as
# server case program seconds peak_kib before_data data_seconds cpu_seconds
measure() {
  local server=$1 case=$2 prog=$3 port=${port_of[$1]} out src moved want cmd=()
  local url=ftp://127.0.0.1:$port
  out=$work/out/$prog.bin
  local remote=up_${prog}_$server.bin
  case $case in
    upload) src=$big ;;
    download_file | download_null) src=big.bin ;;
    upload_100M) src=$work/small.bin ;;
    upload_2x) src=$work/double.bin ;;
    download_100M) src=small.bin ;;
    download_2x) src=double.bin ;;
  esac
  local target=$out
  [[ $case == download_null ]] && target=/dev/null
  # Each program also says where the time went: before the data moved and while
  # it moved (curl's total counts from its start, ours the data alone).
  case $prog:$case in
    curl:upload*) cmd=(curl -sS --user "$user:$password" -T "$src" "$url/$remote") ;;
    curl:download*) cmd=(curl -sS --user "$user:$password" -o "$target" "$url/$src") ;;
    ours*:upload*) cmd=("$ours" 127.0.0.1 "$port" "$user" "$password" up "$remote" "$src") ;;
    ours*:download*) cmd=("$ours" 127.0.0.1 "$port" "$user" "$password" down "$src" "$target") ;;
  esac
  [[ $prog == curl ]] && cmd+=(-w 'before_data=%{time_pretransfer} data_seconds=%{time_total}')
  [[ $prog == ours_quiet ]] && cmd+=(--quiet-events)
  if [[ $server == *_tls ]]; then
    [[ $prog == curl ]] && cmd+=(--ssl-reqd --cacert "$cert") || cmd+=(--tls)
  fi

  # Nothing of the previous run may still be on its way to the disk.
  rm -f "$ftproot/$remote" "$out"
  sync
  local started ended
  started=$(date +%s%N)
  SSL_CERT_FILE=$cert timeout "$run_limit" /usr/bin/time -v -o "$work/time.txt" "${cmd[@]}" >"$work/out.txt" 2>"$work/err.txt" ||
    die "$prog $case on $server failed: $(cat "$work/err.txt")"
  ended=$(date +%s%N)
  local kib
  kib=$(sed -n 's/.*Maximum resident set size (kbytes): //p' "$work/time.txt")
  # A run that moved the wrong number of bytes does not count.
  case $case in
    upload*) moved=$(stat -c %s "$ftproot/$remote"); want=$(stat -c %s "$src") ;;
    download_null) moved=x want=x ;;
    download*) moved=$(stat -c %s "$out"); want=$(stat -c %s "$ftproot/$src") ;;
  esac
  [[ $moved == "$want" ]] || die "$prog $case on $server moved $moved bytes, not $want"
  rm -f "$ftproot/$remote" "$out"
  local phases
  phases=$(tr ' ' '\n' <"$work/out.txt" | awk -F= -v curl="$([[ $prog == curl ]] && echo 1)" '
    $1 == "before_data" { b = $2 } $1 == "data_seconds" { d = $2 }
    END { if (curl) d -= b; printf "%.3f\t%.3f", b, d }')
  # Processor time (user and system) tells the clients' own costs apart from
  # waiting for a server that other work on the machine slows down.
  local cpu
  cpu=$(awk -F': ' '/User time|System time/ { t += $2 } END { printf "%.2f", t }' "$work/time.txt")
  printf '%s\t%s\t%s\t%s\t%s\t%s\t%s\n' "$server" "$case" "$prog" \
    "$(awk -v a="$started" -v b="$ended" 'BEGIN { printf "%.3f", (b - a) / 1e9 }')" "$kib" "$phases" "$cpu" >>"$raw"
}

# ---------------------------------------------------------------- transfers
read -r -a transfer_servers <<<"${SERVERS:-vsftpd vsftpd_tls pyftpdlib}"
servers=(vsftpd pyftpdlib) # the window's
cases=(upload download_file download_null)
programs=(ours curl ours_quiet)
# One untimed pass first: the first runs after writing the files meet the disk
# still busy with them.
say "warming up"
for server in "${transfer_servers[@]}"; do
  for case in "${cases[@]}"; do
    measure "$server" "$case" ours
    measure "$server" "$case" curl
  done
done
: >"$raw"
say "transfers: $rounds rounds of ${#transfer_servers[@]} servers x ${#cases[@]} cases x ${#programs[@]} programs"
for ((r = 0; r < rounds; r++)); do
  say "round $((r + 1))/$rounds"
  for server in "${transfer_servers[@]}"; do
    for case in "${cases[@]}"; do
      # Who goes first changes from round to round.
      for ((i = 0; i < ${#programs[@]}; i++)); do
        measure "$server" "$case" "${programs[$(((i + r) % ${#programs[@]}))]}"
      done
    done
  done
done

say "peak memory of our client for 100 MiB and $((2 * size_mib)) MiB"
memory_servers=()
for server in vsftpd vsftpd_tls; do
  [[ " ${transfer_servers[*]} " == *" $server "* ]] && memory_servers+=("$server")
done
for server in "${memory_servers[@]}"; do
  for case in upload_100M download_100M upload_2x download_2x; do
    measure "$server" "$case" ours
  done
done

if [[ -n ${TRANSFERS_ONLY:-} ]]; then
  servers=()
fi

# ---------------------------------------------------------------- listing parsers
say "listing parsers"
parsers=
[[ -z ${TRANSFERS_ONLY:-} ]] && parsers=$("$listagem" --benchmark_repetitions=5 --benchmark_report_aggregates_only=true --benchmark_format=csv 2>/dev/null)

# ---------------------------------------------------------------- the window
export QT_QPA_PLATFORM=offscreen
declare -A gui memoria
field() { sed -n "s/^$2=//p" <<<"$1"; } # key=value output -> value
for server in "${servers[@]}"; do
  port=${port_of[$server]}
  say "window: upload and download of ${size_mib} MiB through $server"
  rm -f "$work/out/janela.bin"
  sync
  gui[$server,enviar]=$(timeout "$run_limit" "$janela" enviar "$port" "$big" 2>/dev/null) || die "window upload failed"
  find "$shared" -name '*_big.bin' -delete
  sync
  gui[$server,baixar]=$(timeout "$run_limit" "$janela" baixar "$port" big.bin "$work/out/janela.bin" 2>/dev/null) ||
    die "window download failed"
  rm -f "$work/out/janela.bin"
done

((${#servers[@]})) && say "window: a client folder of 100,000 empty files"
rm -f "$shared/big.bin"
client=$ftproot/gCALDORIA/Cidades/SAO_JOSE_DO_RIO_PRETO-SP/PM/KORV # the KORV client of ftpc_bench_janela listar
mkdir -p "$client"
(cd "$client" && seq -f 'backup_%06g.fbk' 0 99999 | xargs touch)
chown -R "$user" "$ftproot/gCALDORIA"
for server in "${servers[@]}"; do
  port=${port_of[$server]}
  say "window: listing through $server"
  gui[$server,listar]=$(timeout "$run_limit" "$janela" listar "$port" 3 2>/dev/null) || die "window listing failed"
done

# The whole window process's peak memory with a folder of 100,000 entries and with
# one at the listing's entry limit (500,000, "." and ".." included), through vsftpd.
for entries in $( [[ -z ${TRANSFERS_ONLY:-} ]] && echo 100000 499998); do
  say "window: memory with $entries entries"
  find "$client" -type f -delete
  (cd "$client" && seq -f 'backup_%06g.fbk' 0 $((entries - 1)) | xargs touch)
  chown -R "$user" "$client"
  out=$(timeout "$run_limit" /usr/bin/time -v -o "$work/time.txt" "$janela" listar "${port_of[vsftpd]}" 1 2>/dev/null) ||
    die "window listing of $entries entries failed"
  memoria[$entries]="$(field "$out" rows) $(field "$out" gui_max_gap_ms) $(awk -F': *' '/Maximum resident/ { printf "%.1f", $2 / 1024 }' "$work/time.txt")"
done
rm -rf "$shared" "$client"

# ---------------------------------------------------------------- report
median() { # server case program [column] -> median seconds (column 4: the whole run)
  awk -F'\t' -v s="$1" -v c="$2" -v p="$3" -v k="${4:-4}" '$1 == s && $2 == c && $3 == p { print $k }' "$raw" | sort -g |
    awk '{ v[NR] = $1 } END { if (NR % 2) print v[(NR + 1) / 2]; else printf "%.3f\n", (v[NR / 2] + v[NR / 2 + 1]) / 2 }'
}
peak() { # server case program -> largest peak RSS in MiB
  awk -F'\t' -v s="$1" -v c="$2" -v p="$3" '$1 == s && $2 == c && $3 == p && $5 > m { m = $5 } END { printf "%.1f", m / 1024 }' "$raw"
}
ratio() { awk -v a="$1" -v b="$2" 'BEGIN { printf "%.2f", a / b }'; }

report() {
  echo "## Benchmark results"
  echo
  echo "$(date -u '+%Y-%m-%d %H:%M UTC'), $(nproc) cores ($(sed -n 's/^model name[[:space:]]*: //p' /proc/cpuinfo | head -1)), $(uname -sr), $(curl --version | head -1 | cut -d' ' -f1-2), vsftpd $(dpkg-query -W -f='${Version}' vsftpd 2>/dev/null), pyftpdlib $("$python" -c 'import pyftpdlib; print(pyftpdlib.__ver__)')."
  echo "Median of $rounds rounds of a ${size_mib} MiB file over 127.0.0.1; in each round the programs take turns going first."
  echo "A run is one process from start to exit: log-in, transfer, log-out. The data phase is the part from the"
  echo "server's go-ahead to its final reply (curl: time_total - time_pretransfer). Processor time: user and system."
  echo
  echo "| server | case | ours (s) | curl (s) | ours/curl | data phase ours / curl (s) | processor ours / curl (s) | ours, no events (s) | peak RSS ours / curl (MiB) |"
  echo "|---|---|---|---|---|---|---|---|---|"
  for server in "${transfer_servers[@]}"; do
    for case in "${cases[@]}"; do
      local o c q
      o=$(median "$server" "$case" ours)
      c=$(median "$server" "$case" curl)
      q=$(median "$server" "$case" ours_quiet)
      echo "| $server | ${case//_/ } | $o | $c | **$(ratio "$o" "$c")** | $(median "$server" "$case" ours 7) / $(median "$server" "$case" curl 7) | $(median "$server" "$case" ours 8) / $(median "$server" "$case" curl 8) | $q | $(peak "$server" "$case" ours) / $(peak "$server" "$case" curl) |"
    done
  done
  echo
  echo "Peak memory of our client (maximum resident set size):"
  echo
  echo "| server | file | upload (MiB) | download to a file (MiB) |"
  echo "|---|---|---|---|"
  for server in "${memory_servers[@]}"; do
    echo "| $server | 100 MiB | $(peak "$server" upload_100M ours) | $(peak "$server" download_100M ours) |"
    echo "| $server | ${size_mib} MiB | $(peak "$server" upload ours) | $(peak "$server" download_file ours) |"
    echo "| $server | $((2 * size_mib)) MiB | $(peak "$server" upload_2x ours) | $(peak "$server" download_2x ours) |"
  done
  echo
  [[ -n ${TRANSFERS_ONLY:-} ]] && return
  echo "Listing parsers, 100,000 lines (median of 5 repetitions):"
  echo
  echo "| listing | ms |"
  echo "|---|---|"
  echo "| MLSD | $(awk -F, '/BM_Mlsd100k_median/ { printf "%.0f", $3 }' <<<"$parsers") |"
  echo "| LIST (Unix) | $(awk -F, '/BM_List100k_median/ { printf "%.0f", $3 }' <<<"$parsers") |"
  echo
  echo "The window (offscreen), a folder of 100,000 entries (median of 3 refreshes; the longest GUI pause"
  echo "counts up to the list's paint; scrolling: the longest of 200 painted jumps; sorting: a click on \"Nome\"):"
  echo
  echo "| server | refresh to painted (ms) | client's List() alone (ms) | longest GUI pause (ms) | longest scroll step (ms) | sort to painted (ms) | longest GUI pause while sorting (ms) |"
  echo "|---|---|---|---|---|---|---|"
  for server in "${servers[@]}"; do
    local l=${gui[$server,listar]}
    echo "| $server ($([[ $server == vsftpd ]] && echo LIST || echo MLSD)) | $(field "$l" refresh_to_painted_ms) | $(field "$l" client_list_ms) | $(field "$l" gui_max_gap_ms) | $(field "$l" scroll_max_step_ms) | $(field "$l" sort_to_painted_ms) | $(field "$l" sort_gui_max_gap_ms) |"
  done
  echo
  echo "The window's whole process listing a large folder through vsftpd (one refresh after the first view):"
  echo
  echo "| entries | rows shown | longest GUI pause (ms) | peak RSS (MiB) |"
  echo "|---|---|---|---|"
  for entries in 100000 499998; do
    read -r rows gap rss <<<"${memoria[$entries]}"
    echo "| $entries | $rows | $gap | $rss |"
  done
  echo
  echo "The window, ${size_mib} MiB transfers (whole operation: connect, folder, transfer):"
  echo
  echo "| server | operation | time (ms) | longest GUI pause (ms) | progress steps |"
  echo "|---|---|---|---|---|"
  for server in "${servers[@]}"; do
    for op in enviar baixar; do
      local g=${gui[$server,$op]}
      echo "| $server | $([[ $op == enviar ]] && echo upload || echo download) | $(field "$g" operation_ms) | $(field "$g" gui_max_gap_ms) | $(field "$g" progress_steps) |"
    done
  done
}

results=$build/bench-results
mkdir -p "$results"
stamp=$(date -u +%Y%m%d-%H%M%S)
cp "$raw" "$results/$stamp-raw.tsv"
report | tee "$results/$stamp.md"
say "report and raw figures in $results/$stamp.md and $results/$stamp-raw.tsv"
