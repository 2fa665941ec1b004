// Stub SDK: AudioToolbox's system sounds, as the device declares them.
#pragma once

#include <CoreFoundation/CoreFoundation.h>

typedef UInt32 SystemSoundID;

#ifdef __cplusplus
extern "C" {
#endif

OSStatus AudioServicesCreateSystemSoundID(CFURLRef inFileURL, SystemSoundID* outSystemSoundID);
OSStatus AudioServicesDisposeSystemSoundID(SystemSoundID inSystemSoundID);
void AudioServicesPlaySystemSound(SystemSoundID inSystemSoundID);

#ifdef __cplusplus
}
#endif
