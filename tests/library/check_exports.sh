#!/usr/bin/env bash
# The block library exports exactly its seven functions and needs no C++ runtime.
set -euo pipefail
lib="$1"
expected="CopyBlockCifC CopyBlockCifY CopyBlockVgaC CopyBlockVgaY IZZQ Idct YUVtoRGB"
actual=$(nm -D --defined-only "$lib" | awk '$2 == "T" {print $3}' | sort | tr '\n' ' ' | sed 's/ $//')
others=$(nm -D --defined-only "$lib" | awk '$2 != "T" && $2 != "A" {print $3}' | tr '\n' ' ')
if [ "$actual" != "$expected" ] || [ -n "$others" ]; then
  echo "exports differ: got '$actual', other symbols '$others'"; exit 1
fi
if ldd "$lib" | grep -Eq 'libstdc\+\+|libc\+\+|libgcc_s'; then
  if ! ldd "$lib" | grep -q 'libasan'; then
    echo "library depends on a C++ runtime:"; ldd "$lib"; exit 1
  fi
fi
echo "exports and dependencies OK"
