// What a hooked event costs inside SpringBoard: a volume-up press with and without the hook, and the
// lock replacement that asks the lock screen manager first. The selection never changes, so after the
// first press the whole road is wrapper -> previous implementation -> playSound -> one play call.
//
// The bare press is measured before the hooks go in (hooks cannot be taken out), so run the
// benchmarks in their registration order (no --benchmark_enable_random_interleaving).
#include <benchmark/benchmark.h>

#include "common/objc_msg.h"
#include "host/audio.h"
#include "host/objc.h"
#include "host/springboard.h"
#include "tweak/hooks.h"
#include "tweak/player.h"
#include "tweak/settings.h"

namespace {

namespace sb = host::springboard;

void setUpSpringBoard() {
  static bool done = false;
  if (done) return;
  done = true;
  sb::defineClasses();
  FeatureSwitches[kEnabled] = true;
  for (int32_t& slot : SoundSlot) slot = 40;
}

void installOnce() {
  static bool done = false;
  if (done) return;
  done = true;
  FeatureSwitches[kVolumeUpC] = true;
  FeatureSwitches[kLockSoundC] = true;
  installHooks();
}

// The service logs every call; the log is emptied now and then, outside the timing.
void trimLog(benchmark::State& state, long i) {
  if ((i & 0xFFFF) != 0) return;
  state.PauseTiming();
  host::audio::clearEvents();
  state.ResumeTiming();
}

void sendRepeatedly(benchmark::State& state, id receiver, SEL selector) {
  host::AutoreleasePool pool;
  rv::msg<void>(receiver, selector);  // the first play creates the sound
  long i = 0;
  for (auto _ : state) {
    rv::msg<void>(receiver, selector);
    trimLog(state, ++i);
  }
  host::audio::clearEvents();
}

void BM_IncreaseVolumeBare(benchmark::State& state) {
  setUpSpringBoard();
  sendRepeatedly(state, sb::volumeControl(), sel_registerName("increaseVolume"));
}
BENCHMARK(BM_IncreaseVolumeBare);

void BM_IncreaseVolumeHooked(benchmark::State& state) {
  setUpSpringBoard();
  installOnce();
  sendRepeatedly(state, sb::volumeControl(), sel_registerName("increaseVolume"));
}
BENCHMARK(BM_IncreaseVolumeHooked);

// The lock replacement: the cached class, its shared instance, isUILocked, then the sound.
void BM_PlayLockSoundReplaced(benchmark::State& state) {
  setUpSpringBoard();
  installOnce();
  sendRepeatedly(state, sb::lockButtonInteraction(), sel_registerName("_playLockSound"));
}
BENCHMARK(BM_PlayLockSoundReplaced);

// The player alone with the selection unchanged, for the share of the road the hook adds.
void BM_PlaySoundUnchanged(benchmark::State& state) {
  setUpSpringBoard();
  host::AutoreleasePool pool;
  playSound(40);
  long i = 0;
  for (auto _ : state) {
    playSound(40);
    trimLog(state, ++i);
  }
  host::audio::clearEvents();
}
BENCHMARK(BM_PlaySoundUnchanged);

}  // namespace

BENCHMARK_MAIN();
