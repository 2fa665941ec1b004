// SBUIController's part in charging: the chime when a charger is connected, if the power source
// wants one.
#include <AudioToolbox/AudioServices.h>

#include "host/springboard.h"
#include "host/trace.h"
#include "springboard_internal.h"

namespace host::springboard::detail {
namespace {

BOOL powerSourceWantsToPlayChime(id, SEL) { return powerSource().wantsChime ? YES : NO; }

// -[SBUIController playChargingChimeIfAppropriate]
void playChargingChimeIfAppropriate(id self, SEL) {
  if (host::send<BOOL>(self, "_powerSourceWantsToPlayChime")) AudioServicesPlaySystemSound(kChargerConnectedSoundID);
}

}  // namespace

PowerSource& powerSource() {
  static PowerSource source;
  return source;
}

void defineUIController() {
  host::ClassBuilder("SBUIController", "NSObject")
      .classMethod("sharedInstance", &sharedInstanceMethod)
      .method("_powerSourceWantsToPlayChime", &powerSourceWantsToPlayChime)
      .method("playChargingChimeIfAppropriate", &playChargingChimeIfAppropriate)
      .registerClass();
}

}  // namespace host::springboard::detail
