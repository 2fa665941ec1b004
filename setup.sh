#!/usr/bin/env bash
# Installs what is missing, builds everything, and runs the simulated device's tour.
set -euo pipefail
cd "$(dirname "$0")"
bash .ci/install-deps
cmake -S . -B build -DCMAKE_BUILD_TYPE=RelWithDebInfo
cmake --build build -j"$(nproc)"
if [ -x build/sim/ravelo-sim ]; then
  build/sim/ravelo-sim "$@"
fi
