#!/usr/bin/env bash
# Builds the libFuzzer targets with clang (AddressSanitizer and
# UndefinedBehaviorSanitizer) and runs each one for a given time on its seed
# corpus in tests/fuzz/corpus/<target>.
#   scripts/fuzz.sh [--built] [seconds per target, default 60] [build folder, default build/fuzz] [target...]
# --built: no build, the fuzzers are already there (the main build's test of them,
# whose build folder is <build>/tests/fuzz/clang).
# Targets: reply reply_parsers listing names ini cidade (all when none is named).
# New inputs go to <build>/corpus/<target>; a crash stops that target's run with
# the input saved as <build>/artifacts/<target>-crash-* (or -timeout-, -oom-).
# Keep such an input in the seed corpus once the fault is fixed.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
construir=1
if [[ ${1:-} == --built ]]; then
  construir=0
  shift
fi
segundos=${1:-60}
build=${2:-$root/build/fuzz}
shift $(( $# < 2 ? $# : 2 ))
targets=("$@")
((${#targets[@]})) || targets=(reply reply_parsers listing names ini cidade)

if ((construir)); then
  cmake -S "$root/tests/fuzz" -B "$build" -DCMAKE_CXX_COMPILER=clang++ -DCMAKE_C_COMPILER=clang -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
  cmake --build "$build" -j2 >/dev/null
fi
for t in "${targets[@]}"; do
  if [[ ! -x $build/fuzz_$t ]]; then
    echo "fuzz_$t is not built in $build"
    exit 1
  fi
done

mkdir -p "$build/artifacts"
falhas=0
for t in "${targets[@]}"; do
  mkdir -p "$build/corpus/$t"
  echo "fuzz_$t: ${segundos}s"
  if ! "$build/fuzz_$t" -max_total_time="$segundos" -timeout=10 -rss_limit_mb=2048 -print_final_stats=1 \
      -artifact_prefix="$build/artifacts/$t-" "$build/corpus/$t" "$root/tests/fuzz/corpus/$t" \
      >"$build/fuzz_$t.log" 2>&1; then
    echo "fuzz_$t FAILED, see $build/fuzz_$t.log"
    tail -30 "$build/fuzz_$t.log"
    falhas=$((falhas + 1))
  else
    grep -E "stat::number_of_executed_units|stat::new_units_added" "$build/fuzz_$t.log" | tr '\n' ' '
    echo
  fi
done
if ((falhas)); then
  echo "$falhas fuzzer(s) found a fault"
  exit 1
fi
echo "all fuzzers ran clean"
