// Replaced methods: the chosen sound stands in for SpringBoard's own, under SpringBoard's own
// conditions (lock state, cover-sheet dismissal, the power source's wish for a chime).
#include <gtest/gtest.h>

#include "hooks/springboard_process.h"
#include "host/objc.h"
#include "host/springboard.h"
#include "support/fresh_process.h"

using namespace hooks_testing;
using testing_support::inFreshProcess;
namespace sb = host::springboard;

namespace {

TEST(LockSound, PlaysOnlyWhileTheInterfaceIsNotYetLocked) {
  inFreshProcess([] {
    SpringBoard springBoard;
    springBoard.turnOn({"LockSoundC"});
    springBoard.loadTweak();
    sb::lockDevice();
    EXPECT_TRUE(sb::isLocked());
    sb::lockDevice();  // the side button pressed again on the lock screen
    EXPECT_EQ(springBoard.heard(), Heard{kLockFile});
    sb::unlockDevice();
    sb::lockDevice();
    EXPECT_EQ(springBoard.heard(), (Heard{kLockFile, kLockFile}));
  });
}

TEST(LockSound, WithoutTheHookTheSystemClickPlaysEveryPress) {
  inFreshProcess([] {
    SpringBoard springBoard;
    springBoard.turnOn({"UnlockSoundC"});
    springBoard.loadTweak();
    sb::lockDevice();
    sb::lockDevice();
    EXPECT_EQ(springBoard.heard(), (Heard{"system lock", "system lock"}));
  });
}

TEST(UnlockSound, PlaysOnTheFirstDismissalSinceTheLockOnly) {
  inFreshProcess([] {
    SpringBoard springBoard;
    springBoard.turnOn({"UnlockSoundC"});
    springBoard.loadTweak();
    sb::unlockDevice();  // the device starts unlocked: a dismissal without a lock
    EXPECT_EQ(springBoard.heard(), Heard{});
    sb::lockDevice();
    sb::unlockDevice();
    EXPECT_FALSE(sb::isLocked());
    EXPECT_TRUE(sb::hasBeenDismissedSinceKeybagLock());
    sb::unlockDevice();  // the cover sheet pulled down and dismissed again while unlocked
    EXPECT_EQ(springBoard.heard(), (Heard{"system lock", kUnlockFile}));
    sb::lockDevice();
    sb::unlockDevice();
    EXPECT_EQ(springBoard.heard(), (Heard{"system lock", kUnlockFile, "system lock", kUnlockFile}));
  });
}

TEST(ChargingSound, PlaysOnlyWhenThePowerSourceWantsAChime) {
  inFreshProcess([] {
    SpringBoard springBoard;
    springBoard.turnOn({"ChargingSoundC"});
    springBoard.loadTweak();
    sb::plugInCharger(/*wantsChime=*/false);
    EXPECT_EQ(springBoard.heard(), Heard{});
    sb::unplugCharger();
    sb::plugInCharger(/*wantsChime=*/true);
    EXPECT_EQ(springBoard.heard(), Heard{kChargingFile});
    EXPECT_TRUE(sb::isCharging());
  });
}

TEST(ChargingSound, WithoutTheHookTheChimeFollowsThePowerSource) {
  inFreshProcess([] {
    SpringBoard springBoard;
    springBoard.turnOn({});
    springBoard.loadTweak();
    sb::plugInCharger(false);
    sb::plugInCharger(true);
    EXPECT_EQ(springBoard.heard(), Heard{"system charger connected"});
  });
}

TEST(ScreenshotSound, ReplacesTheShutterAndTheScreenIsStillCaptured) {
  inFreshProcess([] {
    SpringBoard springBoard;
    springBoard.turnOn({"screenshotSoundC"});
    springBoard.loadTweak();
    sb::takeScreenshot();
    EXPECT_EQ(sb::screenshotsTaken(), 1);
    EXPECT_EQ(springBoard.heard(), Heard{kScreenshotFile});
  });
}

TEST(PasscodeSound, ReplacesTheKeypadClick) {
  inFreshProcess([] {
    SpringBoard springBoard;
    springBoard.turnOn({"PassSound"});
    springBoard.loadTweak();
    sb::pressPasscodeKey();
    sb::pressPasscodeKey();
    EXPECT_EQ(springBoard.heard(), (Heard{kPasscodeFile, kPasscodeFile}));
    EXPECT_EQ(sb::keypadKeyDownsSent(), 0);  // the replaced method's own work no longer runs
  });
}

TEST(PasscodeSound, SetPlaysKeypadSoundsHasNoEffect) {
  inFreshProcess([] {
    SpringBoard springBoard;
    springBoard.turnOn({"PassSound"});
    springBoard.loadTweak();
    id view = sb::passcodeView();  // SpringBoard has asked it for keypad sounds as it made it
    EXPECT_FALSE(sb::playsKeypadSounds());
    host::send<void>(view, "setPlaysKeypadSounds:", static_cast<BOOL>(YES));
    EXPECT_FALSE(sb::playsKeypadSounds());
    host::ivarRef<BOOL>(view, "_playsKeypadSounds") = YES;
    host::send<void>(view, "setPlaysKeypadSounds:", static_cast<BOOL>(NO));
    EXPECT_TRUE(sb::playsKeypadSounds());
  });
}

}  // namespace
