#!/usr/bin/env bash
# Builds the host tree twice (plain, and with AddressSanitizer + UndefinedBehaviorSanitizer) and runs
# every test in both, then a short run of the fuzz targets in their own clang build. Run setup.sh (or
# .ci/install-deps) once first on a fresh machine.
set -euo pipefail
cd "$(dirname "$0")"
jobs=$(nproc)
cmake -S . -B build -DCMAKE_BUILD_TYPE=RelWithDebInfo
cmake --build build -j"$jobs"
ctest --test-dir build --output-on-failure -j"$jobs"

cmake -S . -B build-asan -DCMAKE_BUILD_TYPE=Debug -DRAVELO_SANITIZE=ON
cmake --build build-asan -j"$jobs"
export ASAN_OPTIONS=detect_leaks=1 UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
export LSAN_OPTIONS="suppressions=$PWD/tests/lsan.supp"
ctest --test-dir build-asan --output-on-failure -j"$jobs"

cmake -S . -B build-fuzz -DRAVELO_FUZZ=ON -DCMAKE_C_COMPILER=clang-19 -DCMAKE_CXX_COMPILER=clang++-19
cmake --build build-fuzz --target plist_fuzz macho_fuzz tbd_fuzz -j"$jobs"
ctest --test-dir build-fuzz -L fuzz-smoke --output-on-failure
