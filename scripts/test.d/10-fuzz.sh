#!/usr/bin/env bash
# Builds the libFuzzer targets with clang and runs each for a bounded time. Findings fail the run.
# The project and stream parsers (the files users receive) run ZOV_FUZZ_SECONDS each
# (default 60); the other targets half that, to keep the test command short.
set -euo pipefail
top=$(cd "$(dirname "$0")/../.." && pwd)
[ -f "$top/tests/fuzz/CMakeLists.txt" ] || { echo "no fuzz targets"; exit 0; }
CC=clang CXX=clang++ "$top/scripts/build.sh" build-fuzz -DZOV_FUZZ=ON -DZOV_TESTS=OFF -DZOV_BENCH=OFF \
  -DCMAKE_BUILD_TYPE=RelWithDebInfo
full=${ZOV_FUZZ_SECONDS:-60}
shopt -s nullglob
for fuzzer in "$top"/build-fuzz/fuzz/fuzz_*; do
  name=$(basename "$fuzzer")
  case "$name" in
    fuzz_project|fuzz_stream) secs=$full ;;
    *) secs=$(( (full + 1) / 2 )) ;;
  esac
  corpus="$top/build-fuzz/fuzz-corpus/$name"
  seeds="$top/tests/fuzz/corpus/${name#fuzz_}"
  mkdir -p "$corpus"
  [ -d "$seeds" ] && cp -n "$seeds"/* "$corpus"/ 2>/dev/null || true
  echo "-- $name for ${secs}s"
  log="$top/build-fuzz/$name.log"
  rc=0
  ASAN_OPTIONS=detect_leaks=1 "$fuzzer" -max_total_time="$secs" -rss_limit_mb=2048 -malloc_limit_mb=512 \
    -print_final_stats=1 "$corpus" >"$log" 2>&1 || rc=$?
  grep -E 'stat::number_of_executed_units|stat::peak_rss_mb|ERROR|SUMMARY' "$log" || true
  if [ "$rc" -ne 0 ]; then tail -60 "$log"; echo "$name found a fault"; exit 1; fi
done
