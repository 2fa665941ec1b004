// The player, heard through previews: clamping, the raw-index cache key, one live sound, missing files.
#include <gtest/gtest.h>

#include <filesystem>

#include "support/fresh_process.h"
#include "tweak/device_fixture.h"

using testing_support::inFreshProcess;
using tweak_testing::Device;
using Calls = std::vector<std::string>;

namespace {

// Loads with every selection at 10, then changes `key` to each value in turn, one reload each.
Calls previewsOf(Device& device, const char* key, std::initializer_list<long long> values) {
  device.setBool("enabled", true);
  device.setInt(key, 10);
  device.loadTweak();
  for (long long v : values) {
    device.setInt(key, v);
    device.notifyChanged();
  }
  return device.audioCalls();
}

TEST(Player, OutOfRangeIndexesAreClampedForTheLookupOnly) {
  inFreshProcess([] {
    Device device;
    // 0 and 1 are different cache keys for the same entry, so each change re-creates the sound.
    EXPECT_EQ(previewsOf(device, "iconTapSound", {0, -5, 1}),
              (Calls{"dispose (none)", "create BubbleAppear-mono.m4a", "play BubbleAppear-mono.m4a",
                     "dispose BubbleAppear-mono.m4a", "create BubbleAppear-mono.m4a", "play BubbleAppear-mono.m4a",
                     "dispose BubbleAppear-mono.m4a", "create BubbleAppear-mono.m4a", "play BubbleAppear-mono.m4a"}));
  });
  inFreshProcess([] {
    Device device;
    EXPECT_EQ(previewsOf(device, "iconTapSound", {45, 1000}),
              (Calls{"dispose (none)", "create T2-based_Mac_Startup.m4a", "play T2-based_Mac_Startup.m4a",
                     "dispose T2-based_Mac_Startup.m4a", "create T2-based_Mac_Startup.m4a",
                     "play T2-based_Mac_Startup.m4a"}));
  });
}

TEST(Player, TheSameIndexTwiceCreatesOnceAndPlaysTwice) {
  inFreshProcess([] {
    Device device;
    device.setBool("enabled", true);
    device.loadTweak();
    device.setInt("iconTapSound", 7);
    device.notifyChanged();
    device.setInt("lockSound", 7);
    device.notifyChanged();
    EXPECT_EQ(device.audioCalls(), (Calls{"dispose (none)", "create lens_flare_Unlock.m4a",
                                          "play lens_flare_Unlock.m4a", "play lens_flare_Unlock.m4a"}));
  });
}

TEST(Player, KeepsExactlyOneLiveSound) {
  inFreshProcess([] {
    Device device;
    Calls calls = previewsOf(device, "unlockSound", {7, 8, 7});
    EXPECT_EQ(calls, (Calls{"dispose (none)", "create lens_flare_Unlock.m4a", "play lens_flare_Unlock.m4a",
                            "dispose lens_flare_Unlock.m4a", "create Pong.m4a", "play Pong.m4a",
                            "dispose Pong.m4a", "create lens_flare_Unlock.m4a", "play lens_flare_Unlock.m4a"}));
    EXPECT_EQ(host::audio::liveSoundCount(), 1);
  });
}

TEST(Player, MinusOneBeforeAnySoundPlaysNothingAudible) {
  inFreshProcess([] {
    Device device;
    EXPECT_EQ(previewsOf(device, "screenshotSound", {-1}), Calls{"play (silent)"});
  });
}

TEST(Player, AMissingFileIsSilentAndNotRetriedUntilAnotherIndexPlays) {
  inFreshProcess([] {
    Device device;
    std::filesystem::remove(device.jbroot() / "Library/Sounds");  // no sounds folder at all
    Calls calls = previewsOf(device, "VolumeUpSound", {8});
    device.setInt("VolumeDownSound", 8);
    device.notifyChanged();
    EXPECT_EQ(calls, (Calls{"dispose (none)", "create Pong.m4a failed", "play (silent)"}));
    EXPECT_EQ(device.audioCalls().back(), "play (silent)");
    EXPECT_EQ(device.audioCalls().size(), 4u);
  });
}

TEST(Player, WithoutTheRootPathLibrarySoundsComeFromVarJb) {
  inFreshProcess([] {
    Device device(/*withLibroot=*/false);
    previewsOf(device, "iconTapSound", {8});
    auto events = device.audioEvents();
    ASSERT_GE(events.size(), 2u);
    EXPECT_EQ(events[1].file, "/var/jb/Library/Sounds/Pong.m4a");
  });
}

}  // namespace
