#!/usr/bin/env bash
# Set-up, build and the whole test suite: once in the normal build, once under
# AddressSanitizer and UndefinedBehaviorSanitizer. Exits non-zero on any failure.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/setup.sh build
bash scripts/setup.sh build-asan -DROVENA_SANITIZE=ON -DROVENA_BUILD_BENCH=OFF -DCMAKE_BUILD_TYPE=Debug

export QT_QPA_PLATFORM=offscreen
jobs=$(nproc)
echo "== Sanitizer build =="
(cd build-asan && ASAN_OPTIONS=detect_leaks=1:abort_on_error=1 UBSAN_OPTIONS=print_stacktrace=1 \
  ctest --output-on-failure -j "$jobs")
bash scripts/fuzz.sh 45
echo "== Release build =="
(cd build && ctest --output-on-failure -j "$jobs")
