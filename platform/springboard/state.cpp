// What a person could read off the simulated device.
#include "host/springboard.h"
#include "springboard_internal.h"

namespace host::springboard {

using detail::ivarOr;

float volume() { return static_cast<float>(detail::volumeSteps()) / 16.0f; }

bool isLocked() { return host::send<BOOL>(detail::sharedInstanceOf("SBLockScreenManager"), "isUILocked") != NO; }

bool hasBeenDismissedSinceKeybagLock() {
  return host::send<BOOL>(detail::sharedInstanceOf("SBCoverSheetPresentationManager"),
                          "hasBeenDismissedSinceKeybagLock") != NO;
}

bool isCharging() { return detail::powerSource().connected; }
bool switchIsOn() { return host::send<BOOL>(springBoardSwitch(), "isOn") != NO; }
int appsOpened() { return ivarOr<int>(iconManager(), "_appsOpened", 0); }
id lastTappedIcon() { return ivarOr<id>(iconManager(), "_lastTappedIcon", nullptr); }
int keypadKeyDownsSent() { return ivarOr<int>(passcodeView(), "_keypadKeyDownsSent", 0); }
bool playsKeypadSounds() { return ivarOr<BOOL>(passcodeView(), "_playsKeypadSounds", NO) != NO; }
int coverSheetDisappearances() { return ivarOr<int>(coverSheetViewController(), "_disappearances", 0); }
long long lastModifierFlags() { return ivarOr<long long>(iconManager(), "_lastModifierFlags", 0); }
int pageDragsBegun() { return ivarOr<int>(folderView(), "_pageDragsBegun", 0); }
int screenshotsTaken() { return detail::screenshotCount(); }
bool hasFinishedLaunching() { return ivarOr<BOOL>(application(), "_finishedLaunching", NO) != NO; }

}  // namespace host::springboard
