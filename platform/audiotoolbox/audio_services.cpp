// The device API of system sounds, over the service in sound_service.cpp.
#include <AudioToolbox/AudioServices.h>
#include <limits.h>

#include "sound_service.h"

extern "C" {

OSStatus AudioServicesCreateSystemSoundID(CFURLRef inFileURL, SystemSoundID* outSystemSoundID) {
  if (inFileURL == nullptr) return host::audio::createSound(nullptr, "(null url)", outSystemSoundID);
  UInt8 path[PATH_MAX];
  if (!CFURLGetFileSystemRepresentation(inFileURL, true, path, sizeof path))
    return host::audio::createSound(nullptr, "(not a file url)", outSystemSoundID);
  return host::audio::createSound(reinterpret_cast<const char*>(path), nullptr, outSystemSoundID);
}

void AudioServicesPlaySystemSound(SystemSoundID inSystemSoundID) { host::audio::playSound(inSystemSoundID, false); }

void AudioServicesPlayAlertSound(SystemSoundID inSystemSoundID) { host::audio::playSound(inSystemSoundID, true); }

OSStatus AudioServicesDisposeSystemSoundID(SystemSoundID inSystemSoundID) {
  return host::audio::disposeSound(inSystemSoundID);
}

}  // extern "C"
