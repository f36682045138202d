#!/usr/bin/env bash
# Checks that folders include downward only, builds Lumoka and runs every test:
# the release build's unit, GL and end-to-end tests (GL in a real window under
# Xvfb, audio through SDL's dummy driver), the unit tests again under
# AddressSanitizer + UndefinedBehaviorSanitizer, the threaded tests under
# ThreadSanitizer, and a bounded fuzzing run.
set -euo pipefail
cd "$(dirname "${BASH_SOURCE[0]}")/.."
source tools/setup.sh

started=0
phase() { started=$(date +%s); echo "== $1"; }
phase_done() { echo "   ($(( $(date +%s) - started )) s)"; }

build() {
  phase "building preset $1"
  cmake --preset "$1" >/dev/null
  cmake --build --preset "$1"
  phase_done
}

start_display() {
  [ -n "${DISPLAY:-}" ] && return 0
  local n
  for n in $(seq 90 120); do [ -e "/tmp/.X11-unix/X$n" ] || break; done
  Xvfb ":$n" -screen 0 1920x1080x24 -nolisten tcp >/dev/null 2>&1 &
  XVFB_PID=$!
  trap 'kill $XVFB_PID 2>/dev/null || true' EXIT
  export DISPLAY=":$n"
  for _ in $(seq 50); do [ -e "/tmp/.X11-unix/X$n" ] && return 0; sleep 0.1; done
}

export MESA_GL_VERSION_OVERRIDE=4.6 MESA_GLSL_VERSION_OVERRIDE=460 SDL_AUDIO_DRIVER=dummy
CTEST=(ctest --output-on-failure --timeout 300 --no-tests=error)

phase "include graph between top-level folders"
bash tools/check-includes.sh
phase_done

build release
if [ -f tools/generate-levels.sh ]; then bash tools/generate-levels.sh build/release; fi
start_display

phase "unit tests (release)"
"${CTEST[@]}" --test-dir build/release -LE 'gl|e2e' -j2
phase_done
# One window at a time: the display server is shared by every GL test.
phase "GL tests (release)"
"${CTEST[@]}" --test-dir build/release -L gl
phase_done
phase "end-to-end tests (release)"
"${CTEST[@]}" --test-dir build/release -L e2e
phase_done

build asan
phase "unit tests under ASan+UBSan"
ASAN_OPTIONS=detect_leaks=1:abort_on_error=1 UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
LSAN_OPTIONS=suppressions=$PWD/tests/sanitizers/lsan.supp:print_suppressions=0 \
  "${CTEST[@]}" --test-dir build/asan -L unit -j2
phase_done

build tsan
phase "threaded tests under ThreadSanitizer"
TSAN_OPTIONS=halt_on_error=1:suppressions=$PWD/tests/sanitizers/tsan.supp "${CTEST[@]}" --test-dir build/tsan -L tsan
phase_done

phase "fuzzing the MIDI reader, the leaderboard document, the server's requests, the level list, the preferences and package archives, and replays"
bash tools/fuzz.sh 60 midi_parse_fuzzer
bash tools/fuzz.sh 30 leaderboard_document_fuzzer server_api_fuzzer level_list_fuzzer prefs_fuzzer
bash tools/fuzz.sh 20 package_archive_fuzzer replay_fuzzer
phase_done
echo "== all tests passed"
