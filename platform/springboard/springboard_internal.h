// What the SpringBoard stand-in's files share: the class definers and the objects the driver keeps.
#pragma once

#include <objc/runtime.h>

#include "host/objc.h"

namespace host::springboard::detail {

// One definer per class; each registers its class (defineClasses decides which run).
void defineIconView();
void defineIconScrollView();
void defineIconManager();
void defineFolderView();
void definePasscodeView();
void defineLockButtonInteraction();
void defineLockScreenManager();
void defineCoverSheetSlidingViewController();
void defineCoverSheetViewController();
void defineCoverSheetPresentationManager();
void defineUIController();
void defineScreenCapturer();
void defineVolumeControl();
void defineSpringBoard();
void defineSwitchTarget();

// +sharedInstance for a singleton class: made on first use, kept for the life of the process.
id sharedInstanceMethod(id cls, SEL);

// The class's shared instance through its +sharedInstance, or nil when the class is missing.
id sharedInstanceOf(const char* className);

// A new instance of the named class (kept for the life of the process), or nil when it is missing.
id makeObject(const char* className);

// An ivar of `object`, or `fallback` when the object is nil.
template <typename T>
T ivarOr(id object, const char* name, T fallback) {
  return object != nullptr ? host::ivarRef<T>(object, name) : fallback;
}

// Lock and cover-sheet state changes SpringBoard makes around lock and unlock.
void setUILocked(bool locked);
void setDismissedSinceKeybagLock(bool dismissed);

// The power source SpringBoard asks about when a charger comes and goes.
struct PowerSource {
  bool connected = false;
  bool wantsChime = false;
};
PowerSource& powerSource();

// The media volume in sixteenths, as the volume buttons move it.
int& volumeSteps();

// Screenshots saved to the photo library.
int& screenshotCount();

}  // namespace host::springboard::detail
