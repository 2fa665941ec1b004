// How opening the settings pane grows with its specifier list (a benchmark, not a test): the pane's
// own items repeated n times, opened by the Settings-app stand-in and shown whole (every row read,
// the table scrolled through as it loads only what is on screen). Each step should grow linearly with
// n (the complexity line says so).
//
//   build/tests/prefs/pane_bench
#include <benchmark/benchmark.h>

#include <string>

#include "prefs/settings_device.h"

namespace {

prefs_testing::SettingsDevice& device() {
  static auto* made = new prefs_testing::SettingsDevice();  // the bundle registers its class once a process
  return *made;
}

void OpenAndShowThePane(benchmark::State& state) {
  static const std::string items = prefs_testing::shippedItems();
  std::string repeated;
  for (long i = 0; i < state.range(0); ++i) repeated += items;
  device().writeSpecifierList(repeated);
  size_t rows = 0;
  for (auto _ : state) {
    auto pane = device().open();
    rows = pane->show().rows.size();
    pane->close();
  }
  state.counters["rows"] = static_cast<double>(rows);
  state.SetComplexityN(state.range(0));
}
BENCHMARK(OpenAndShowThePane)->Arg(40)->Arg(200)->Arg(400)->Arg(1000)->Arg(4000)->Unit(benchmark::kMillisecond)
    ->Complexity(benchmark::oN);

}  // namespace

BENCHMARK_MAIN();
