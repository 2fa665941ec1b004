// What the arm64e toolchain costs: building Apple's ld64 from the pinned sources into an empty cache
// (once per machine; minutes of both cores), and a device build of both deliverables once it is
// there (every source compiled for both slices, linked, checked and joined).
//
// Not a test: run build/package/tests/toolchain_bench [--benchmark_filter=Warm]. The cold build
// goes to a temporary cache, never the machine's own.
#include <benchmark/benchmark.h>

#include <string>

#include "support/run.h"
#include "support/temp_dir.h"

namespace {

using testing_support::run;
using testing_support::TempDir;

void BM_ColdLd64Build(benchmark::State& state) {
  for (auto _ : state) {
    TempDir cache;
    auto result = run({BUILD_LD64, "--cache", cache.path().string()});
    if (result.exitCode != 0) {
      state.SkipWithError(("build-ld64 failed:\n" + result.output).c_str());
      return;
    }
  }
}
BENCHMARK(BM_ColdLd64Build)->Iterations(1)->Unit(benchmark::kSecond)->UseRealTime();

void BM_WarmDeviceBuild(benchmark::State& state) {
  if (run({BUILD_LD64, "--find"}).exitCode != 0) {
    state.SkipWithError("Apple's ld64 is not built: run package/toolchain/build-ld64 first");
    return;
  }
  TempDir out;
  for (auto _ : state) {
    auto result = run({BUILD_DEVICE, "--quiet", "--out", out.path().string()},
                      {"MACHO_SLICES=" MACHO_SLICES, "MAKE_STUB_DYLIBS=" MAKE_STUB_DYLIBS});
    if (result.exitCode != 0 || result.output.find("arm64 + arm64e") == std::string::npos) {
      state.SkipWithError(("build-device did not make both slices:\n" + result.output).c_str());
      return;
    }
  }
}
BENCHMARK(BM_WarmDeviceBuild)->Iterations(3)->Unit(benchmark::kSecond)->UseRealTime();

}  // namespace

BENCHMARK_MAIN();
