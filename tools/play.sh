#!/usr/bin/env bash
# Builds Lumoka and starts it from the assets folder. Unless LUMOKA_SERVER_URL
# names a leaderboard server, a local lumoka-server runs in the background for
# as long as the game does.
set -euo pipefail
cd "$(dirname "${BASH_SOURCE[0]}")/.."
source tools/setup.sh
cmake --preset release >/dev/null
cmake --build --preset release --target lumoka lumoka-server
if [ -f tools/generate-levels.sh ]; then
  cmake --build --preset release --target levelgen
  bash tools/generate-levels.sh build/release
fi
# Mesa's software renderer reports 4.5; the game asks for a 4.6 core context.
export MESA_GL_VERSION_OVERRIDE=${MESA_GL_VERSION_OVERRIDE:-4.6}
export MESA_GLSL_VERSION_OVERRIDE=${MESA_GLSL_VERSION_OVERRIDE:-460}
# Without a sound server or card SDL finds no playback device and the game
# refuses to start; play silently instead, and say so.
if [ -z "${SDL_AUDIO_DRIVER:-}" ] && [ ! -d /dev/snd ] && [ -z "${PULSE_SERVER:-}" ] \
   && [ ! -S "${XDG_RUNTIME_DIR:-/nonexistent}/pulse/native" ] && [ ! -S "${XDG_RUNTIME_DIR:-/nonexistent}/pipewire-0" ]; then
  echo "[play] no sound device found: playing without sound (SDL_AUDIO_DRIVER=dummy)"
  export SDL_AUDIO_DRIVER=dummy
fi
if [ -z "${DISPLAY:-}" ] && [ -z "${WAYLAND_DISPLAY:-}" ]; then
  echo "[play] no display: set DISPLAY (X11) or WAYLAND_DISPLAY to play" >&2
  exit 1
fi
if [ -z "${LUMOKA_SERVER_URL:-}" ]; then
  server_log=build/release/lumoka-server.log
  build/release/server/lumoka-server >"$server_log" 2>&1 &
  server_pid=$!
  trap 'kill "$server_pid" 2>/dev/null && wait "$server_pid" 2>/dev/null; true' EXIT
  sleep 0.3
  if kill -0 "$server_pid" 2>/dev/null; then
    echo "[play] local leaderboard server on http://127.0.0.1:5866/api (log: $server_log)"
  else
    echo "[play] local leaderboard server did not start: $(tail -1 "$server_log")"
  fi
fi
cd assets
status=0
../build/release/lumoka || status=$?
exit "$status"
