#!/usr/bin/env bash
# Builds the libFuzzer harnesses (preset "fuzz") and runs each one for a while.
#
#   scripts/fuzz.sh [-t SECONDS] [-j JOBS] [HARNESS...]
#
#   -t SECONDS  time per harness (default 30)
#   -j JOBS     build parallelism (default 2)
#   HARNESS     names without the fuzz_ prefix (default: all)
#
# Each harness first replays its committed corpus and regression inputs, then
# fuzzes with -malloc_limit_mb=64 -timeout=1 (and a process RSS cap), adding new inputs to a working
# corpus under build/fuzz/work/<harness> (the committed seeds stay as they
# are). Crash, timeout and out-of-memory inputs are written to
# build/fuzz/artifacts/<harness>/. Exits non-zero when any harness failed.
set -euo pipefail

root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
seconds=30
jobs=2
while getopts "t:j:h" opt; do
  case "$opt" in
    t) seconds="$OPTARG" ;;
    j) jobs="$OPTARG" ;;
    h) sed -n '2,14p' "$0"; exit 0 ;;
    *) exit 2 ;;
  esac
done
shift $((OPTIND - 1))

all=(archive_open decompress_lrs lrs_stream_decoder combat_maneuver_table parse_opts terminfo json_escape xml_escape)
harnesses=("$@")
[ ${#harnesses[@]} -eq 0 ] && harnesses=("${all[@]}")

build="$root/build/fuzz"
cmake --preset fuzz -S "$root" >/dev/null
targets=()
for h in "${harnesses[@]}"; do targets+=("quorvane_fuzz_$h"); done
ninja -C "$build" -j "$jobs" "${targets[@]}"

# A small quarantine keeps AddressSanitizer's own hold on freed memory from
# counting against the 64 MB limit, which is meant for the code under test.
export ASAN_OPTIONS="${ASAN_OPTIONS:-detect_leaks=1:abort_on_error=1:quarantine_size_mb=2:malloc_context_size=20}"
export UBSAN_OPTIONS="${UBSAN_OPTIONS:-print_stacktrace=1:halt_on_error=1}"
# No single allocation of the code under test may exceed 64 MB. The RSS cap
# is for the whole fuzzing process, whose own tables (about 25 MB for the
# fuzzer's corpus and coverage bookkeeping) and sanitizer shadow memory grow
# with the corpus, so it sits above that; the program's own peak memory on
# hostile inputs is measured separately (docs/hostile-inputs.md: under 5 MiB).
limits=(-rss_limit_mb="${QUORVANE_FUZZ_RSS_MB:-128}" -malloc_limit_mb=64 -timeout=1)
# A harness whose crash report wedges is stopped this long after its time.
grace=60

failed=()
start_all=$SECONDS
for h in "${harnesses[@]}"; do
  exe="$build/fuzz/fuzz_$h"
  seeds=("$root/fuzz/corpus/$h")
  [ -d "$root/fuzz/regressions/$h" ] && seeds+=("$root/fuzz/regressions/$h")
  work="$build/work/$h"
  artifacts="$build/artifacts/$h"
  mkdir -p "$work" "$artifacts"
  log="$build/artifacts/$h.log"

  echo "== $h: replaying ${seeds[*]#$root/}"
  if ! timeout --kill-after=10 "$grace" "$exe" "${limits[@]}" -runs=0 "${seeds[@]}" >"$log" 2>&1; then
    echo "   replay FAILED (see $log)"
    failed+=("$h")
    continue
  fi
  echo "== $h: fuzzing for ${seconds}s"
  started=$SECONDS
  if timeout --kill-after=10 $((seconds + grace)) \
      "$exe" "${limits[@]}" -max_total_time="$seconds" -print_final_stats=1 \
      -artifact_prefix="$artifacts/" "$work" "${seeds[@]}" >>"$log" 2>&1; then
    echo "   ok after $((SECONDS - started))s: $(grep -E '^stat::number_of_executed_units' "$log" | tail -1 | awk '{print $2}') runs, corpus $(ls "$work" | wc -l) inputs"
  else
    echo "   FAILED after $((SECONDS - started))s; artifacts in $artifacts, log $log"
    grep -E '^(==[0-9]+==ERROR|SUMMARY|.*fuzz invariant failed)' "$log" | head -5 | sed 's/^/   /'
    failed+=("$h")
  fi
done

echo "== all harnesses: $((SECONDS - start_all))s"
if [ ${#failed[@]} -ne 0 ]; then
  echo "failed: ${failed[*]}"
  exit 1
fi
