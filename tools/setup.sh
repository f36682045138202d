#!/usr/bin/env bash
# Brings a fresh Debian 12 machine to the point where Lumoka builds: system
# packages, SDL3 and Dear ImGui from Debian source packages (built once into a
# cache outside the clone), and the fonts under assets/fonts/.
# Sourced by play.sh and test.sh; exports LUMOKA_SDL3_PREFIX and LUMOKA_IMGUI_DIR.
# The caller's shell options are restored at the end.
lumoka_restore_options=""
for lumoka_option in errexit nounset pipefail; do
  shopt -qo "$lumoka_option" || lumoka_restore_options+="set +o $lumoka_option; "
done
set -euo pipefail

LUMOKA_ROOT=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
# CI may start us without HOME; npm and the cache both need one.
: "${HOME:=$(getent passwd "$(id -u)" | cut -d: -f6)}"
export HOME
LUMOKA_CACHE=${LUMOKA_CACHE:-${XDG_CACHE_HOME:-$HOME/.cache}/lumoka}
SDL3_VERSION=3.2.10+ds-1
IMGUI_VERSION=1.92.2b+ds-1
ORBITRON_PACKAGE=@expo-google-fonts/orbitron@0.4.2

APT_PACKAGES=(
  build-essential cmake ninja-build pkg-config git ca-certificates xz-utils
  libx11-dev libxext-dev libxrandr-dev libxcursor-dev libxi-dev libxss-dev
  libxfixes-dev libxkbcommon-dev libasound2-dev libpulse-dev libgl-dev libegl-dev
  libwayland-dev wayland-protocols libdrm-dev libgbm-dev libudev-dev libdbus-1-dev
  libgl1-mesa-dri
  nlohmann-json3-dev libcpp-httplib-dev libstb-dev libsndfile1-dev libsqlite3-dev libzip-dev
  zlib1g-dev libssl-dev libpq-dev postgresql-15 libboost1.74-dev chromium
  googletest libgtest-dev libbenchmark-dev
  clang libclang-rt-14-dev
  xvfb xauth xdotool imagemagick midicsv sox libsox-fmt-all wrk time
  libfluidsynth-dev timgm6mb-soundfont
  libaubio-dev libavformat-dev libavcodec-dev libswresample-dev libavutil-dev asc-music
  fonts-roboto-unhinted
)

step_started=0
step() { step_started=$(date +%s%N); printf '[setup] %s...\n' "$1"; }
step_done() { local ms=$(( ($(date +%s%N) - step_started) / 1000000 )); printf '[setup]   done in %d.%01d s\n' $((ms / 1000)) $((ms % 1000 / 100)); }

install_packages() {
  local missing=()
  for p in "${APT_PACKAGES[@]}"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
  done
  command -v npm >/dev/null || missing+=(npm)
  [ ${#missing[@]} -eq 0 ] && return 0
  step "installing ${#missing[@]} Debian packages: ${missing[*]}"
  local sudo=""; [ "$(id -u)" -ne 0 ] && sudo=sudo
  $sudo apt-get update -qq
  DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
  step_done
}

# Downloads Debian source packages with a private apt state, leaving the system's
# sources untouched; apt verifies the files against the signed index.
fetch_sources() {
  local d=$LUMOKA_CACHE/apt
  mkdir -p "$d/lists/partial" "$d/cache/archives/partial" "$LUMOKA_CACHE/src"
  local uri key=/usr/share/keyrings/debian-archive-keyring.gpg
  uri=$(awk '/^URIs:/{print $2; exit}' /etc/apt/sources.list.d/debian.sources 2>/dev/null || true)
  [ -n "$uri" ] || uri=$(awk '/^deb /{print $2; exit}' /etc/apt/sources.list)
  for suite in trixie forky sid; do echo "deb-src [signed-by=$key] $uri $suite main"; done > "$d/sources.list"
  local o=(-o "Dir::Etc::SourceList=$d/sources.list" -o Dir::Etc::SourceParts=/dev/null
           -o "Dir::State::Lists=$d/lists" -o "Dir::Cache=$d/cache")
  apt-get "${o[@]}" -qq update
  (cd "$LUMOKA_CACHE/src" && apt-get "${o[@]}" -qq source --download-only "$@")
}

build_sdl3() {
  local key; key=$(printf '%s\n' "$SDL3_VERSION" "$(declare -f build_sdl3)" | sha256sum | cut -c1-12)
  LUMOKA_SDL3_PREFIX=$LUMOKA_CACHE/sdl3-$key
  [ -f "$LUMOKA_SDL3_PREFIX/.complete" ] && return 0
  step "building SDL3 $SDL3_VERSION into $LUMOKA_SDL3_PREFIX"
  local upstream=${SDL3_VERSION%%+*}
  local tarball="$LUMOKA_CACHE/src/libsdl3_${SDL3_VERSION%-*}.orig.tar.xz"
  [ -f "$tarball" ] || fetch_sources "libsdl3=$SDL3_VERSION"
  local work; work=$(mktemp -d)
  tar -xf "$tarball" -C "$work"
  local srcdir; srcdir=$(find "$work" -maxdepth 1 -mindepth 1 -type d | head -1)
  cmake -S "$srcdir" -B "$work/build" -G Ninja -DCMAKE_BUILD_TYPE=Release \
    -DCMAKE_INSTALL_PREFIX="$LUMOKA_SDL3_PREFIX" -DSDL_TESTS=OFF -DSDL_EXAMPLES=OFF \
    -DSDL_STATIC=OFF >"$work/configure.log"
  cmake --build "$work/build" >"$work/build.log"
  cmake --install "$work/build" >/dev/null
  echo "$upstream" > "$LUMOKA_SDL3_PREFIX/.complete"
  rm -rf "$work"
  step_done
}

fetch_imgui() {
  local key; key=$(printf '%s\n' "$IMGUI_VERSION" "$(declare -f fetch_imgui)" | sha256sum | cut -c1-12)
  LUMOKA_IMGUI_DIR=$LUMOKA_CACHE/imgui-$key
  [ -f "$LUMOKA_IMGUI_DIR/.complete" ] && return 0
  step "fetching Dear ImGui $IMGUI_VERSION"
  local tarball="$LUMOKA_CACHE/src/imgui_${IMGUI_VERSION%-*}.orig.tar.xz"
  [ -f "$tarball" ] || fetch_sources "imgui=$IMGUI_VERSION"
  rm -rf "$LUMOKA_IMGUI_DIR"; mkdir -p "$LUMOKA_IMGUI_DIR"
  tar -xf "$tarball" -C "$LUMOKA_IMGUI_DIR" --strip-components=1
  [ -f "$LUMOKA_IMGUI_DIR/backends/imgui_impl_sdl3.cpp" ] || { echo "imgui source lacks the SDL3 back end" >&2; exit 1; }
  touch "$LUMOKA_IMGUI_DIR/.complete"
  step_done
}

install_fonts() {
  local fonts=$LUMOKA_ROOT/assets/fonts roboto=/usr/share/fonts/truetype/roboto/unhinted/RobotoTTF
  mkdir -p "$fonts"
  for f in Regular Bold Medium; do
    [ -f "$fonts/Roboto-$f.ttf" ] || cp "$roboto/Roboto-$f.ttf" "$fonts/"
  done
  [ -f "$fonts/Orbitron-Regular.ttf" ] && return 0
  local cached=$LUMOKA_CACHE/fonts/Orbitron-Regular.ttf
  if [ ! -f "$cached" ]; then
    step "fetching $ORBITRON_PACKAGE from npm"
    local work; work=$(mktemp -d)
    (cd "$work" && npm pack --silent "$ORBITRON_PACKAGE" >/dev/null && tar -xzf ./*.tgz)
    mkdir -p "$(dirname "$cached")"
    cp "$work/package/400Regular/Orbitron_400Regular.ttf" "$cached"
    rm -rf "$work"
    step_done
  fi
  cp "$cached" "$fonts/Orbitron-Regular.ttf"
}

install_packages
build_sdl3
fetch_imgui
install_fonts
export LUMOKA_ROOT LUMOKA_CACHE LUMOKA_SDL3_PREFIX LUMOKA_IMGUI_DIR
eval "$lumoka_restore_options"
unset lumoka_restore_options lumoka_option
