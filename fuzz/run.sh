#!/usr/bin/env bash
# Builds the fuzz preset and runs libFuzzer targets for a bounded time:
#   fuzz/run.sh [SECONDS [TARGET...]]   (default 120 seconds per target, every target)
#   FUZZ_RUNS=1000000 fuzz/run.sh 14400 table   stops a target after that many executions instead
#   FUZZ_JOBS=2 ...                              runs that many fuzzers per target side by side
# Every run has a time limit per input (-timeout, a hang is a finding) and memory limits (-rss_limit_mb and
# -malloc_limit_mb, a huge allocation is a finding).
# Seeds come from the project's fixtures (recorded NMEA logs, the ini file) and fuzz/corpus/<target>/;
# each target grows its own corpus in build/fuzz/corpus/<target>/. A crash, a sanitizer report or a
# violated invariant leaves the input in build/fuzz/artifacts/<target>/ and makes the script fail.
set -euo pipefail
cd "$(dirname "$0")/.."
seconds=${1:-120}
shift || true
targets=(reception inifile table)
[ $# -gt 0 ] && targets=("$@")
runs=${FUZZ_RUNS:--1}
# Inputs are at most a few hundred KB, so no single allocation of a sound decoder comes near 64 MB; the
# RSS bound covers the sanitizer's own memory, whose freed-memory quarantine is kept at 64 MB.
limits=(-timeout=10 -rss_limit_mb=512 -malloc_limit_mb=64)

cmake --preset fuzz >/dev/null
cmake --build --preset fuzz --target "${targets[@]/#/fuzz_}"

root=build/fuzz
mkdir -p "$root"
seeds=$(mktemp -d "$root/seeds.XXXXXX") # one per run, so that runs of different targets can go side by side
trap 'rm -rf "$seeds"' EXIT
mkdir -p "$seeds"/{reception,inifile,table}
# Recorded logs, cut into pieces of a receive window's size; a leading 0 picks Windows-1252.
for log in tests/fixtures/nmea/*.log; do
  name=$(basename "$log" .log)
  head -c 3000 "$log" | { printf '\0'; cat; } > "$seeds/reception/$name"
done
cp tests/fixtures/ini/chartprogram.ini "$seeds/inifile/"
printf '[Settings/NMEADataSource]\r\nDataConnections=0;2;0.0.0.0;0;0;COM4;4800;1;1;0;;0;;1;0;53;0;1;;1\r\n' > "$seeds/inifile/crlf"
printf '[settings/nmeadatasource]\ndataconnections\n[Other]\nk=v' > "$seeds/inifile/nokeyvalue"
cp fuzz/corpus/table/* "$seeds/table/"
# Inputs that once failed are seeds as well, so that every run starts from them.
for t in reception inifile table; do
  [ -d "fuzz/regressions/$t" ] && cp fuzz/regressions/$t/* "$seeds/$t/" 2>/dev/null || true
done

# FUZZ_JOBS=N runs N fuzzers per target side by side on one corpus (each picks up what the others find);
# the run count then applies to each of them.
jobs=${FUZZ_JOBS:-1}
failed=()
for t in "${targets[@]}"; do
  mkdir -p "$root/corpus/$t" "$root/artifacts/$t"
  echo "== fuzz_$t: ${seconds}s, runs ${runs}, jobs ${jobs}, ${limits[*]}"
  pids=()
  for k in $(seq "$jobs"); do
    log=$root/fuzz_$t.log
    [ "$jobs" -gt 1 ] && log=$root/fuzz_$t.$k.log
    ASAN_OPTIONS=detect_leaks=1:abort_on_error=1:quarantine_size_mb=64 UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
      "$root/fuzz/fuzz_$t" -max_total_time="$seconds" -runs="$runs" "${limits[@]}" -print_final_stats=1 \
      -artifact_prefix="$root/artifacts/$t/" "$root/corpus/$t" "$seeds/$t" > "$log" 2>&1 &
    pids+=("$!:$log")
  done
  total=0
  for entry in "${pids[@]}"; do
    log=${entry#*:}
    if ! wait "${entry%%:*}"; then
      failed+=("$t")
      tail -n 60 "$log"
    fi
    grep -E '^(stat::number_of_executed_units|stat::average_exec_per_sec|stat::peak_rss_mb)|^#[0-9]+ *DONE' "$log" || true
    units=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log" | tail -n 1)
    total=$((total + ${units:-0}))
  done
  echo "fuzz_$t: $total executions in all"
done

if [ ${#failed[@]} -gt 0 ]; then
  echo "fuzz/run.sh: findings in: ${failed[*]} (inputs in $root/artifacts/)" >&2
  exit 1
fi
echo "fuzz/run.sh: no findings"
