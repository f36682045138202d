#!/usr/bin/env bash
# Runs libFuzzer targets: builds them with the fuzz preset (clang, AddressSanitizer,
# UndefinedBehaviorSanitizer), seeds each corpus with the target's own valid inputs
# (`TARGET --write-seeds DIR`) and fuzzes each for the given seconds.
# Exits non-zero on any crash, leak, timeout, out-of-memory or sanitizer report;
# the offending input is kept under build/fuzz/<target>-run/artifacts/.
# Usage: bash tools/fuzz.sh SECONDS TARGET...
set -euo pipefail

seconds=$1
shift
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
cd "$root"
source tools/setup.sh

log=build/fuzz/fuzz-build.log
mkdir -p build/fuzz
echo "[fuzz] configuring and building $*"
if ! { cmake --preset fuzz && cmake --build build/fuzz --target "$@"; } >"$log" 2>&1; then
  tail -30 "$log" >&2
  echo "[fuzz] build failed (full log: $log)" >&2
  exit 1
fi

for target in "$@"; do
  fuzzer=$(find build/fuzz -type f -name "$target" -perm -u+x | head -1)
  work=build/fuzz/$target-run
  rm -rf "$work/seeds" "$work/artifacts"
  mkdir -p "$work/seeds" "$work/corpus" "$work/artifacts"
  "$fuzzer" --write-seeds "$work/seeds"

  echo "[fuzz] fuzzing $target for $seconds s"
  set +e
  "$fuzzer" -max_total_time="$seconds" -timeout=10 -rss_limit_mb=2048 -print_final_stats=1 \
    -artifact_prefix="$work/artifacts/" "$work/corpus" "$work/seeds" >"$work/fuzz.log" 2>&1
  rc=$?
  set -e

  grep -E '^stat::(number_of_executed_units|average_exec_per_sec|peak_rss_mb)|^#[0-9]+ +DONE' "$work/fuzz.log" || true
  findings=$(grep -cE 'ERROR: (AddressSanitizer|LeakSanitizer|libFuzzer)|runtime error:|invariant broken' "$work/fuzz.log" || true)
  if [ "$rc" -ne 0 ] || [ "$findings" -ne 0 ] || [ -n "$(ls -A "$work/artifacts")" ]; then
    tail -60 "$work/fuzz.log" >&2
    echo "[fuzz] $target FAILED (exit code $rc); log: $work/fuzz.log, inputs: $work/artifacts/" >&2
    exit 1
  fi
  echo "[fuzz] $target: no findings; corpus of $(ls "$work/corpus" | wc -l) inputs in $work/corpus"
done
