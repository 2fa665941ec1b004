/* Host AudioToolbox: system sounds, with the device's names, types, values and signatures.
 *
 * A system sound is a short sound file turned into an identifier once (Create), then played by that
 * identifier as often as wanted, asynchronously (Play), and finally released (Dispose). Identifiers
 * 1000-2000 name the system's own predefined sounds and need no Create (1100 lock, 1103-1105 keypad,
 * 1106 charger connected, 1108 camera shutter, ...); one the system does not assign plays nothing.
 * On this host nothing reaches a sound card: see host/audio.h for what the service records. */
#ifndef RAVELO_AUDIOTOOLBOX_AUDIOSERVICES_H
#define RAVELO_AUDIOTOOLBOX_AUDIOSERVICES_H

#include <CoreFoundation/CoreFoundation.h>

#ifdef __cplusplus
extern "C" {
#endif

typedef UInt32 SystemSoundID;
typedef UInt32 AudioServicesPropertyID;

/* Result codes ('pty?', '!siz', '!spc' as four-character codes). */
enum {
  kAudioServicesNoError = 0,
  kAudioServicesUnsupportedPropertyError = 0x7074793F,
  kAudioServicesBadPropertySizeError = 0x2173697A,
  kAudioServicesBadSpecifierError = 0x21737063,
  kAudioServicesSystemSoundUnspecifiedError = -1500,
  kAudioServicesSystemSoundClientTimedOutError = -1501,
  kAudioServicesSystemSoundExceededMaximumDurationError = -1502
};

/* Plays the vibration (no sound) on devices that vibrate. */
enum { kSystemSoundID_Vibrate = 0x00000FFF };

/* Decodes the sound file at the file URL `inFileURL` and stores a new identifier for it in
 * *outSystemSoundID. Returns kAudioServicesNoError; or, leaving *outSystemSoundID untouched and
 * creating nothing, kAudioServicesSystemSoundUnspecifiedError when the URL is NULL or not a file
 * URL, `outSystemSoundID` is NULL, or the file is missing, unreadable or holds no decodable audio,
 * and kAudioServicesSystemSoundExceededMaximumDurationError when it lasts over 30 seconds.
 * Identifiers are never reused within a process. */
OSStatus AudioServicesCreateSystemSoundID(CFURLRef inFileURL, SystemSoundID* outSystemSoundID);

/* Starts playing the sound and returns at once. An identifier that names no sound (0, one never
 * created, one already disposed) plays nothing. */
void AudioServicesPlaySystemSound(SystemSoundID inSystemSoundID);

/* As AudioServicesPlaySystemSound; on a device it also vibrates when the user has chosen that. */
void AudioServicesPlayAlertSound(SystemSoundID inSystemSoundID);

/* Releases the sound. If it is still being heard it stops at once. Returns
 * kAudioServicesSystemSoundUnspecifiedError for an identifier that names no created sound. */
OSStatus AudioServicesDisposeSystemSoundID(SystemSoundID inSystemSoundID);

#ifdef __cplusplus
}
#endif

#endif
