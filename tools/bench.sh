#!/usr/bin/env bash
# Builds the release preset, runs every benchmark (the GL one in a window under
# Xvfb when there is no display) and prints one table: each figure, its unit
# and, where there is one, its goal. Usage: tools/bench.sh
# The raw results stay in build/release/bench/ (Google Benchmark JSON, and the
# fixed-rate loop's own text).
set -euo pipefail
cd "$(dirname "${BASH_SOURCE[0]}")/.."
source tools/setup.sh

BENCHMARKS=(tick_bench judge_bench audio_system_bench press_timing_bench mixer_bench render_bench gui_bench level_load_bench tickbench chart_quality_bench separation_bench lumoka-import levelgen)
cmake --preset release >/dev/null
cmake --build --preset release --target "${BENCHMARKS[@]}"
bash tools/generate-levels.sh build/release
out=build/release/bench
mkdir -p "$out"

if [ -z "${DISPLAY:-}" ]; then
  for n in $(seq 90 120); do [ -e "/tmp/.X11-unix/X$n" ] || break; done
  Xvfb ":$n" -screen 0 1920x1080x24 -nolisten tcp >/dev/null 2>&1 &
  xvfb_pid=$!
  trap 'kill $xvfb_pid 2>/dev/null || true' EXIT
  export DISPLAY=":$n"
  for _ in $(seq 50); do [ -e "/tmp/.X11-unix/X$n" ] && break; sleep 0.1; done
fi
export MESA_GL_VERSION_OVERRIDE=4.6 MESA_GLSL_VERSION_OVERRIDE=460 SDL_AUDIO_DRIVER=dummy

run() {  # name, binary: the JSON lands in $out/name.json; the programs' own lines go to $out/name.log
  echo "[bench] $1" >&2
  "$2" --benchmark_out="$out/$1.json" --benchmark_out_format=json >"$out/$1.log" 2>&1
}
run tick build/release/tests/game/tick_bench
run rejudge build/release/tests/judge/judge_bench
run dispatch build/release/tests/audio/audio_system_bench
run press build/release/tests/game/press_timing_bench
run mixer build/release/tests/audio/mixer_bench
run render build/release/tests/render/render_bench
run gui build/release/tests/ui/gui_bench
run level build/release/tests/level/level_load_bench
echo "[bench] tickbench" >&2
build/release/tools/tickbench 10 >"$out/tickbench.txt"
echo "[bench] song import: charts of the generated levels against their MIDI" >&2
build/release/tests/songimport/chart_quality_bench assets/levels >"$out/chart-quality.txt"
echo "[bench] song import: the generated levels' stems mixed and split, by SI-SDR" >&2
build/release/tests/songimport/separation_bench assets/levels >"$out/separation.txt"
# A four-minute stereo song: the stems of the busiest generated level mixed and looped.
echo "[bench] song import: a four-minute song" >&2
sox -m assets/levels/sample_c.zip/*.ogg -b 16 "$out/mix.wav"
sox "$out/mix.wav" "$out/four-minutes.wav" repeat 9 trim 0 240
rm -rf "$out/import-levels"
/usr/bin/time -f '%e %M' -o "$out/import-time.txt" \
  build/release/lumoka-import --levels "$out/import-levels" "$out/four-minutes.wav" >"$out/import.log"

# field FILE BENCHMARK KEY: the value of KEY in the benchmark named BENCHMARK.
field() {
  awk -v want="$2" -v key="\"$3\":" '
    /"name":/ { name = $0; sub(/.*"name": "/, "", name); sub(/".*/, "", name) }
    name == want && index($0, key) { v = $0; sub(/.*: /, "", v); sub(/,$/, "", v); gsub(/"/, "", v); print v; exit }
  ' "$out/$1.json"
}
row() { printf '%-60s %10s  %-4s %s\n' "$1" "$2" "$3" "${4:-}"; }
num() { awk -v v="$1" 'BEGIN { if (v == "") print "-"; else printf (v + 0 >= 1000 ? "%.0f" : "%.3g"), v }'; }
ratio() { awk -v a="$1" -v b="$2" 'BEGIN { printf (a == "" || b == "" || b == 0 ? "-" : "%.2f"), a / b }'; }

echo
row "figure" "value" "unit" "goal"
row "------------------------------------------------------------" "----------" "----" "----"
clock=BM_PlaybackClockError/iterations:1/real_time
row "playback clock error vs. the speaker, p50" "$(num "$(field mixer $clock p50_ms)")" ms
row "playback clock error vs. the speaker, p99" "$(num "$(field mixer $clock p99_ms)")" ms "<= 2"
row "playback clock error vs. the speaker, max" "$(num "$(field mixer $clock max_ms)")" ms
row "playback clock monotonic (1 = yes)" "$(num "$(field mixer $clock monotonic)")" "" 1
row "chunked stream time error vs. the speaker, p50" "$(num "$(field mixer $clock chunked_p50_ms)")" ms
for notes in 500 5000 50000; do
  tick="BM_LogicTick/notesPerStem:$notes/iterations:1/repeats:3000"
  goal=""; [ "$notes" = 5000 ] && goal="<= 10"
  row "logic tick, 8 stems x $notes notes, median" "$(num "$(field tick "${tick}_median" real_time)")" us "$goal"
  row "logic tick, 8 stems x $notes notes, p99" "$(num "$(field tick "${tick}_p99" real_time)")" us
done
tick=BM_LogicTick/notesPerStem
row "logic tick median, 50,000 notes over 500" \
  "$(ratio "$(field tick "$tick:50000/iterations:1/repeats:3000_median" real_time)" \
           "$(field tick "$tick:500/iterations:1/repeats:3000_median" real_time)")" x "<= 1.5"
for fps in 20 60; do
  press="BM_JudgedTimeError/fps:$fps/iterations:1/real_time"
  row "judged press vs. the clock at the press, $fps fps, p50" "$(num "$(field press "$press" p50_ms)")" ms
  row "judged press vs. the clock at the press, $fps fps, p99" "$(num "$(field press "$press" p99_ms)")" ms "<= 1"
  row "  the same judged at the frame's clock, p99" "$(num "$(field press "$press" at_frame_p99_ms)")" ms
done
row "MIDI dispatch, quiet pass over 8 x 5,000 notes" "$(num "$(field dispatch BM_DispatchQuietPass real_time)")" ns
row "MIDI dispatch, one tick's pass over 8 x 5,000 notes" "$(num "$(field dispatch BM_DispatchTickPass real_time)")" ns
row "background pass, 1920 x 1080" "$(num "$(field render BM_BackgroundFrame/real_time real_time)")" ms
for circles in 1 8 32 64 256; do
  pass="BM_CirclePass/$circles/manual_time"
  goal=""; [ "$circles" = 64 ] && goal="<= 0.5"
  row "circle pass, $circles spread circles" "$(num "$(field render "$pass" real_time)")" ms
  row "circle pass, $circles spread circles, over the background pass" \
    "$(num "$(field render "$pass" over_background)")" x "$goal"
done
row "key label" "$(num "$(field render BM_KeyLabel/real_time real_time)")" us
row "GUI frame, main menu (no swap)" "$(num "$(field gui BM_MainMenuFrame/real_time real_time)")" ms
row "GUI frame, in-game HUD (no swap)" "$(num "$(field gui BM_HudFrame/real_time real_time)")" ms
row "decoding the level (8 x 3 min Ogg), ours" "$(num "$(field mixer BM_DecodeLevelOurs/iterations:3/real_time real_time)")" ms
row "decoding the level, sox" "$(num "$(field mixer BM_DecodeLevelSox/iterations:3/real_time real_time)")" ms
row "loading the level, peak memory over decoded size" \
  "$(num "$(field mixer BM_LoadLevelPeakMemory/iterations:1/real_time peak_over_pcm)")" x
row "mixing one chunk of 8 voices, native speed" "$(num "$(field mixer BM_MixChunk8Voices/1000 real_time)")" us
row "mixing one chunk of 8 voices, share of its duration" \
  "$(num "$(field mixer BM_MixChunk8Voices/1000 percent_of_chunk_duration)")" % "<= 2"
streamed=BM_MixChunk8StreamedVoices/iterations:2000/manual_time
row "mixing one chunk of 8 streamed voices" "$(num "$(field mixer $streamed real_time)")" us
row "mixing one chunk of 8 streamed voices, share of its duration" \
  "$(num "$(field mixer $streamed percent_of_chunk_duration)")" % "<= 2"
row "mixing 8 streamed voices, underruns" "$(num "$(field mixer $streamed underruns)")" "" 0
for level in stereo44k mono11k; do
  load="BM_LoadLongLevel/$level/iterations:1/real_time"
  what="8 x 10 min WAV, 44.1k stereo"; [ "$level" = mono11k ] && what="8 x 10 min WAV, 11k mono"
  row "level start ($what), peak memory" "$(num "$(field level "$load" peak_MiB)")" MiB "<= 400"
  row "level start ($what), longest frame" "$(num "$(field level "$load" longest_frame_ms)")" ms "<= 100"
  row "level start ($what), longest frame's work" "$(num "$(field level "$load" longest_work_ms)")" ms
  row "level start ($what), until it plays" "$(num "$(field level "$load" load_s)")" s
done
quality() { awk -F': ' -v want="$1" '$1 == want { print $2 }' "$out/chart-quality.txt"; }
row "song import, F-measure of drum and bass charts (+-50 ms)" "$(quality "F-measure, drum and bass stems")" "" ">= 0.85"
row "song import, F-measure of all charts (+-50 ms)" "$(quality "F-measure, all stems")" "" ">= 0.75"
row "song import, tempo within 1 % on every level" "$(quality "tempo within 1 % on every level")" "" "yes"
row "song import, mixed song split, F-measure of the drum chart" "$(quality "F-measure, mixed song, drums")" "" ">= 0.85"
row "song import, mixed song split, F-measure of the bass chart" "$(quality "F-measure, mixed song, bass")" "" ">= 0.8"
row "song import, mixed song split, F-measure of all charts" "$(quality "F-measure, mixed song, all stems")" "" ">= 0.75"
separation() { awk -F': ' -v want="$1" '$1 == want { print $2 }' "$out/separation.txt"; }
for part in drums bass rest; do
  goal=">= 1"; [ "$part" = bass ] && goal=">= 2"; [ "$part" = rest ] && goal=">= 7"
  row "song import, SI-SDR of the $part, frequency bands" "$(separation "SI-SDR $part, bands")" dB
  row "song import, SI-SDR of the $part, instrument split" "$(separation "SI-SDR $part, instruments")" dB "$goal"
done
row "song import, instrument split better on every level" "$(separation "instruments better on every level")" "" yes
read -r import_seconds import_kb <"$out/import-time.txt"
decoded_kb=$(( 240 * 44100 * 2 * 4 / 1024 ))
row "song import, four-minute stereo song, wall time" "$(num "$import_seconds")" s "<= 10"
row "song import, peak memory over the decoded song" "$(ratio "$import_kb" "$decoded_kb")" x "<= 2"
awk '/sleep \+ spin/ {
  printf "%-60s %10.3f  %-4s\n", "logic thread rate (sleep + spin)", $5, "1/s"
  printf "%-60s %10.1f  %-4s\n", "logic thread tick start after its deadline, p99", $12, "us"
}' "$out/tickbench.txt"
