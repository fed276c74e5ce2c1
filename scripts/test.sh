#!/usr/bin/env bash
# Builds everything and runs the test suite twice: a normal optimised build,
# then a build with AddressSanitizer and UndefinedBehaviorSanitizer.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/setup.sh
jobs=$(nproc)

cmake -S . -B build -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build build -j"$jobs"

cmake -S . -B build-asan -DCMAKE_BUILD_TYPE=Debug -DKAV_SANITIZE=ON -DKAV_BENCH=OFF >/dev/null
cmake --build build-asan -j"$jobs"

echo "== tests (sanitizers) =="
(cd build-asan && ASAN_OPTIONS=detect_leaks=1 UBSAN_OPTIONS=print_stacktrace=1 \
  ctest --output-on-failure -j"$jobs")
echo "== tests =="
(cd build && ctest --output-on-failure -j"$jobs")
