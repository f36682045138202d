#!/usr/bin/env bash
# Makes the game's levels under assets/levels with the level generator, unless
# they are there already and were made by the same generator: the output is
# stamped with a hash of the generator's sources and the soundfont. The
# generator itself writes each level into a temporary folder and renames it, so
# an interrupted run leaves whole levels only (and no stamp, so it runs again).
# Usage: tools/generate-levels.sh <built levelgen, or the build folder holding it>
set -euo pipefail

root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
levelgen=${1:-}
[ -d "$levelgen" ] && levelgen=$levelgen/tools/levelgen/levelgen
if [ -z "$levelgen" ] || [ ! -x "$levelgen" ]; then
  echo "generate-levels: '${levelgen}' is not the built levelgen (build the levelgen target; usage: tools/generate-levels.sh <build folder or levelgen>)" >&2
  exit 2
fi
out=$root/assets/levels
soundfont=/usr/share/sounds/sf2/TimGM6mb.sf2
stamp=$out/.levelgen-hash

key=$(cd "$root" && {
  find tools/levelgen -type f -print0 | sort -z | xargs -0 sha256sum
  stat -c '%n %s %Y' "$soundfont" 2>/dev/null || echo "no soundfont"
} | sha256sum | cut -c1-16)

complete() {
  local f
  for f in level.json levels.json default sample_a.zip sample_b.zip sample_c.zip tutorialsong; do
    [ -e "$out/$f" ] || return 1
  done
}

if [ -f "$stamp" ] && [ "$(cat "$stamp")" = "$key" ] && complete; then
  echo "[levels] up to date in $out"
  exit 0
fi

echo "[levels] generating into $out..."
started=$(date +%s%N)
mkdir -p "$out"
rm -f "$stamp"
"$levelgen" "$out"
echo "$key" > "$stamp"
ms=$(( ($(date +%s%N) - started) / 1000000 ))
printf '[levels]   done in %d.%01d s\n' $((ms / 1000)) $((ms % 1000 / 100))
