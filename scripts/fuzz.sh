#!/usr/bin/env bash
# Builds the libFuzzer targets with clang in build-fuzz and runs each for the given number of
# seconds on seeds made from fresh recordings. Exits non-zero when a target finds a fault; the
# input that shows it is left in build-fuzz/findings/.
#
# Usage: scripts/fuzz.sh [SECONDS_PER_TARGET] [JOBS]
set -euo pipefail
cd "$(dirname "$0")/.."
seconds=${1:-60}
jobs=${2:-1}
build=build-fuzz

CC=clang CXX=clang++ cmake -S . -B "$build" -G Ninja -DROVENA_FUZZ=ON -DROVENA_SANITIZE=ON \
  -DROVENA_BUILD_GUI=OFF -DROVENA_BUILD_BENCH=OFF -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DCMAKE_C_FLAGS=-fsanitize=fuzzer-no-link -DCMAKE_CXX_FLAGS=-fsanitize=fuzzer-no-link \
  > "$build.configure.log" 2>&1 || { cat "$build.configure.log"; exit 1; }
cmake --build "$build" --target fuzz_all

bin=$build/bin
work=$build/fuzz-work
rm -rf "$work/seeds"
mkdir -p "$work/seeds" "$build/findings"
# Real pictures from ffmpeg's encoder (intra only, quantiser 8, one slice), besides our own.
streams=()
for size in 640x480 320x240; do
  stream=$work/seeds-$size.m1v
  ffmpeg -nostdin -loglevel error -y -f lavfi -i "testsrc2=size=$size:rate=25" -frames:v 3 \
    -c:v mpeg1video -threads 1 -g 1 -qscale:v 8 -qmin 8 -qmax 8 -f mpeg1video "$stream"
  streams+=("$stream")
done
"$bin/fuzz_make_seeds" "$work/seeds" "${streams[@]}"

status=0
parallel=()
[ "$jobs" -gt 1 ] && parallel=(-jobs="$jobs" -workers="$jobs")
run() {
  local target=$1 seeds=$2 max_len=$3
  local corpus=$work/corpus-$seeds
  mkdir -p "$corpus"
  rm -f "$work"/fuzz-*.log
  echo "== $target: ${seconds}s"
  if ! (cd "$work" && UBSAN_OPTIONS=halt_on_error=1:print_stacktrace=1 ASAN_OPTIONS=detect_leaks=1 \
        "../bin/$target" -max_total_time="$seconds" -max_len="$max_len" -timeout=10 -rss_limit_mb=2048 \
        "${parallel[@]}" -print_final_stats=1 -artifact_prefix="../findings/$target-" \
        "corpus-$seeds" "seeds/$seeds" > "$target.log" 2>&1); then
    echo "$target FOUND A FAULT (see $build/findings and $work/$target.log):"
    grep -E "ERROR|runtime error|SUMMARY|abort|differ|says" "$work/$target.log" | head -20 || tail -30 "$work/$target.log"
    status=1
  fi
  grep -hE "stat::number_of_executed_units|Done [0-9]+ runs" "$work/$target.log" "$work"/fuzz-*.log 2>/dev/null | tail -1 || true
}
run fuzz_picture_decoder decoder 120000
run fuzz_recording_search search 65536
run fuzz_gps_sentence gps 512
run fuzz_ini_config ini 4096
exit $status
