// A SpringBoard process for the hook tests: the simulated device of the tweak tests, SpringBoard's
// classes (less any a test leaves out), a different sound selected for every event, and the tweak
// loaded as the jailbreak's loader loads it. Use one per fresh process.
#pragma once

#include <objc/runtime.h>

#include <filesystem>
#include <initializer_list>
#include <string>
#include <vector>

#include "tweak/device_fixture.h"

namespace hooks_testing {

// The sound each event selects in these tests, one catalogue entry per sound key.
inline constexpr const char* kIconTapFile = "BubbleAppear-mono.m4a";       // iconTapSound 1
inline constexpr const char* kUnlockFile = "unlock.m4a";                   // unlockSound 30
inline constexpr const char* kLockFile = "lock.m4a";                       // lockSound 29
inline constexpr const char* kChargingFile = "ChargingStarted.m4a";        // chargingSound 3
inline constexpr const char* kPasscodeFile = "SingleClick.m4a";            // passcodeSound 35
inline constexpr const char* kScreenshotFile = "Focus.m4a";                // screenshotSound 32
inline constexpr const char* kVolumeUpFile = "Volume.m4a";                 // VolumeUpSound 40
inline constexpr const char* kVolumeDownFile = "Pong.m4a";                 // VolumeDownSound 8
inline constexpr const char* kSwitchOffFile = "Switch-1.m4a";              // SwitchOffSound 36
inline constexpr const char* kSwitchOnFile = "Switch-2.m4a";               // SwitchOnSound 37
inline constexpr const char* kPageScrollFile = "Reorder.m4a";              // PageScrollSound 34
inline constexpr const char* kStartupFile = "Mac_Quadra_AV_Startup.m4a";   // StartupSound 41

// The eleven feature switch keys.
inline constexpr const char* kFeatureSwitches[] = {"IconSound",  "PassSound",    "screenshotSoundC", "LockSoundC",
                                                   "UnlockSoundC", "ChargingSoundC", "VolumeUpC",      "VolumeDownC",
                                                   "SwitchOnOff", "PageScroll",   "Startup"};

using Heard = std::vector<std::string>;

class SpringBoard {
 public:
  // Defines SpringBoard's classes except `missing`, following `iosVersion`'s call paths, installs
  // `tweak` as the tweak (tweak_testing::Device) and writes the sound selections above.
  explicit SpringBoard(std::initializer_list<const char*> missing = {}, int iosVersion = 15,
                       const std::filesystem::path& tweak = TWEAK_PATH);

  tweak_testing::Device& device() { return device_; }

  // Writes `enabled` and the given switch keys as on.
  void turnOn(std::initializer_list<const char*> keys);
  // Writes `enabled` and all eleven feature switches as on.
  void turnOnEverything();

  // Loads the tweak (its initialiser installs the hooks), then forgets what was heard and traced.
  void loadTweak();

  // What was heard since the tweak was loaded (or since forget()): a sound file's name, or
  // "system <name>" for one of the system's own sounds.
  Heard heard() const;
  // Trace lines since then that start with one of `prefixes`.
  std::vector<std::string> traced(std::initializer_list<const char*> prefixes) const;
  void forget();

 private:
  tweak_testing::Device device_;
};

// The implementation `selector` has for instances of the named class (for the class itself when
// `classMethod`), or null when the class is missing.
IMP implementationOf(const char* className, const char* selector, bool classMethod = false);

}  // namespace hooks_testing
