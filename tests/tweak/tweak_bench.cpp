// What a repeated event and a no-change reload cost inside SpringBoard.
#include <benchmark/benchmark.h>

#include <CoreFoundation/CoreFoundation.h>

#include <cstdlib>
#include <filesystem>
#include <string>

#include "host/device.h"
#include "host/objc.h"
#include "tweak/player.h"
#include "tweak/settings.h"

namespace {

void setUpDevice() {
  static bool done = false;
  if (done) return;
  done = true;
  std::string root = std::filesystem::temp_directory_path() / ("ravelo-bench-" + std::to_string(getpid()));
  std::filesystem::create_directories(root + "/var/mobile/Library/Preferences");
  host::device::setRoot(root);
  int value = 12;
  CFNumberRef twelve = CFNumberCreate(kCFAllocatorDefault, kCFNumberIntType, &value);
  CFPreferencesSetValue(CFSTR("iconTapSound"), twelve, CFSTR("xyz.dorvu..ravelo"), kCFPreferencesCurrentUser,
                        kCFPreferencesAnyHost);
  CFPreferencesSetValue(CFSTR("enabled"), kCFBooleanTrue, CFSTR("xyz.dorvu..ravelo"), kCFPreferencesCurrentUser,
                        kCFPreferencesAnyHost);
  CFRelease(twelve);
}

// An event with the selection unchanged: one play call, no file, URL or allocation work.
void BM_PlaySoundUnchangedIndex(benchmark::State& state) {
  setUpDevice();
  FeatureSwitches[kEnabled] = true;
  host::AutoreleasePool pool;
  playSound(7);  // the first call creates the sound
  for (auto _ : state) playSound(7);
}
BENCHMARK(BM_PlaySoundUnchangedIndex);

// A reload that finds nothing changed: read the store, OR the switches, compare the slots.
void BM_LoadSettingsNoChange(benchmark::State& state) {
  setUpDevice();
  host::AutoreleasePool pool;
  loadSettings();
  for (auto _ : state) {
    loadSettings();
    pool.drain();
  }
}
BENCHMARK(BM_LoadSettingsNoChange);

}  // namespace

BENCHMARK_MAIN();
