#!/usr/bin/env bash
# Builds Lumoka and starts it from the assets folder.
set -euo pipefail
cd "$(dirname "${BASH_SOURCE[0]}")/.."
source tools/setup.sh
cmake --preset release >/dev/null
cmake --build --preset release --target lumoka
if [ -f tools/generate-levels.sh ]; then
  cmake --build --preset release --target levelgen
  bash tools/generate-levels.sh build/release
fi
# Mesa's software renderer reports 4.5; the game asks for a 4.6 core context.
export MESA_GL_VERSION_OVERRIDE=${MESA_GL_VERSION_OVERRIDE:-4.6}
export MESA_GLSL_VERSION_OVERRIDE=${MESA_GLSL_VERSION_OVERRIDE:-460}
cd assets
exec ../build/release/lumoka
