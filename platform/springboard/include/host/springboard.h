// Host stand-in for SpringBoard: its classes that the tweak hooks or asks, and the events a person
// causes on the device (locking it, pressing volume up, tapping an icon...), driven the way SpringBoard
// itself would call those classes.
//
// The classes keep the system behaviour of the methods the tweak takes over, observably: the system's
// own lock sound, charging chime, screenshot shutter and keypad click go through the system-sound
// service (AudioServicesPlaySystemSound with iOS's predefined identifiers below), the volume moves,
// the lock and cover-sheet states follow lock and unlock. So a test can tell a wrapper that ran the
// previous implementation from a replacement that did not.
//
// Everything here runs on the calling thread, which plays SpringBoard's main thread.
#pragma once

#include <objc/runtime.h>

#include <initializer_list>
#include <string>
#include <vector>

namespace host::springboard {

// iOS's predefined system sounds that SpringBoard plays itself.
constexpr unsigned kLockSoundID = 1100;             // the lock click
constexpr unsigned kKeypadTockSoundID = 1104;       // a passcode keypad key
constexpr unsigned kChargerConnectedSoundID = 1106; // the charging chime
constexpr unsigned kShutterSoundID = 1108;          // the screenshot shutter

// ---- the process ------------------------------------------------------------------------------

// The iOS version whose call paths the classes follow: 15, 16, 17 or 18 (15 until set). Set it before
// defineClasses. What differs, as public runtime-header dumps and decompiled SpringBoard show it
// (sim/README.md lists each difference with its source): from 17 the icon manager has
// iconTapped:modifierFlags:, and a tap reaches it through that selector instead of iconTapped:.
void setSystemVersion(int major);
int systemVersion();

// Defines SpringBoard's classes in this process, except those named in `missing`, as a system that
// lacks them (another iOS version) would be: SBHIconManager, SBIconView, SBIconScrollView,
// SBUIPasscodeLockViewBase, SBSleepWakeHardwareButtonInteraction, SBLockScreenManager,
// SBCoverSheetPrimarySlidingViewController (with its superclass SBCoverSheetSlidingViewController;
// neither implements viewWillDisappear:, which they inherit), SBCoverSheetPresentationManager, SBUIController,
// SSScreenCapturer, SBVolumeControl, SBFolderView, SpringBoard, and HostSwitchTarget (the object that
// listens to SpringBoard's switch). Call it once per process, before the tweak is loaded (UIKit's
// classes, UISwitch among them, come from the UIKit stand-in). Events that need a missing class do
// what the rest of the system does without it: nothing, or no more than the part that does not need it.
void defineClasses(std::initializer_list<const char*> missing = {});
// The same with a list made at run time.
void defineClasses(const std::vector<std::string>& missing);

// The device's state after start-up: unlocked, with the cover sheet dismissed since the last lock,
// no charger, volume 8/16, the switch off.

// ---- events -----------------------------------------------------------------------------------

// SpringBoard finishes launching: the application object is sent applicationDidFinishLaunching: with
// itself as the argument.
void launchSpringBoard();

// The side button locks the device: the button interaction sends _playLockSound while the interface
// is not yet locked (or, pressed on the lock screen, while it already is), then the lock screen
// manager reports the interface locked and the cover sheet counts as not dismissed since the lock.
void lockDevice();

// The cover sheet is swiped away: it starts to slide, its primary sliding view controller gets
// viewWillDisappear:YES, then the presentation manager records the dismissal and the interface is
// unlocked. Repeated while unlocked, it is a later dismissal of the cover sheet.
void unlockDevice();

// A charger is connected: the power source reports charging and whether it wants the chime (a charger
// that was already charging, or wireless charging with the chime off, does not), then SBUIController
// is sent playChargingChimeIfAppropriate.
void plugInCharger(bool wantsChime = true);
void unplugCharger();

// The side and volume-up buttons together: the screen is captured, then +[SSScreenCapturer
// playScreenshotSound] is sent.
void takeScreenshot();

// The volume buttons: SBVolumeControl is sent increaseVolume / decreaseVolume.
void pressVolumeUp();
void pressVolumeDown();

// A person flips SpringBoard's switch (a UISwitch in its process): the switch toggles, then it is sent
// sendActionsForControlEvents:UIControlEventValueChanged, as UIKit does for a user's flip.
void flipSwitch();

// A finger starts dragging the home-screen pages: SBFolderView is sent scrollViewWillBeginDragging:
// with its scroll view.
void startDraggingPage();

// An app icon is tapped: its view (`icon`, or SpringBoard's own icon view when nil), whose delegate is
// the icon manager, handles the tap. Up to iOS 16 the view sends the manager iconTapped:; from 17
// iconTapped:modifierFlags: with no modifier flags. Should the manager then hold other flags than the
// view sent, that is traced: "SpringBoard: the icon manager got modifier flags <n>, the tap had 0".
void tapIcon(id icon = nullptr);

// A key of the passcode keypad goes down: the passcode view (made on first use, when SpringBoard also
// sends it setPlaysKeypadSounds:YES, as keyboard clicks are on) is sent _sendDelegateKeypadKeyDown.
void pressPasscodeKey();

// ---- state a person could read off the device -------------------------------------------------

float volume();                           // 0 to 1, in steps of 1/16
bool isLocked();                          // SBLockScreenManager's isUILocked (false without the class)
bool hasBeenDismissedSinceKeybagLock();   // the presentation manager's answer (false without it)
bool isCharging();
bool switchIsOn();
int switchValueChangesSeen();             // ValueChanged actions the switch's target received
int appsOpened();                         // icons the icon manager acted on
id lastTappedIcon();
int keypadKeyDownsSent();                 // key-downs the passcode view passed to its delegate
bool playsKeypadSounds();                 // the passcode view's setting
int coverSheetDisappearances();           // times the cover sheet started to slide away
long long lastModifierFlags();            // what the icon manager's iconTapped:modifierFlags: last got
int pageDragsBegun();                     // scrollViewWillBeginDragging: the folder view handled
int screenshotsTaken();
bool hasFinishedLaunching();

// ---- SpringBoard's objects, for tests that send them messages directly: made on first use (the
// passcode view as pressPasscodeKey describes), nil when the class is missing

id iconManager();
id iconView();
id passcodeView();
id lockButtonInteraction();
id coverSheetViewController();
id chargingController();   // SBUIController's shared instance
id volumeControl();
id springBoardSwitch();
id folderView();
id application();

}  // namespace host::springboard
