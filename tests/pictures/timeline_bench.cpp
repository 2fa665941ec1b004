// What a long run costs its timeline: memory per transcript step kept while the run goes, and the time
// to draw a page (not a CTest test): build timeline_bench and run it.
#include <benchmark/benchmark.h>

#include <filesystem>
#include <string>
#include <unistd.h>

#include "timeline/timeline.h"

namespace {

// A run of `steps` events, each a sound played and the one before it cut short.
sim::timeline::RunLog longRun(long steps) {
  sim::timeline::RunLog log;
  log.report("sim", "start SpringBoard");
  for (long n = 0; n < steps; ++n) {
    std::string ms = std::to_string(n * 300);
    log.heading("step " + std::to_string(n + 1) + " (bench.txt:1) at " + ms + "ms: volume-up");
    log.report("SpringBoard", "SpringBoard: volume 9/16");
    log.report("SpringBoard", "audio dispose " + std::to_string(4096 + n - 1) + " Volume.m4a (cut short) at " + ms + "ms");
    log.report("SpringBoard", "audio create " + std::to_string(4096 + n) + " /var/jb/Library/Sounds/Volume.m4a ok");
    log.report("SpringBoard", "audio play " + std::to_string(4096 + n) + " Volume.m4a at " + ms + "ms");
  }
  log.heading("end at " + std::to_string(steps * 300) + "ms");
  return log;
}

void BM_RunLogFeed(benchmark::State& state) {
  for (auto _ : state) {
    sim::timeline::RunLog log = longRun(state.range(0));
    benchmark::DoNotOptimize(log.events().data());
    state.counters["bytes_per_step"] =
        static_cast<double>(log.events().capacity() * sizeof(sim::timeline::RunLog::Event)) / state.range(0);
  }
  state.SetItemsProcessed(state.iterations() * state.range(0));
}
BENCHMARK(BM_RunLogFeed)->Arg(1000)->Arg(100000);

void BM_DrawPages(benchmark::State& state) {
  sim::timeline::RunLog log = longRun(state.range(0));
  sim::timeline::TimelineSource source;
  source.title = "bench";
  source.fileLength = [](const std::string&) -> std::optional<long> { return 600; };
  std::filesystem::path dir = std::filesystem::temp_directory_path() / ("timeline_bench." + std::to_string(getpid()));
  std::filesystem::create_directories(dir);
  size_t pages = 0;
  for (auto _ : state) {
    sim::timeline::TimelineResult result;
    std::string error;
    if (!sim::timeline::drawTimeline(log, source, (dir / "t.png").string(), &result, &error)) state.SkipWithError(error.c_str());
    pages = result.pages.size();
  }
  state.counters["pages"] = static_cast<double>(pages);
  std::filesystem::remove_all(dir);
}
BENCHMARK(BM_DrawPages)->Arg(200)->Arg(2000)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
