// The device API of system sounds, over the service in sound_service.cpp.
#include <AudioToolbox/AudioServices.h>
#include <limits.h>
#include <strings.h>

#include "sound_service.h"

namespace {

// Only a file URL names a sound file; the service never fetches anything from elsewhere.
bool isFileURL(CFURLRef url) {
  CFURLRef absolute = CFURLCopyAbsoluteURL(url);
  if (absolute == nullptr) return false;
  CFStringRef scheme = CFURLCopyScheme(absolute);
  CFRelease(absolute);
  if (scheme == nullptr) return false;
  char name[16];
  bool file = CFStringGetCString(scheme, name, sizeof name, kCFStringEncodingUTF8) && strcasecmp(name, "file") == 0;
  CFRelease(scheme);
  return file;
}

}  // namespace

extern "C" {

OSStatus AudioServicesCreateSystemSoundID(CFURLRef inFileURL, SystemSoundID* outSystemSoundID) {
  if (inFileURL == nullptr) return host::audio::createSound(nullptr, "(null url)", outSystemSoundID);
  UInt8 path[PATH_MAX];
  if (!isFileURL(inFileURL) || !CFURLGetFileSystemRepresentation(inFileURL, true, path, sizeof path))
    return host::audio::createSound(nullptr, "(not a file url)", outSystemSoundID);
  return host::audio::createSound(reinterpret_cast<const char*>(path), nullptr, outSystemSoundID);
}

void AudioServicesPlaySystemSound(SystemSoundID inSystemSoundID) { host::audio::playSound(inSystemSoundID, false); }

void AudioServicesPlayAlertSound(SystemSoundID inSystemSoundID) { host::audio::playSound(inSystemSoundID, true); }

OSStatus AudioServicesDisposeSystemSoundID(SystemSoundID inSystemSoundID) {
  return host::audio::disposeSound(inSystemSoundID);
}

}  // extern "C"
