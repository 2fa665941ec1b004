// How long a scenario step takes on the device binaries under emulation (each slice: arm64, and arm64e
// with pointer authentication), against the host build (the aim: within 10x). A step is timed in a whole run of ravelo-sim: the scenario with the step repeated
// kRepeats times, less the same scenario without it, divided by kRepeats. The steps: `show` (the pane
// lays out and restyles every row, on the device code in emulated mode) and `volume-up` (SpringBoard's
// hook, the original implementation and the player).
#include <benchmark/benchmark.h>

#include <chrono>
#include <cstdlib>
#include <string>

#include "support/run.h"
#include "support/temp_dir.h"

namespace {

constexpr int kRepeats = 200;
const char kPrelude[] = "set enabled true\nset VolumeUpC true\nopen-settings\n";

// `slice`: "" for the host build, else the device binaries' slice.
double secondsFor(const testing_support::TempDir& dir, const std::string& name, const std::string& scenario,
                  const std::string& slice) {
  testing_support::writeFile(dir / name, scenario);
  std::vector<std::string> arguments{RAVELO_SIM, "--no-record"};
  if (!slice.empty()) arguments.insert(arguments.end(), {"--device-binaries", slice});
  arguments.push_back((dir / name).string());
  auto start = std::chrono::steady_clock::now();
  testing_support::RunResult r = testing_support::run(arguments);
  std::chrono::duration<double> elapsed = std::chrono::steady_clock::now() - start;
  if (r.exitCode != 0) {
    std::fprintf(stderr, "step_bench: %s failed:\n%s\n", name.c_str(), r.output.c_str());
    std::exit(1);
  }
  return elapsed.count();
}

void stepTime(benchmark::State& state, const std::string& step, const std::string& slice) {
  testing_support::TempDir dir;
  std::string repeated;
  for (int i = 0; i < kRepeats; ++i) repeated += step + "\n";
  for (auto _ : state) {
    double without = secondsFor(dir, "base.txt", kPrelude, slice);
    double with = secondsFor(dir, "steps.txt", kPrelude + repeated, slice);
    state.SetIterationTime(std::max(0.0, with - without) / kRepeats);
  }
}

}  // namespace

#define STEP(name, step, slice) \
  BENCHMARK_CAPTURE(stepTime, name, std::string(step), std::string(slice)) \
      ->UseManualTime()->Iterations(3)->Unit(benchmark::kMillisecond)
STEP(show_host, "show", "");
STEP(show_device_arm64, "show", "arm64");
STEP(show_device_arm64e, "show", "arm64e");
STEP(volume_up_host, "volume-up", "");
STEP(volume_up_device_arm64, "volume-up", "arm64");
STEP(volume_up_device_arm64e, "volume-up", "arm64e");

BENCHMARK_MAIN();
