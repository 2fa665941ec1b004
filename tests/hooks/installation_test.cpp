// Which hooks go in: the rows whose switch is on, only with the master switch on at start-up, and
// without harm when the running system lacks a class.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <ostream>

#include "hooks/springboard_process.h"
#include "host/objc.h"
#include "host/springboard.h"
#include "support/fresh_process.h"

using namespace hooks_testing;
using testing_support::inFreshProcess;
namespace sb = host::springboard;

namespace {

// The methods the tweak may take over, with the switch that governs each.
struct Row {
  const char* switchKey;
  const char* className;
  const char* selector;
  bool classMethod;
};
constexpr Row kRows[] = {
    {"IconSound", "SBHIconManager", "iconTapped:", false},
    {"PassSound", "SBUIPasscodeLockViewBase", "_sendDelegateKeypadKeyDown", false},
    {"PassSound", "SBUIPasscodeLockViewBase", "setPlaysKeypadSounds:", false},
    {"LockSoundC", "SBSleepWakeHardwareButtonInteraction", "_playLockSound", false},
    {"UnlockSoundC", "SBCoverSheetPrimarySlidingViewController", "viewWillDisappear:", false},
    {"ChargingSoundC", "SBUIController", "playChargingChimeIfAppropriate", false},
    {"screenshotSoundC", "SSScreenCapturer", "playScreenshotSound", true},
    {"VolumeUpC", "SBVolumeControl", "increaseVolume", false},
    {"VolumeDownC", "SBVolumeControl", "decreaseVolume", false},
    {"SwitchOnOff", "UISwitch", "sendActionsForControlEvents:", false},
    {"PageScroll", "SBFolderView", "scrollViewWillBeginDragging:", false},
    {"Startup", "SpringBoard", "applicationDidFinishLaunching:", false},
    {"IconSound", "SBHIconManager", "iconTapped:modifierFlags:", false},  // iOS 17 on
};

std::vector<IMP> implementations() {
  std::vector<IMP> imps;
  for (const Row& row : kRows) imps.push_back(implementationOf(row.className, row.selector, row.classMethod));
  return imps;
}

// The switch keys of the rows whose implementation differs between the two snapshots.
std::vector<std::string> hookedRows(const std::vector<IMP>& before, const std::vector<IMP>& after) {
  std::vector<std::string> hooked;
  for (size_t i = 0; i < std::size(kRows); ++i)
    if (before[i] != after[i]) hooked.push_back(std::string(kRows[i].switchKey) + " " + kRows[i].selector);
  return hooked;
}

// On iOS 15 and 16 SpringBoard has no iconTapped:modifierFlags:, so IconSound hooks iconTapped: alone;
// from 17 it hooks both.
TEST(Installation, EachSwitchHooksItsOwnRowsOnlyWhereTheSystemHasThem) {
  for (int version : {15, 17}) {
    for (const char* key : kFeatureSwitches) {
      SCOPED_TRACE(std::string(key) + " on iOS " + std::to_string(version));
      inFreshProcess([key, version] {
        SpringBoard springBoard({}, version);
        springBoard.turnOn({key});
        std::vector<IMP> before = implementations();
        springBoard.loadTweak();
        std::vector<std::string> expected;
        for (size_t i = 0; i < std::size(kRows); ++i)
          if (std::strcmp(kRows[i].switchKey, key) == 0 && before[i] != nullptr)
            expected.push_back(std::string(key) + " " + kRows[i].selector);
        EXPECT_EQ(hookedRows(before, implementations()), expected);
        if (std::strcmp(key, "IconSound") == 0) EXPECT_EQ(expected.size(), version >= 17 ? 2u : 1u);
      });
    }
  }
}

TEST(Installation, WithIconSoundOnAndPassSoundOffThePasscodeViewKeepsItsClicks) {
  inFreshProcess([] {
    SpringBoard springBoard;
    springBoard.turnOn({"IconSound"});
    springBoard.loadTweak();
    sb::tapIcon();
    sb::pressPasscodeKey();
    EXPECT_TRUE(sb::playsKeypadSounds());
    EXPECT_EQ(sb::keypadKeyDownsSent(), 1);
    EXPECT_EQ(springBoard.heard(), (Heard{kIconTapFile, "system keypad tock"}));
  });
}

TEST(Installation, MasterSwitchOffAtStartUpInstallsNothingForTheProcessLife) {
  inFreshProcess([] {
    SpringBoard springBoard;
    springBoard.turnOnEverything();
    springBoard.device().setBool("enabled", false);
    std::vector<IMP> before = implementations();
    springBoard.loadTweak();
    EXPECT_EQ(hookedRows(before, implementations()), std::vector<std::string>{});

    springBoard.device().setBool("enabled", true);
    springBoard.device().notifyChanged();
    EXPECT_EQ(hookedRows(before, implementations()), std::vector<std::string>{});
    sb::lockDevice();
    sb::pressVolumeUp();
    EXPECT_EQ(springBoard.heard(), Heard{"system lock"});
  });
}

// A system without one of SpringBoard's classes: every switch on, every event once. The events that
// need the class make no sound of ours; everything else works as usual.
struct MissingClass {
  const char* name;
  Heard heard;
};

void PrintTo(const MissingClass& missing, std::ostream* out) { *out << missing.name; }

class MissingClasses : public testing::TestWithParam<MissingClass> {};

TEST_P(MissingClasses, DoNotCrashAndTheOtherHooksStillWork) {
  inFreshProcess([] {
    const MissingClass& missing = GetParam();
    SpringBoard springBoard({missing.name});
    springBoard.turnOnEverything();
    springBoard.loadTweak();
    sb::launchSpringBoard();
    sb::tapIcon();
    sb::lockDevice();
    sb::lockDevice();
    sb::pressPasscodeKey();
    sb::unlockDevice();
    sb::unlockDevice();
    sb::plugInCharger();
    sb::takeScreenshot();
    sb::pressVolumeUp();
    sb::pressVolumeDown();
    sb::flipSwitch();
    sb::startDraggingPage();
    EXPECT_EQ(springBoard.heard(), missing.heard);
  });
}

// What everything plays with no class missing, less the sounds listed.
Heard allBut(std::initializer_list<const char*> silenced) {
  Heard heard{kStartupFile,  kIconTapFile,     kLockFile,     kPasscodeFile,   kUnlockFile,   kChargingFile,
              kScreenshotFile, kVolumeUpFile, kVolumeDownFile, kSwitchOnFile, kPageScrollFile};
  for (const char* s : silenced) std::erase(heard, s);
  return heard;
}

// A missing lock screen manager or presentation manager answers false: the sound plays every time.
Heard twice(const char* file) {
  Heard heard = allBut({});
  heard.insert(std::find(heard.begin(), heard.end(), file), file);
  return heard;
}

INSTANTIATE_TEST_SUITE_P(
    EachClass, MissingClasses,
    testing::Values(MissingClass{"SBHIconManager", allBut({kIconTapFile})},
                    MissingClass{"SBIconView", allBut({kIconTapFile})},  // taps go through the icon view
                    MissingClass{"SBUIPasscodeLockViewBase", allBut({kPasscodeFile})},
                    MissingClass{"SBSleepWakeHardwareButtonInteraction", allBut({kLockFile})},
                    MissingClass{"SBLockScreenManager", twice(kLockFile)},
                    MissingClass{"SBCoverSheetPrimarySlidingViewController", allBut({kUnlockFile})},
                    MissingClass{"SBCoverSheetPresentationManager", twice(kUnlockFile)},
                    MissingClass{"SBUIController", allBut({kChargingFile})},
                    MissingClass{"SSScreenCapturer", allBut({kScreenshotFile})},
                    MissingClass{"SBVolumeControl", allBut({kVolumeUpFile, kVolumeDownFile})},
                    MissingClass{"SBFolderView", allBut({kPageScrollFile})},
                    MissingClass{"SpringBoard", allBut({kStartupFile})}),
    [](const testing::TestParamInfo<MissingClass>& info) { return std::string(info.param.name); });

TEST(MissingClassesAll, NoneOfSpringBoardsClassesStillLoadsAndHooksTheSwitch) {
  inFreshProcess([] {
    SpringBoard springBoard({"SBHIconManager", "SBIconView", "SBIconScrollView", "SBUIPasscodeLockViewBase",
                             "SBSleepWakeHardwareButtonInteraction", "SBLockScreenManager",
                             "SBCoverSheetPrimarySlidingViewController", "SBCoverSheetPresentationManager",
                             "SBUIController", "SSScreenCapturer", "SBVolumeControl", "SBFolderView", "SpringBoard"});
    springBoard.turnOnEverything();
    springBoard.loadTweak();
    sb::lockDevice();
    sb::unlockDevice();
    sb::flipSwitch();
    EXPECT_EQ(springBoard.heard(), Heard{kSwitchOnFile});
  });
}

// Stands in for a lock screen manager that appears after the first lock: its interface is locked.
BOOL answersYes(id, SEL) { return YES; }

TEST(MissingClassesLater, ALockScreenManagerThatAppearsLaterIsAsked) {
  inFreshProcess([] {
    SpringBoard springBoard({"SBLockScreenManager"});
    springBoard.turnOn({"LockSoundC"});
    springBoard.loadTweak();
    sb::lockDevice();
    host::ClassBuilder("SBLockScreenManager", "NSObject")
        .classMethod("sharedInstance", +[](id cls, SEL) { return cls; })
        .classMethod("isUILocked", &answersYes)
        .registerClass();
    host::send<void>(sb::lockButtonInteraction(), "_playLockSound");
    EXPECT_EQ(springBoard.heard(), Heard{kLockFile});
  });
}

TEST(MissingClassesLater, APresentationManagerThatAppearsLaterIsAsked) {
  inFreshProcess([] {
    SpringBoard springBoard({"SBCoverSheetPresentationManager"});
    springBoard.turnOn({"UnlockSoundC"});
    springBoard.loadTweak();
    sb::unlockDevice();
    host::ClassBuilder("SBCoverSheetPresentationManager", "NSObject")
        .classMethod("sharedInstance", +[](id cls, SEL) { return cls; })
        .classMethod("hasBeenDismissedSinceKeybagLock", &answersYes)
        .registerClass();
    host::send<void>(sb::coverSheetViewController(), "viewWillDisappear:", static_cast<BOOL>(YES));
    EXPECT_EQ(springBoard.heard(), Heard{kUnlockFile});
  });
}

}  // namespace
