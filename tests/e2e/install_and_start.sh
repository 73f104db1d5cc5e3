#!/usr/bin/env bash
# Installs the build into a temporary prefix and checks the result as a desktop user gets it:
# the programs, the block library in the library folder (found through the programs' run
# path, not the build tree), the desktop entry and the icon; then starts the installed
# viewer offscreen on a recording for a few seconds.
# Usage: install_and_start.sh BIN_DIR SOURCE_DIR
set -euo pipefail
bin_dir=$(cd "$1" && pwd)
build_dir=$(dirname "$bin_dir")
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
prefix="$work/prefix"

fail() { echo "FAIL: $*" >&2; exit 1; }

cmake --install "$build_dir" --prefix "$prefix" >/dev/null
for f in bin/Rovena bin/rovena-cli share/applications/rovena.desktop \
         share/icons/hicolor/scalable/apps/rovena.svg; do
  [[ -e "$prefix/$f" ]] || fail "$f not installed"
done
library=$(find "$prefix" -name libKorvelMpeg.so -print -quit)
[[ -n "$library" ]] || fail "libKorvelMpeg.so not installed"

desktop="$prefix/share/applications/rovena.desktop"
grep -qx 'Exec=Rovena %f' "$desktop" || fail "desktop entry does not start Rovena with a file"
grep -qx 'MimeType=video/mpeg;' "$desktop" || fail "desktop entry does not offer MPEG files"
grep -qx 'Icon=rovena' "$desktop" || fail "desktop entry names another icon"
if command -v desktop-file-validate >/dev/null; then desktop-file-validate "$desktop"; fi
if command -v xmllint >/dev/null; then xmllint --noout "$prefix/share/icons/hicolor/scalable/apps/rovena.svg"; fi

unset LD_LIBRARY_PATH
# An empty or relative run path entry makes the loader look in the current folder, where
# anyone may have left a library: built and installed programs search absolute folders only.
for program in "$bin_dir/Rovena" "$bin_dir/rovena-cli" "$prefix/bin/Rovena" "$prefix/bin/rovena-cli"; do
  LD_TRACE_LOADED_OBJECTS=1 LD_DEBUG=libs "$program" 2>"$work/search.log" >/dev/null || true
  grep -q 'search path=' "$work/search.log" || fail "no library search was traced for $program"
  relative=$(grep -o 'search path=[^[:space:]]*' "$work/search.log" | cut -d= -f2 | tr ':' '\n' | grep -v '^/' || true)
  [[ -z "$relative" ]] || fail "$program searches for libraries relative to the current folder"
done

# A recording to open, written by the installed command-line program.
"$prefix/bin/rovena-cli" demo "$work/demo" --pictures 12 >/dev/null
# Decoding needs the block library: frames only come out when the installed program finds it.
"$prefix/bin/rovena-cli" frames "$work/demo/demo.m1v" -o "$work/frames" --count 2 >/dev/null
[[ -s "$work/frames/frame00002.bmp" ]] || fail "installed rovena-cli decoded no picture"
LD_DEBUG=libs "$prefix/bin/rovena-cli" frames "$work/demo/demo.m1v" -o "$work/frames" --count 1 --force 2>"$work/ld.log" >/dev/null
grep -q "calling init: $prefix/.*libKorvelMpeg.so" "$work/ld.log" || fail "the block library was not taken from the install prefix"

# The viewer, with its settings kept inside the temporary folder, must still be running
# after a few seconds (timeout's status 124) instead of having crashed or exited.
export HOME="$work/home" XDG_CONFIG_HOME="$work/home/.config" QT_QPA_PLATFORM=offscreen
mkdir -p "$XDG_CONFIG_HOME"
status=0
timeout 4 "$prefix/bin/Rovena" "$work/demo/demo.m1v" >"$work/viewer.log" 2>&1 || status=$?
[[ $status -eq 124 ]] || { cat "$work/viewer.log" >&2; fail "installed Rovena ended with status $status"; }
echo "installed into $prefix and started Rovena"
