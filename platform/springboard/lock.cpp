// Locking and unlocking: the side button's interaction that plays the lock click, the lock screen
// manager that knows whether the interface is locked, and the cover sheet with its presentation
// manager that knows whether it was dismissed since the device was last locked.
#include <AudioToolbox/AudioServices.h>

#include "host/springboard.h"
#include "host/trace.h"
#include "springboard_internal.h"

namespace host::springboard::detail {
namespace {

// -[SBSleepWakeHardwareButtonInteraction _playLockSound]
void playLockSound(id, SEL) { AudioServicesPlaySystemSound(kLockSoundID); }

BOOL isUILocked(id self, SEL) { return host::ivarRef<BOOL>(self, "_uiLocked"); }

BOOL hasBeenDismissedSinceKeybagLock(id self, SEL) {
  return host::ivarRef<BOOL>(self, "_hasBeenDismissedSinceKeybagLock");
}

// -[SBCoverSheetPrimarySlidingViewController viewWillDisappear:]: the cover sheet starts to slide
// away. The presentation manager records the dismissal only once it is gone.
void viewWillDisappear(id self, SEL, BOOL animated) {
  ++host::ivarRef<int>(self, "_disappearances");
  host::ivarRef<BOOL>(self, "_lastDisappearanceAnimated") = animated;
  host::trace("SpringBoard: the cover sheet slides away");
}

id initPresentationManager(id self, SEL) {
  // Since the last lock the cover sheet has been dismissed: the device starts unlocked.
  host::ivarRef<BOOL>(self, "_hasBeenDismissedSinceKeybagLock") = YES;
  return self;
}

}  // namespace

void defineLockButtonInteraction() {
  host::ClassBuilder("SBSleepWakeHardwareButtonInteraction", "NSObject")
      .method("_playLockSound", &playLockSound)
      .registerClass();
}

void defineLockScreenManager() {
  host::ClassBuilder("SBLockScreenManager", "NSObject")
      .ivar<BOOL>("_uiLocked")
      .classMethod("sharedInstance", &sharedInstanceMethod)
      .method("isUILocked", &isUILocked)
      .registerClass();
}

void defineCoverSheetViewController() {
  host::ClassBuilder("SBCoverSheetPrimarySlidingViewController", "UIViewController")
      .ivar<int>("_disappearances")
      .ivar<BOOL>("_lastDisappearanceAnimated")
      .method("viewWillDisappear:", &viewWillDisappear)
      .registerClass();
}

void defineCoverSheetPresentationManager() {
  host::ClassBuilder("SBCoverSheetPresentationManager", "NSObject")
      .ivar<BOOL>("_hasBeenDismissedSinceKeybagLock")
      .classMethod("sharedInstance", &sharedInstanceMethod)
      .method("init", &initPresentationManager)
      .method("hasBeenDismissedSinceKeybagLock", &hasBeenDismissedSinceKeybagLock)
      .registerClass();
}

void setUILocked(bool locked) {
  if (id manager = sharedInstanceOf("SBLockScreenManager")) host::ivarRef<BOOL>(manager, "_uiLocked") = locked;
  host::trace(locked ? "SpringBoard: locked" : "SpringBoard: unlocked");
}

void setDismissedSinceKeybagLock(bool dismissed) {
  if (id manager = sharedInstanceOf("SBCoverSheetPresentationManager"))
    host::ivarRef<BOOL>(manager, "_hasBeenDismissedSinceKeybagLock") = dismissed;
}

}  // namespace host::springboard::detail
