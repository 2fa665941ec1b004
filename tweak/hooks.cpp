// The SpringBoard and UIKit methods the tweak takes over: one table of hooks, installed in order.
//
// A wrapper runs the previous implementation with the receiver, selector and argument it was sent,
// and adds a sound; a replacement does its own work and never runs the previous one (its slot is
// filled all the same). Every handler reads its sound slot at the moment of the event, so a selection
// changed by a reload takes effect on the next event.
#include "tweak/hooks.h"

#include <objc/runtime.h>
#include <stdint.h>
#include <substrate.h>

#include "common/objc_msg.h"
#include "tweak/player.h"
#include "tweak/settings.h"

namespace {

// Previous implementations, in table order; written once by MSHookMessageEx.
IMP previousIconTapped;
IMP previousKeypadKeyDown;
IMP previousSetPlaysKeypadSounds;
IMP previousPlayLockSound;
IMP previousCoverSheetWillDisappear;
IMP previousPlayChargingChime;
IMP previousPlayScreenshotSound;
IMP previousIncreaseVolume;
IMP previousDecreaseVolume;
IMP previousSendActions;
IMP previousPageWillBeginDragging;
IMP previousDidFinishLaunching;
IMP previousIconTappedWithFlags;

// Classes asked at lock and unlock, looked up on first use. A class not found is looked up again on
// the next event, so one that appears later is still found.
Class lockScreenManagerClass;
Class coverSheetPresentationManagerClass;

Class cachedClass(Class& cache, const char* name) {
  if (cache == Nil) cache = objc_getClass(name);
  return cache;
}

// The boolean answer of `selector` from the class's shared instance. A missing class or instance
// answers false (a message to nil).
bool sharedInstanceAnswers(Class cls, SEL selector) {
  id instance = rv::msg(cls, RV_SEL("sharedInstance"));
  return rv::isYes(rv::msg<BOOL>(instance, selector));
}

// ---- handlers, in table order -----------------------------------------------------------------

// A tap reaches the icon manager as iconTapped: (iOS 15 and 16; VoiceOver's activation later) or as
// iconTapped:modifierFlags: (a tap from iOS 17 on). Should one implementation send the other, or a
// SpringBoard send both for one tap, the tap still plays once: only the outermost send plays, when it
// returns, and a send through the other selector for the same icon view straight after a played one
// is taken for the same tap. (So on iOS 17 and later a VoiceOver activation of the very icon a finger
// tapped last, with no other tap between, is silent.) The view is compared, never messaged or kept.
struct IconTap {
  int depth;          // sends under way
  id lastIcon;        // the icon view of the last played tap
  bool lastHadFlags;  // whether it came as iconTapped:modifierFlags:
  bool pairable;      // whether a send through the other selector may still join it
};
IconTap iconTap;

void beginIconTap() { ++iconTap.depth; }

void endIconTap(id iconView, bool withFlags) {
  if (--iconTap.depth > 0) return;
  bool sameTap = iconTap.pairable && iconTap.lastIcon == iconView && iconTap.lastHadFlags != withFlags;
  iconTap = {0, iconView, withFlags, !sameTap};
  if (!sameTap) playSound(SoundSlot[kIconTapSound]);
}

// -[SBHIconManager iconTapped:]: wrapper.
void iconTapped(id self, SEL _cmd, id iconView) {
  beginIconTap();
  if (previousIconTapped) reinterpret_cast<void (*)(id, SEL, id)>(previousIconTapped)(self, _cmd, iconView);
  endIconTap(iconView, false);
}

// -[SBUIPasscodeLockViewBase _sendDelegateKeypadKeyDown]: replacement; the chosen sound stands in
// for the keypad click.
void keypadKeyDown(id, SEL) { playSound(SoundSlot[kPasscodeSound]); }

// -[SBUIPasscodeLockViewBase setPlaysKeypadSounds:]: replacement that ignores its argument, so the
// system's keypad clicks are never switched on.
void setPlaysKeypadSounds(id, SEL, BOOL) {}

// -[SBSleepWakeHardwareButtonInteraction _playLockSound]: replacement. Sent as the side button
// locks; only while the interface is not yet locked is the chosen sound played (a press on the lock
// screen stays silent).
void playLockSound(id, SEL) {
  Class manager = cachedClass(lockScreenManagerClass, "SBLockScreenManager");
  if (!sharedInstanceAnswers(manager, RV_SEL("isUILocked"))) playSound(SoundSlot[kLockSound]);
}

// -[SBCoverSheetPrimarySlidingViewController viewWillDisappear:]: wrapper. Only the first dismissal
// of the cover sheet since the device was locked is an unlock; later ones stay silent.
void coverSheetWillDisappear(id self, SEL _cmd, BOOL animated) {
  if (previousCoverSheetWillDisappear)
    reinterpret_cast<void (*)(id, SEL, BOOL)>(previousCoverSheetWillDisappear)(self, _cmd, animated);
  Class manager = cachedClass(coverSheetPresentationManagerClass, "SBCoverSheetPresentationManager");
  if (!sharedInstanceAnswers(manager, RV_SEL("hasBeenDismissedSinceKeybagLock"))) playSound(SoundSlot[kUnlockSound]);
}

// -[SBUIController playChargingChimeIfAppropriate]: replacement. SpringBoard's own judgement of the
// power source decides whether the chosen sound stands in for the chime.
void playChargingChime(id self, SEL) {
  if (rv::isYes(rv::msg<BOOL>(self, RV_SEL("_powerSourceWantsToPlayChime")))) playSound(SoundSlot[kChargingSound]);
}

// +[SSScreenCapturer playScreenshotSound]: replacement for the shutter (hooked on the metaclass).
void playScreenshotSound(id, SEL) { playSound(SoundSlot[kScreenshotSound]); }

// -[SBVolumeControl increaseVolume] / decreaseVolume: wrappers; the volume changes, then the sound.
void increaseVolume(id self, SEL _cmd) {
  if (previousIncreaseVolume) reinterpret_cast<void (*)(id, SEL)>(previousIncreaseVolume)(self, _cmd);
  playSound(SoundSlot[kVolumeUpSound]);
}

void decreaseVolume(id self, SEL _cmd) {
  if (previousDecreaseVolume) reinterpret_cast<void (*)(id, SEL)>(previousDecreaseVolume)(self, _cmd);
  playSound(SoundSlot[kVolumeDownSound]);
}

// -[UISwitch sendActionsForControlEvents:] (inherited from UIControl): wrapper, sound first. The
// state is read before the actions go out, so the sound is the switch's state at that moment,
// whatever the events. The result is the previous implementation's: UIKit declares the method void,
// so the wrapper keeps that shape and hands back what the previous one returns, which is nothing.
void sendActionsForControlEvents(id self, SEL _cmd, unsigned long events) {
  playSound(rv::isYes(rv::msg<BOOL>(self, RV_SEL("isOn"))) ? SoundSlot[kSwitchOnSound] : SoundSlot[kSwitchOffSound]);
  if (previousSendActions == nullptr) return;
  return reinterpret_cast<void (*)(id, SEL, unsigned long)>(previousSendActions)(self, _cmd, events);
}

// -[SBFolderView scrollViewWillBeginDragging:]: wrapper.
void pageWillBeginDragging(id self, SEL _cmd, id scrollView) {
  if (previousPageWillBeginDragging)
    reinterpret_cast<void (*)(id, SEL, id)>(previousPageWillBeginDragging)(self, _cmd, scrollView);
  playSound(SoundSlot[kPageScrollSound]);
}

// -[SpringBoard applicationDidFinishLaunching:]: wrapper.
void didFinishLaunching(id self, SEL _cmd, id application) {
  if (previousDidFinishLaunching)
    reinterpret_cast<void (*)(id, SEL, id)>(previousDidFinishLaunching)(self, _cmd, application);
  playSound(SoundSlot[kStartupSound]);
}

// -[SBHIconManager iconTapped:modifierFlags:] (iOS 17 and later): wrapper, the flags passed on as sent.
void iconTappedWithFlags(id self, SEL _cmd, id iconView, long long modifierFlags) {
  beginIconTap();
  if (previousIconTappedWithFlags)
    reinterpret_cast<void (*)(id, SEL, id, long long)>(previousIconTappedWithFlags)(self, _cmd, iconView, modifierFlags);
  endIconTap(iconView, true);
}

// ---- the table --------------------------------------------------------------------------------

struct Hook {
  SwitchIndex feature;
  const char* className;
  const char* selector;
  bool classMethod;  // hooked on the metaclass
  IMP replacement;
  IMP* previous;
};

// A plain cast keeps the table constant data: no code runs to fill it when the library loads.
#define RV_IMP(function) reinterpret_cast<IMP>(&function)

// Installation order. The two passcode rows share a switch and go in together, key-down first. The
// last row serves the icon tap where SpringBoard taps through iconTapped:modifierFlags: (iOS 17 on).
const Hook kHooks[] = {
    {kIconSound, "SBHIconManager", "iconTapped:", false, RV_IMP(iconTapped), &previousIconTapped},
    {kPassSound, "SBUIPasscodeLockViewBase", "_sendDelegateKeypadKeyDown", false, RV_IMP(keypadKeyDown),
     &previousKeypadKeyDown},
    {kPassSound, "SBUIPasscodeLockViewBase", "setPlaysKeypadSounds:", false, RV_IMP(setPlaysKeypadSounds),
     &previousSetPlaysKeypadSounds},
    {kLockSoundC, "SBSleepWakeHardwareButtonInteraction", "_playLockSound", false, RV_IMP(playLockSound),
     &previousPlayLockSound},
    {kUnlockSoundC, "SBCoverSheetPrimarySlidingViewController", "viewWillDisappear:", false,
     RV_IMP(coverSheetWillDisappear), &previousCoverSheetWillDisappear},
    {kChargingSoundC, "SBUIController", "playChargingChimeIfAppropriate", false, RV_IMP(playChargingChime),
     &previousPlayChargingChime},
    {kScreenshotSoundC, "SSScreenCapturer", "playScreenshotSound", true, RV_IMP(playScreenshotSound),
     &previousPlayScreenshotSound},
    {kVolumeUpC, "SBVolumeControl", "increaseVolume", false, RV_IMP(increaseVolume), &previousIncreaseVolume},
    {kVolumeDownC, "SBVolumeControl", "decreaseVolume", false, RV_IMP(decreaseVolume), &previousDecreaseVolume},
    {kSwitchOnOff, "UISwitch", "sendActionsForControlEvents:", false, RV_IMP(sendActionsForControlEvents),
     &previousSendActions},
    {kPageScroll, "SBFolderView", "scrollViewWillBeginDragging:", false, RV_IMP(pageWillBeginDragging),
     &previousPageWillBeginDragging},
    {kStartup, "SpringBoard", "applicationDidFinishLaunching:", false, RV_IMP(didFinishLaunching),
     &previousDidFinishLaunching},
    {kIconSound, "SBHIconManager", "iconTapped:modifierFlags:", false, RV_IMP(iconTappedWithFlags),
     &previousIconTappedWithFlags},
};

}  // namespace

// A class or method the running system lacks is skipped: the hooking library is never handed a nil
// class or a selector the class cannot answer. ElleKit declares the class non-null and Substitute
// aborts the process for either, so the call itself could take SpringBoard down; nothing would be
// hooked in any case, and the row's slot stays empty.
void installHooks(void) {
  for (const Hook& hook : kHooks) {
    if (!FeatureSwitches[hook.feature]) continue;
    Class cls = objc_getClass(hook.className);
    if (cls == Nil) continue;
    if (hook.classMethod) cls = object_getClass(reinterpret_cast<id>(cls));
    SEL selector = sel_registerName(hook.selector);
    if (class_getInstanceMethod(cls, selector) == nullptr) continue;
    MSHookMessageEx(cls, selector, hook.replacement, hook.previous);
  }
}
