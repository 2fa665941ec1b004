#!/usr/bin/env bash
# Installs what is missing, builds the simulated device (with both deliverables and the sound pack) and
# the device package, and runs the simulated device's tour. ./test.sh builds the rest (the tests).
# RAVELO_BUILD_LD64=1 also builds Apple's linker first (once per machine, about 10 minutes), so that
# the device package gets its arm64e slice too.
set -euo pipefail
cd "$(dirname "$0")"
bash .ci/install-deps
if [ "${RAVELO_BUILD_LD64:-0}" = 1 ]; then
  package/toolchain/build-ld64 >/dev/null
fi
cmake -S . -B build -DCMAKE_BUILD_TYPE=RelWithDebInfo
# Only what the tour and the package need: the test programs are built by test.sh.
targets=(--target ravelo-sim)
if cmake --build build --target help | grep '^\.\.\. ravelo_deb$' >/dev/null; then
  targets+=(--target ravelo_deb)
fi
cmake --build build -j"$(nproc)" "${targets[@]}"
status=0
if [ -x build/sim/ravelo-sim ]; then
  build/sim/ravelo-sim "$@" || status=$?
fi
if ! package/toolchain/build-ld64 --find >/dev/null; then
  cat >&2 <<'NOTE'
setup: the device package (build/package/deb/) has the arm64 slice only: A11 and older iPhones.
  For every iPhone, build Apple's linker once (about 10 minutes), then build again:
    RAVELO_BUILD_LD64=1 ./setup.sh     (or: package/toolchain/build-ld64 && cmake --build build)
NOTE
fi
exit "$status"
