// The tweak's settings: the preferences domain, the switches and sound selections read from it, and
// the reload that runs whenever the settings pane announces a change.
#pragma once

#include <CoreFoundation/CoreFoundation.h>
#include <stdint.h>

// Feature switches in the order their keys are read. A switch only ever turns on within a process:
// turning one off in the pane takes effect after a respring.
enum SwitchIndex {
  kEnabled,  // master switch: hook installation at start-up and all playback
  kIconSound,
  kPassSound,
  kScreenshotSoundC,
  kLockSoundC,
  kUnlockSoundC,
  kChargingSoundC,
  kVolumeUpC,
  kVolumeDownC,
  kSwitchOnOff,
  kPageScroll,
  kStartup,
  kSwitchCount
};

// Sound selections in the order their keys are read and compared. Each holds a 1-based catalogue
// index, or -1 before the first load.
enum SlotIndex {
  kIconTapSound,
  kUnlockSound,
  kLockSound,
  kChargingSound,
  kPasscodeSound,
  kScreenshotSound,
  kVolumeUpSound,
  kVolumeDownSound,
  kSwitchOffSound,
  kSwitchOnSound,
  kPageScrollSound,
  kStartupSound,
  kSlotCount
};

extern bool FeatureSwitches[kSwitchCount];
extern int32_t SoundSlot[kSlotCount];

// The selection every sound key falls back to when absent.
enum { kDefaultSound = 6 };

// Reads the settings: the domain's keys if it has a key list, else the fallback file. Switches OR in
// their new values; the first load stores the selections silently, later loads play each changed
// selection once (in slot order) and store it.
void loadSettings(void);

// The Darwin notification callback: ignores its arguments and reloads.
void settingsChanged(CFNotificationCenterRef center, void* observer, CFNotificationName name,
                     const void* object, CFDictionaryRef userInfo);
