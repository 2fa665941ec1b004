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
  host::send<void>(coverSheetViewController(), "viewWillDisappear:", static_cast<BOOL>(YES));
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

void tapIcon(id icon) { host::send<void>(iconManager(), "iconTapped:", icon != nullptr ? icon : iconView()); }

void pressPasscodeKey() { host::send<void>(passcodeView(), "_sendDelegateKeypadKeyDown"); }

}  // namespace host::springboard
