#!/usr/bin/env bash
# Sets everything up on a fresh Debian 12 machine, builds, and runs the whole test suite:
# the fuzz targets for a short while (their clang build also checks the locking
# annotations), the core tests under AddressSanitizer and UndefinedBehaviorSanitizer
# and under ThreadSanitizer, and finally every test of the Release build.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/setup-deps.sh
jobs="$(nproc)"

scripts/build.sh

cmake -S . -B build-asan -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DZEL_SANITIZE=ON -DZEL_WITH_QT=OFF -DZEL_BENCH=OFF >/dev/null
cmake --build build-asan --parallel "$jobs"

cmake -S . -B build-tsan -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DZEL_TSAN=ON -DZEL_WITH_QT=OFF -DZEL_BENCH=OFF >/dev/null
cmake --build build-tsan --parallel "$jobs"

CC=clang CXX=clang++ cmake -S . -B build-fuzz -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DZEL_FUZZ=ON -DZEL_WITH_QT=OFF -DZEL_BENCH=OFF -DZEL_TESTS=OFF >/dev/null
cmake --build build-fuzz --parallel "$jobs"
scripts/fuzz.sh build-fuzz 60

export ASAN_OPTIONS=detect_leaks=1:abort_on_error=0
export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
(cd build-asan && ctest --output-on-failure -j "$jobs")
(cd build-tsan && TSAN_OPTIONS=halt_on_error=1:second_deadlock_stack=1 \
  ctest --output-on-failure -j "$jobs")
(cd build && ctest --output-on-failure -j "$jobs")
