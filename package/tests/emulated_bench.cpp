// What the emulated device costs per slice (not a CTest test): build emulated_bench and run it. One
// SpringBoard session is what the emulated tweak tests do over and over (start with the tweak, a
// settings reload, every hooked event once); one Settings session is the pane's (load the bundle, a
// controller, its font size, the actions). On arm64e the CPU signs and authenticates every return
// address and function pointer, and the harness every implementation it is handed or calls; the
// difference between the two slices is what pointer authentication costs the suite. The harness's
// own MAC (QARMA-64 in C++) is measured alone as well.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <memory>
#include <string>

#include "emulated_device.h"
#include "host/objc.h"
#include "pointer_auth.h"

namespace {

// Each hooked event as SpringBoard sends it, with an argument of the right kind where it takes one.
enum Argument { kNone, kObject, kYes, kControlEvent };
const struct {
  const char* cls;
  const char* selector;
  Argument argument;
} kEvents[] = {
    {"SBHIconManager", "iconTapped:", kObject},
    {"SBUIPasscodeLockViewBase", "_sendDelegateKeypadKeyDown", kNone},
    {"SBSleepWakeHardwareButtonInteraction", "_playLockSound", kNone},
    {"SBCoverSheetPrimarySlidingViewController", "viewWillDisappear:", kYes},
    {"SBUIController", "playChargingChimeIfAppropriate", kNone},
    {"SBVolumeControl", "increaseVolume", kNone},
    {"SBVolumeControl", "decreaseVolume", kNone},
    {"UISwitch", "sendActionsForControlEvents:", kControlEvent},
    {"SBFolderView", "scrollViewWillBeginDragging:", kObject},
    {"SpringBoard", "applicationDidFinishLaunching:", kObject},
};
const char* const kSwitchKeys[] = {"IconSound", "PassSound", "screenshotSoundC", "LockSoundC", "UnlockSoundC",
                                   "ChargingSoundC", "VolumeUpC", "VolumeDownC", "SwitchOnOff", "PageScroll",
                                   "Startup"};

void springBoardSession(benchmark::State& state, const emulated::Slice& slice) {
  host::AutoreleasePool pool;
  emulated::DeviceRoot root;
  root.setBool("enabled", true);
  for (const char* key : kSwitchKeys) root.setBool(key, true);
  for (auto _ : state) {
    emu::Process sb({"SpringBoard", true, emu::architectureOf(slice.image)});
    sb.load(slice.image, emulated::kTweakPath);
    sb.postDarwinNotification("com.tamsel.ravelo.prefsupdate");
    const uint64_t object = sb.instance("NSObject");
    for (const auto& event : kEvents) {
      const uint64_t values[] = {0, object, 1, 1 << 12};
      std::vector<uint64_t> arguments;
      if (event.argument != kNone) arguments.push_back(values[event.argument]);
      sb.objc.send(sb.instance(event.cls), event.selector, arguments);
    }
    sb.objc.send(sb.objc.getClass("SSScreenCapturer"), "playScreenshotSound");
    benchmark::DoNotOptimize(sb.audio.size());
  }
}

void settingsSession(benchmark::State& state, const emulated::Slice& slice) {
  host::AutoreleasePool pool;
  emulated::DeviceRoot root;
  for (auto _ : state) {
    emu::Process app({"Preferences", true, emu::architectureOf(slice.image)});
    app.load(slice.image, emulated::kPanePath);
    uint64_t controller = app.objc.send(app.objc.send(app.objc.getClass("RaveloRootListController"), "alloc").x0, "init").x0;
    for (const char* selector : {"fontSizeForDevice", "respring", "PayPal", "Email"}) app.objc.send(controller, selector);
    benchmark::DoNotOptimize(app.spawns.size());
  }
}

void BM_HarnessSignature(benchmark::State& state) {
  emu::PointerAuth pac;
  uint64_t pointer = 0x100004000;
  for (auto _ : state) {
    pointer = pac.strip(pac.sign(pointer + 4, emu::PacKey::IA, 0));
    benchmark::DoNotOptimize(pointer);
  }
}
BENCHMARK(BM_HarnessSignature);

}  // namespace

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  if (!DEVICE_BUILD) std::fprintf(stderr, "emulated_bench: no device build: %s\n", DEVICE_SKIP_REASON);
  // The slices live as long as the benchmarks that run them.
  static std::vector<std::unique_ptr<emulated::Slice>> slices;
  for (const std::string& name : emulated::kSliceNames) {
    const std::pair<const device::Deliverable*, void (*)(benchmark::State&, const emulated::Slice&)> sessions[] = {
        {&device::kTweak, springBoardSession}, {&device::kPane, settingsSession}};
    for (const auto& [deliverable, session] : sessions) {
      std::optional<emulated::Slice> slice = DEVICE_BUILD ? emulated::sliceOf(*deliverable, name) : std::nullopt;
      if (!slice) {
        if (DEVICE_BUILD) std::fprintf(stderr, "emulated_bench: %s\n", emulated::missingSliceReason(*deliverable, name).c_str());
        continue;
      }
      slices.push_back(std::make_unique<emulated::Slice>(std::move(*slice)));
      const char* what = deliverable == &device::kTweak ? "SpringBoardSession" : "SettingsSession";
      benchmark::RegisterBenchmark((std::string("BM_") + what + "/" + name).c_str(), session, *slices.back())
          ->Unit(benchmark::kMillisecond);
    }
  }
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
}
