#!/usr/bin/env bash
# Installs, builds and runs every test: the normal build, the sanitizer build, the fuzzers,
# and each extra suite in scripts/test.d/ (run in name order, each given the build folders).
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
cd "$top"
start=$(date +%s)
"$top/scripts/install-deps.sh"

echo "== lint"
for check in "$top"/scripts/lint/check-*.sh; do
  bash "$check"
done

echo "== build (release with debug info)"
"$top/scripts/build.sh" build
echo "== tests"
ctest --test-dir build --output-on-failure -j "$(nproc)" --timeout 600

echo "== build (AddressSanitizer + UndefinedBehaviorSanitizer)"
"$top/scripts/build.sh" build-asan -DZOV_SANITIZE=ON -DZOV_BENCH=OFF -DCMAKE_BUILD_TYPE=Debug
echo "== tests under sanitizers"
ASAN_OPTIONS=detect_leaks=1:abort_on_error=1 UBSAN_OPTIONS=print_stacktrace=1 \
  ctest --test-dir build-asan --output-on-failure -j "$(nproc)" --timeout 900 -LE no-sanitize

for suite in "$top"/scripts/test.d/*.sh; do
  [ -e "$suite" ] || continue
  echo "== $(basename "$suite")"
  bash "$suite"
done
echo "== all tests passed in $(( $(date +%s) - start )) s"
