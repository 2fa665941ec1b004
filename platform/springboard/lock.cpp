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

// The cover sheet's controllers implement no viewWillDisappear: of their own, on any iOS from 15 to
// 18: SBCoverSheetPrimarySlidingViewController and its superclass SBCoverSheetSlidingViewController
// inherit UIViewController's. A hook on it adds an override to the primary controller's class.
void defineCoverSheetSlidingViewController() {
  host::ClassBuilder("SBCoverSheetSlidingViewController", "UIViewController").registerClass();
}

void defineCoverSheetViewController() {
  host::ClassBuilder("SBCoverSheetPrimarySlidingViewController", "SBCoverSheetSlidingViewController")
      .ivar<int>("_disappearances")
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
