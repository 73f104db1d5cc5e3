#!/usr/bin/env bash
# Set-up, build, the demo recordings and map, and Rovena started on the demo recording.
# The map goes beside the Rovena executable, where the program looks for it.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/setup.sh build
demo=build/demo
if [ ! -f "$demo/demo.m1v" ] || [ ! -f "$demo/map.gif" ]; then
  build/bin/rovena-cli demo "$demo"
fi
cp -f "$demo/map.gif" build/bin/map.gif
if [ -z "${DISPLAY:-}" ] && [ -z "${WAYLAND_DISPLAY:-}" ] && [ -z "${QT_QPA_PLATFORM:-}" ]; then
  echo "No display found: run this from a desktop session (or set DISPLAY)." >&2
  exit 1
fi
exec build/bin/Rovena "$PWD/$demo/demo.m1v"
