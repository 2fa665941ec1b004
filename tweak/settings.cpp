#include "tweak/settings.h"

#include <dispatch/dispatch.h>

#include "common/objc_msg.h"
#include "rootpath/rootpath.h"
#include "tweak/player.h"
#include "tweak/values.h"

bool FeatureSwitches[kSwitchCount];
int32_t SoundSlot[kSlotCount] = {-1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1};

namespace {

#define RAVELO_DOMAIN "xyz.dorvu..ravelo"
const char kFallbackFile[] = "/var/mobile/Library/Preferences/com.tamsel.ravelo.plist";

// Keys in the order they are read: switches first, then sounds.
const char* const kSwitchKeys[kSwitchCount] = {
    "enabled",        "IconSound",      "PassSound", "screenshotSoundC", "LockSoundC",  "UnlockSoundC",
    "ChargingSoundC", "VolumeUpC",      "VolumeDownC", "SwitchOnOff",    "PageScroll",  "Startup",
};
const char* const kSoundKeys[kSlotCount] = {
    "iconTapSound",  "unlockSound",     "lockSound",      "chargingSound",  "passcodeSound",   "screenshotSound",
    "VolumeUpSound", "VolumeDownSound", "SwitchOffSound", "SwitchOnSound",  "PageScrollSound", "StartupSound",
};

// The dictionary most recently read from the store (or the fallback file), or null.
CFDictionaryRef SettingsSnapshot;

// The keys as strings, made once and kept for the life of the process.
CFStringRef switchKeyStrings[kSwitchCount];
CFStringRef soundKeyStrings[kSlotCount];
dispatch_once_t keyStringsOnce;

void makeKeyStrings(void*) {
  for (int i = 0; i < kSwitchCount; ++i)
    switchKeyStrings[i] = CFStringCreateWithCString(kCFAllocatorDefault, kSwitchKeys[i], kCFStringEncodingUTF8);
  for (int i = 0; i < kSlotCount; ++i)
    soundKeyStrings[i] = CFStringCreateWithCString(kCFAllocatorDefault, kSoundKeys[i], kCFStringEncodingUTF8);
}

void replaceSnapshot(CFDictionaryRef next) {
  CFDictionaryRef previous = SettingsSnapshot;
  SettingsSnapshot = next;
  if (previous != nullptr) CFRelease(previous);
}

// Reads the fallback property-list file below the jailbreak root; null when missing, unreadable or not
// a dictionary.
CFDictionaryRef readFallbackFile() {
  char buffer[kRootPathBufferSize];
  const char* path = jbrootPath(kFallbackFile, buffer);
  if (path == nullptr) return nullptr;
  CFStringRef pathString = CFStringCreateWithCString(kCFAllocatorDefault, path, kCFStringEncodingUTF8);
  if (pathString == nullptr) return nullptr;
  id dictionary = rv::msg(rv::msg(objc_getClass("NSDictionary"), RV_SEL("alloc")), RV_SEL("initWithContentsOfFile:"),
                          rv::asId(pathString));
  CFRelease(pathString);
  return reinterpret_cast<CFDictionaryRef>(dictionary);
}

CFTypeRef snapshotValue(CFStringRef key) {
  return SettingsSnapshot != nullptr ? CFDictionaryGetValue(SettingsSnapshot, key) : nullptr;
}

}  // namespace

void loadSettings(void) {
  dispatch_once_f(&keyStringsOnce, nullptr, makeKeyStrings);

  CFArrayRef keys = CFPreferencesCopyKeyList(CFSTR(RAVELO_DOMAIN), kCFPreferencesCurrentUser, kCFPreferencesAnyHost);
  if (keys != nullptr) {
    replaceSnapshot(CFPreferencesCopyMultiple(keys, CFSTR(RAVELO_DOMAIN), kCFPreferencesCurrentUser,
                                              kCFPreferencesAnyHost));
    CFRelease(keys);
  } else {
    replaceSnapshot(nullptr);
  }
  // The fallback file only counts when the domain gave no key list at all.
  if (SettingsSnapshot == nullptr) replaceSnapshot(readFallbackFile());

  for (int i = 0; i < kSwitchCount; ++i) {
    bool on = false;
    readSwitchValue(snapshotValue(switchKeyStrings[i]), &on);
    FeatureSwitches[i] = FeatureSwitches[i] || on;
  }

  int32_t fresh[kSlotCount];
  for (int i = 0; i < kSlotCount; ++i) {
    if (!readSoundValue(snapshotValue(soundKeyStrings[i]), &fresh[i])) fresh[i] = kDefaultSound;
  }
  for (int i = 0; i < kSlotCount; ++i) {
    if (SoundSlot[i] == -1) {
      SoundSlot[i] = fresh[i];  // first load: no preview
    } else if (SoundSlot[i] != fresh[i]) {
      playSound(fresh[i]);  // the user hears the selection the moment it is made
      SoundSlot[i] = fresh[i];
    }
  }
}

void settingsChanged(CFNotificationCenterRef, void*, CFNotificationName, const void*, CFDictionaryRef) {
  loadSettings();
}
