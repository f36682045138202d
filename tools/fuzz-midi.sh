#!/usr/bin/env bash
# Fuzzes the MIDI reader: builds its libFuzzer target with the fuzz preset
# (clang, AddressSanitizer, UndefinedBehaviorSanitizer), seeds a corpus with
# generated valid files and runs for the given seconds (default 60).
# Exits non-zero on any crash, leak, timeout, out-of-memory or sanitizer report;
# the offending input is kept under build/fuzz/midi-fuzz/artifacts/.
# Usage: bash tools/fuzz-midi.sh [seconds]
set -euo pipefail

seconds=${1:-60}
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
cd "$root"
source tools/setup.sh

work=build/fuzz/midi-fuzz
mkdir -p "$work"
echo "[fuzz-midi] configuring and building midi_parse_fuzzer"
if ! { cmake --preset fuzz && cmake --build build/fuzz --target midi_parse_fuzzer; } >"$work/build.log" 2>&1; then
  tail -30 "$work/build.log" >&2
  echo "[fuzz-midi] build failed (full log: $work/build.log)" >&2
  exit 1
fi

fuzzer=build/fuzz/midi/fuzz/midi_parse_fuzzer
rm -rf "$work/seeds" "$work/artifacts"
mkdir -p "$work/seeds" "$work/corpus" "$work/artifacts"
"$fuzzer" --write-seeds "$work/seeds"

echo "[fuzz-midi] fuzzing MidiFile::parse for $seconds s"
set +e
"$fuzzer" -max_total_time="$seconds" -timeout=10 -rss_limit_mb=2048 -print_final_stats=1 \
  -artifact_prefix="$work/artifacts/" "$work/corpus" "$work/seeds" >"$work/fuzz.log" 2>&1
rc=$?
set -e

grep -E '^stat::(number_of_executed_units|average_exec_per_sec|peak_rss_mb)|^#[0-9]+ +DONE' "$work/fuzz.log" || true
findings=$(grep -cE 'ERROR: (AddressSanitizer|LeakSanitizer|libFuzzer)|runtime error:|invariant broken' "$work/fuzz.log" || true)
if [ "$rc" -ne 0 ] || [ "$findings" -ne 0 ] || [ -n "$(ls -A "$work/artifacts")" ]; then
  tail -60 "$work/fuzz.log" >&2
  echo "[fuzz-midi] FAILED (exit code $rc); log: $work/fuzz.log, inputs: $work/artifacts/" >&2
  exit 1
fi
echo "[fuzz-midi] no findings; corpus of $(ls "$work/corpus" | wc -l) inputs in $work/corpus"
