// The events a person causes, sent to SpringBoard's classes as SpringBoard itself sends them.
#include "host/springboard.h"
#include "host/trace.h"
#include "host/uikit.h"
#include "springboard_internal.h"

namespace host::springboard {

void launchSpringBoard() { host::send<void>(application(), "applicationDidFinishLaunching:", application()); }

void lockDevice() {
  host::send<void>(lockButtonInteraction(), "_playLockSound");
  detail::setUILocked(true);
  detail::setDismissedSinceKeybagLock(false);
}

void unlockDevice() {
  if (id coverSheet = coverSheetViewController()) {
    ++host::ivarRef<int>(coverSheet, "_disappearances");
    host::trace("SpringBoard: the cover sheet slides away");
    host::send<void>(coverSheet, "viewWillDisappear:", static_cast<BOOL>(YES));
  }
  detail::setDismissedSinceKeybagLock(true);
  detail::setUILocked(false);
}

void plugInCharger(bool wantsChime) {
  detail::powerSource() = {true, wantsChime};
  host::trace("SpringBoard: charger connected");
  host::send<void>(chargingController(), "playChargingChimeIfAppropriate");
}

void unplugCharger() {
  detail::powerSource() = {};
  host::trace("SpringBoard: charger disconnected");
}

void takeScreenshot() {
  ++detail::screenshotCount();
  host::trace("SpringBoard: screenshot saved");
  if (Class capturer = objc_getClass("SSScreenCapturer")) host::send<void>(capturer, "playScreenshotSound");
}

void pressVolumeUp() { host::send<void>(volumeControl(), "increaseVolume"); }
void pressVolumeDown() { host::send<void>(volumeControl(), "decreaseVolume"); }

void flipSwitch() { host::uikit::tapSwitch(springBoardSwitch()); }

void startDraggingPage() {
  id folder = folderView();
  host::send<void>(folder, "scrollViewWillBeginDragging:", host::send(folder, "scrollView"));
}

void tapIcon(id icon) {
  id view = icon != nullptr ? icon : iconView();
  id manager = iconManager();
  if (view == nullptr) return;
  host::send<void>(view, "setDelegate:", manager);
  bool withFlags = systemVersion() >= 17 && manager != nullptr;
  if (withFlags) host::ivarRef<long long>(manager, "_lastModifierFlags") = -1;
  host::send<void>(view, "_handleTap");
  long long got = lastModifierFlags();
  if (withFlags && got != 0) host::trace("SpringBoard: the icon manager got modifier flags %lld, the tap had 0", got);
}

void pressPasscodeKey() { host::send<void>(passcodeView(), "_sendDelegateKeypadKeyDown"); }

}  // namespace host::springboard
