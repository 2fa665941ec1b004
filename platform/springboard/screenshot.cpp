// The screenshot service's shutter sound.
#include <AudioToolbox/AudioServices.h>

#include "host/springboard.h"
#include "springboard_internal.h"

namespace host::springboard::detail {
namespace {

// +[SSScreenCapturer playScreenshotSound]
void playScreenshotSound(id, SEL) { AudioServicesPlaySystemSound(kShutterSoundID); }

}  // namespace

int& screenshotCount() {
  static int count;
  return count;
}

void defineScreenCapturer() {
  host::ClassBuilder("SSScreenCapturer", "NSObject").classMethod("playScreenshotSound", &playScreenshotSound).registerClass();
}

}  // namespace host::springboard::detail
