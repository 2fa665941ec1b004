// How much a play of an existing system sound costs: the player repeats it on every event.
#include <AudioToolbox/AudioServices.h>
#include <benchmark/benchmark.h>

#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <string>

#include "host/audio.h"

namespace {

// A 0.3 s AAC tone made once per run in a temporary folder, removed at exit.
struct ToneFile {
  std::filesystem::path dir = std::filesystem::temp_directory_path() / ("audio_bench." + std::to_string(getpid()));
  std::string path = (dir / "tone.m4a").string();
  ToneFile() {
    std::filesystem::create_directories(dir);
    std::string command = "ffmpeg -nostdin -v error -y -f lavfi -i sine=frequency=440:duration=0.3 -c:a aac " + path;
    if (std::system(command.c_str()) != 0) std::abort();
  }
  ~ToneFile() { std::filesystem::remove_all(dir); }
};

const std::string& toneFile() {
  static ToneFile tone;
  return tone.path;
}

SystemSoundID createTone() {
  const std::string& file = toneFile();
  CFURLRef url = CFURLCreateFromFileSystemRepresentation(nullptr, reinterpret_cast<const UInt8*>(file.c_str()),
                                                         static_cast<CFIndex>(file.size()), false);
  SystemSoundID id = 0;
  if (AudioServicesCreateSystemSoundID(url, &id) != kAudioServicesNoError) std::abort();
  CFRelease(url);
  return id;
}

// Keeps the log and the placements from growing without bound over millions of iterations.
void forgetEvery(benchmark::State& state, long& count) {
  if (++count % 65536 != 0) return;
  state.PauseTiming();
  host::audio::clearEvents();
  host::audio::clearPlacements();
  state.ResumeTiming();
}

void BM_PlayExistingSound(benchmark::State& state) {
  SystemSoundID id = createTone();
  long count = 0;
  for (auto _ : state) {
    AudioServicesPlaySystemSound(id);
    forgetEvery(state, count);
  }
  AudioServicesDisposeSystemSoundID(id);
}
BENCHMARK(BM_PlayExistingSound);

// Re-creating a sound from a file already decoded once (the player switching back to a selection).
void BM_CreateDecodedFile(benchmark::State& state) {
  AudioServicesDisposeSystemSoundID(createTone());
  long count = 0;
  for (auto _ : state) {
    AudioServicesDisposeSystemSoundID(createTone());
    forgetEvery(state, count);
  }
}
BENCHMARK(BM_CreateDecodedFile);

}  // namespace

BENCHMARK_MAIN();
