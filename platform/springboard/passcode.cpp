// The passcode keypad's view. A key going down is passed on to the view's delegate, with the
// keypad's click when keyboard clicks are on.
#include <AudioToolbox/AudioServices.h>

#include "host/springboard.h"
#include "host/trace.h"
#include "springboard_internal.h"

namespace host::springboard::detail {
namespace {

void setPlaysKeypadSounds(id self, SEL, BOOL plays) { host::ivarRef<BOOL>(self, "_playsKeypadSounds") = plays; }
BOOL getPlaysKeypadSounds(id self, SEL) { return host::ivarRef<BOOL>(self, "_playsKeypadSounds"); }

// -[SBUIPasscodeLockViewBase _sendDelegateKeypadKeyDown]
void sendDelegateKeypadKeyDown(id self, SEL) {
  if (host::ivarRef<BOOL>(self, "_playsKeypadSounds")) AudioServicesPlaySystemSound(kKeypadTockSoundID);
  ++host::ivarRef<int>(self, "_keypadKeyDownsSent");
  host::trace("SpringBoard: passcode key down");
}

}  // namespace

void definePasscodeView() {
  host::ClassBuilder("SBUIPasscodeLockViewBase", "UIView")
      .ivar<BOOL>("_playsKeypadSounds")
      .ivar<int>("_keypadKeyDownsSent")
      .method("setPlaysKeypadSounds:", &setPlaysKeypadSounds)
      .method("playsKeypadSounds", &getPlaysKeypadSounds)
      .method("_sendDelegateKeypadKeyDown", &sendDelegateKeypadKeyDown)
      .registerClass();
}

}  // namespace host::springboard::detail
