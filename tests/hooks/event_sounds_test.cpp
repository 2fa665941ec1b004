// Every event plays its selected sound; where SpringBoard has a sound of its own, the chosen one
// replaces it.
#include <gtest/gtest.h>

#include "hooks/springboard_process.h"
#include "host/springboard.h"
#include "support/fresh_process.h"

using namespace hooks_testing;
using testing_support::inFreshProcess;
namespace sb = host::springboard;

namespace {

// Each of the eleven events once (the switch twice: on, then off).
void everyEvent() {
  sb::launchSpringBoard();
  sb::tapIcon();
  sb::lockDevice();
  sb::pressPasscodeKey();
  sb::unlockDevice();
  sb::plugInCharger();
  sb::takeScreenshot();
  sb::pressVolumeUp();
  sb::pressVolumeDown();
  sb::flipSwitch();
  sb::flipSwitch();
  sb::startDraggingPage();
}

// On every iOS version the simulated SpringBoard follows.
class EventSoundsOnEachVersion : public testing::TestWithParam<int> {};

TEST_P(EventSoundsOnEachVersion, EachEventPlaysItsSelectedSoundAndNoSystemSound) {
  inFreshProcess([version = GetParam()] {
    SpringBoard springBoard({}, version);
    springBoard.turnOnEverything();
    springBoard.loadTweak();
    everyEvent();
    EXPECT_EQ(springBoard.heard(),
              (Heard{kStartupFile, kIconTapFile, kLockFile, kPasscodeFile, kUnlockFile, kChargingFile,
                     kScreenshotFile, kVolumeUpFile, kVolumeDownFile, kSwitchOnFile, kSwitchOffFile,
                     kPageScrollFile}));
  });
}

INSTANTIATE_TEST_SUITE_P(EventSounds, EventSoundsOnEachVersion, testing::Values(15, 16, 17, 18),
                         [](const testing::TestParamInfo<int>& info) { return "iOS" + std::to_string(info.param); });

TEST(EventSounds, WithNoFeatureSwitchOnSpringBoardKeepsItsOwnSounds) {
  inFreshProcess([] {
    SpringBoard springBoard;
    springBoard.turnOn({});
    springBoard.loadTweak();
    everyEvent();
    EXPECT_EQ(springBoard.heard(),
              (Heard{"system lock", "system keypad tock", "system charger connected", "system camera shutter"}));
  });
}

TEST(EventSounds, ASelectionChangedByAReloadPlaysOnTheNextEvent) {
  inFreshProcess([] {
    SpringBoard springBoard;
    springBoard.turnOn({"VolumeUpC"});
    springBoard.loadTweak();
    sb::pressVolumeUp();
    springBoard.device().setInt("VolumeUpSound", 9);
    springBoard.device().notifyChanged();  // the preview
    sb::pressVolumeUp();
    EXPECT_EQ(springBoard.heard(), (Heard{kVolumeUpFile, "PowerOn.m4a", "PowerOn.m4a"}));
  });
}

TEST(EventSounds, RepeatedEventsCreateTheSoundOnce) {
  inFreshProcess([] {
    SpringBoard springBoard;
    springBoard.turnOn({"VolumeUpC"});
    springBoard.loadTweak();
    for (int i = 0; i < 3; ++i) sb::pressVolumeUp();
    EXPECT_EQ(springBoard.device().audioCalls(),
              (std::vector<std::string>{"dispose (none)", "create Volume.m4a", "play Volume.m4a", "play Volume.m4a",
                                        "play Volume.m4a"}));
  });
}

}  // namespace
