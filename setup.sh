#!/usr/bin/env bash
# Installs what is missing, builds Apple's linker (once per machine: the arm64e slice needs it), the
# simulated device (with both deliverables and the sound pack) and the device package for every
# iPhone, and runs the simulated device's tour. ./test.sh builds the rest (the tests).
# RAVELO_ARM64_ONLY=1 skips the linker, for a quicker first look: the package then has the arm64
# slice alone (A11 and older iPhones).
set -euo pipefail
cd "$(dirname "$0")"
bash .ci/install-deps

ld64_failed=0
if [ "${RAVELO_ARM64_ONLY:-0}" = 1 ]; then
  echo "setup: RAVELO_ARM64_ONLY=1: not building Apple's linker" >&2
elif ! package/toolchain/build-ld64 --find >/dev/null; then
  echo "setup: building Apple's linker for the arm64e slice, once per machine (RAVELO_ARM64_ONLY=1 skips it)" >&2
  package/toolchain/build-ld64 >/dev/null || ld64_failed=1
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

# What was made: the package and the slices of the binaries it holds.
version=$(sed -n 's/^Version:[[:space:]]*//p' package/layout/control)
deb=build/package/deb/xyz.dorvu.ravelo_${version}_iphoneos-arm64.deb
slices=""
if [ -f "$deb" ] && [ -x build/tools/macho-slices ]; then
  slices=$(build/tools/macho-slices build/package/device/Ravelo.dylib) && slices=${slices#*: }
fi
echo
if [ ! -f "$deb" ]; then
  echo "setup: no device package was built (the reason is in CMake's output above)"
elif [ "$slices" = "arm64 arm64e" ]; then
  echo "setup: device package $deb"
  echo "  slices arm64 + arm64e: every iPhone (A11 and older, A12 and later)"
else
  echo "setup: device package $deb"
  echo "  slices ${slices:-unknown}: A11 and older iPhones only; A12 and later refuse it (its preinst says so)"
  if [ "$ld64_failed" = 0 ] && ! package/toolchain/build-ld64 --find >/dev/null; then
    echo "  For every iPhone: ./setup.sh without RAVELO_ARM64_ONLY=1 (it builds Apple's linker once)"
  elif [ "$ld64_failed" = 0 ]; then
    echo "  The device build's note above says why there is no arm64e slice"
  fi
fi
if [ "$ld64_failed" = 1 ]; then
  echo "setup: Apple's linker could not be built (the reason is above), so there is no arm64e slice" >&2
  status=1
fi
exit "$status"
