// What the emulator's own pointer signing costs (not a CTest test): build emulated_bench and run it.
// The emulator signs and authenticates (QARMA-64 in C++) every function pointer it hands the device
// binaries or takes from them on arm64e. What emulating costs per slice, against the host build, is
// build/tests/sim/step_bench's (a scenario step on each slice).
#include <benchmark/benchmark.h>

#include "machine.h"

namespace {

void BM_EmulatorSignature(benchmark::State& state) {
  emu::Machine machine(emu::Architecture::Arm64e);
  uint64_t pointer = 0x100004000;
  for (auto _ : state) {
    pointer = machine.strip(machine.signFunction(pointer + 4));
    benchmark::DoNotOptimize(pointer);
  }
}
BENCHMARK(BM_EmulatorSignature);

}  // namespace

BENCHMARK_MAIN();
