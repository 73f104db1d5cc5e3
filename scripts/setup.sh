#!/usr/bin/env bash
# Installs the Debian packages that building, running and testing Rovena need (only the
# missing ones), then configures and builds into build/ (or the folder given as $1 with
# extra CMake arguments after it). Run as root on Debian 12.
set -euo pipefail
cd "$(dirname "$0")/.."

packages=(
  build-essential cmake ninja-build pkg-config binutils
  qt6-base-dev libgl-dev libgtest-dev libgmock-dev libbenchmark-dev libgif-dev
  ffmpeg xvfb xauth x11-utils fonts-liberation fonts-urw-base35
  gpsbabel libxml2-utils jq clang libclang-rt-14-dev nlohmann-json3-dev python3
  libsqlite3-dev libpq-dev libssl-dev openssl postgresql-15 postgresql-15-postgis-3
  libavcodec-dev libavformat-dev libavfilter-dev libswscale-dev libavutil-dev fonts-dejavu-core
  libopencv-dev opencv-data libfreetype-dev
  libexif-dev qt6-translations-l10n libimage-exiftool-perl libabsl-dev
)
missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
  echo "Installing: ${missing[*]}"
  if [ "$(id -u)" -ne 0 ]; then echo "Run as root to install packages." >&2; exit 1; fi
  apt-get update -qq
  DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends "${missing[@]}"
fi

build_dir=${1:-build}
shift || true
cmake -S . -B "$build_dir" -G Ninja -DROVENA_WERROR=ON "$@" > "$build_dir.configure.log" 2>&1 ||
  { cat "$build_dir.configure.log"; exit 1; }
cmake --build "$build_dir"
