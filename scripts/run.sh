#!/usr/bin/env bash
# Set-up, build, the demo recordings and map, and Rovena started on the first recording of the
# demo trip (three recordings of one drive with a stop between the second and the third).
# The map goes beside the Rovena executable, where the program looks for it.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/setup.sh build
demo=build/demo
if [ ! -f "$demo/demo.m1v" ] || [ ! -f "$demo/map.gif" ] || [ ! -f "$demo/trip/140500.m1v" ]; then
  build/bin/rovena-cli demo "$demo" --force
fi
cp -f "$demo/map.gif" build/bin/map.gif
if [ -z "${DISPLAY:-}" ] && [ -z "${WAYLAND_DISPLAY:-}" ] && [ -z "${QT_QPA_PLATFORM:-}" ]; then
  echo "No display found: run this from a desktop session (or set DISPLAY)." >&2
  exit 1
fi
exec build/bin/Rovena "$PWD/$demo/trip/140500.m1v"
