// SpringBoard's objects that the events go through, made on first use and kept for the life of the
// process (nil when their class is missing).
#include "host/springboard.h"
#include "host/uikit.h"
#include "springboard_internal.h"

namespace host::springboard {
namespace {

id keep(id& slot, const char* className) {
  if (slot == nullptr) slot = detail::makeObject(className);
  return slot;
}

}  // namespace

id iconManager() {
  static id object;
  return keep(object, "SBHIconManager");
}

id iconView() {
  static id object;
  return keep(object, "SBIconView");
}

id folderView() {
  static id object;
  if (object == nullptr && keep(object, "SBFolderView") != nullptr) {
    id scrollView = detail::makeObject("SBIconScrollView");
    host::send<void>(object, "setScrollView:", scrollView);
    host::release(scrollView);
  }
  return object;
}

// Keyboard clicks are on, as a new device ships: SpringBoard tells the keypad so as it makes it.
id passcodeView() {
  static id object;
  if (object == nullptr && keep(object, "SBUIPasscodeLockViewBase") != nullptr)
    host::send<void>(object, "setPlaysKeypadSounds:", static_cast<BOOL>(YES));
  return object;
}

id lockButtonInteraction() {
  static id object;
  return keep(object, "SBSleepWakeHardwareButtonInteraction");
}

id coverSheetViewController() {
  static id object;
  return keep(object, "SBCoverSheetPrimarySlidingViewController");
}

id chargingController() { return detail::sharedInstanceOf("SBUIController"); }

id volumeControl() {
  static id object;
  return keep(object, "SBVolumeControl");
}

namespace {
id switchTarget() {
  static id object;
  return keep(object, "HostSwitchTarget");
}
}  // namespace

id springBoardSwitch() {
  static id object;
  if (object == nullptr && keep(object, "UISwitch") != nullptr) {
    host::send<void>(object, "addTarget:action:forControlEvents:", switchTarget(), host::sel("switchChanged:"),
                     static_cast<unsigned long>(host::uikit::UIControlEventValueChanged));
  }
  return object;
}

// SpringBoard is the process's UIApplication: its shared application is the SpringBoard object.
id application() {
  Class cls = objc_getClass("SpringBoard");
  return cls != Nil ? host::send(cls, "sharedApplication") : nullptr;
}

int switchValueChangesSeen() { return detail::ivarOr<int>(switchTarget(), "_valueChangesSeen", 0); }

}  // namespace host::springboard
