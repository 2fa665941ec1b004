// Wrapped methods keep SpringBoard's behaviour: the previous implementation runs with the same
// receiver, selector and argument, before the sound (the switch: after it).
#include <gtest/gtest.h>

#include "hooks/springboard_process.h"
#include "host/objc.h"
#include "host/springboard.h"
#include "host/uikit.h"
#include "support/fresh_process.h"

using namespace hooks_testing;
using testing_support::inFreshProcess;
namespace sb = host::springboard;
using Lines = std::vector<std::string>;

namespace {

TEST(Wrappers, TheVolumeChangesBeforeTheSound) {
  inFreshProcess([] {
    SpringBoard springBoard;
    springBoard.turnOn({"VolumeUpC", "VolumeDownC"});
    springBoard.loadTweak();
    sb::pressVolumeUp();
    EXPECT_FLOAT_EQ(sb::volume(), 9.0f / 16);
    sb::pressVolumeDown();
    sb::pressVolumeDown();
    EXPECT_FLOAT_EQ(sb::volume(), 7.0f / 16);
    Lines lines = springBoard.traced({"SpringBoard: volume", "audio play"});
    ASSERT_EQ(lines.size(), 6u);
    EXPECT_EQ(lines[0], "SpringBoard: volume 9/16");
    EXPECT_NE(lines[1].find(kVolumeUpFile), std::string::npos) << lines[1];
    EXPECT_EQ(lines[2], "SpringBoard: volume 8/16");
    EXPECT_NE(lines[3].find(kVolumeDownFile), std::string::npos) << lines[3];
    EXPECT_EQ(lines[4], "SpringBoard: volume 7/16");
  });
}

TEST(Wrappers, TheTappedIconReachesTheIconManager) {
  inFreshProcess([] {
    SpringBoard springBoard;
    springBoard.turnOn({"IconSound"});
    springBoard.loadTweak();
    id icon = host::send(host::send(objc_getClass("SBIconView"), "alloc"), "init");
    sb::tapIcon(icon);
    EXPECT_EQ(sb::appsOpened(), 1);
    EXPECT_EQ(sb::lastTappedIcon(), icon);
    EXPECT_EQ(springBoard.heard(), Heard{kIconTapFile});
    host::release(icon);
  });
}

// The cover sheet only inherits viewWillDisappear: (from UIViewController, on every iOS from 15 to 18):
// the hook becomes the cover sheet's own method and every other controller keeps UIKit's. Here the
// cover sheet's superclass records what reaches it, so the animation flag can be seen arriving.
std::vector<BOOL> disappearancesSeen;
void recordDisappearance(id, SEL, BOOL animated) { disappearancesSeen.push_back(animated); }

TEST(Wrappers, TheInheritedCoverSheetDisappearanceGetsItsAnimationFlagAndOthersKeepUIKits) {
  inFreshProcess([] {
    SpringBoard springBoard;
    springBoard.turnOn({"UnlockSoundC"});
    IMP uikits = implementationOf("UIViewController", "viewWillDisappear:");
    EXPECT_EQ(implementationOf("SBCoverSheetPrimarySlidingViewController", "viewWillDisappear:"), uikits);
    Class sliding = objc_getClass("SBCoverSheetSlidingViewController");
    class_addMethod(sliding, host::sel("viewWillDisappear:"), reinterpret_cast<IMP>(&recordDisappearance), "v@:C");
    springBoard.loadTweak();
    EXPECT_EQ(implementationOf("UIViewController", "viewWillDisappear:"), uikits);
    EXPECT_EQ(implementationOf("SBCoverSheetSlidingViewController", "viewWillDisappear:"),
              reinterpret_cast<IMP>(&recordDisappearance));

    sb::lockDevice();
    host::send<void>(sb::coverSheetViewController(), "viewWillDisappear:", static_cast<BOOL>(NO));
    sb::unlockDevice();
    EXPECT_EQ(disappearancesSeen, (std::vector<BOOL>{NO, YES}));
    EXPECT_EQ(sb::coverSheetDisappearances(), 1);
    // Both came before the dismissal was recorded, so both count as the unlock.
    EXPECT_EQ(springBoard.heard(), (Heard{"system lock", kUnlockFile, kUnlockFile}));
  });
}

TEST(Wrappers, TheFolderViewStartsDraggingItsScrollView) {
  inFreshProcess([] {
    SpringBoard springBoard;
    springBoard.turnOn({"PageScroll"});
    springBoard.loadTweak();
    sb::startDraggingPage();
    EXPECT_EQ(sb::pageDragsBegun(), 1);
    id folder = sb::folderView();
    EXPECT_EQ(host::ivarRef<id>(folder, "_draggingScrollView"), host::send(folder, "scrollView"));
    EXPECT_EQ(springBoard.heard(), Heard{kPageScrollFile});
  });
}

TEST(Wrappers, SpringBoardFinishesLaunchingBeforeTheStartupSound) {
  inFreshProcess([] {
    SpringBoard springBoard;
    springBoard.turnOn({"Startup"});
    springBoard.loadTweak();
    sb::launchSpringBoard();
    EXPECT_TRUE(sb::hasFinishedLaunching());
    EXPECT_EQ(host::ivarRef<id>(sb::application(), "_launchedApplication"), sb::application());
    Lines lines = springBoard.traced({"SpringBoard: finished", "audio play"});
    ASSERT_EQ(lines.size(), 2u);
    EXPECT_EQ(lines[0], "SpringBoard: finished launching");
    EXPECT_NE(lines[1].find(kStartupFile), std::string::npos) << lines[1];
  });
}

// The switch's state is read as the hook is entered, before any action can change it.
TEST(SwitchSound, FollowsTheSwitchStateWhateverTheEvents) {
  inFreshProcess([] {
    SpringBoard springBoard;
    springBoard.turnOn({"SwitchOnOff"});
    springBoard.loadTweak();
    id uiSwitch = sb::springBoardSwitch();
    const unsigned long events[] = {host::uikit::UIControlEventValueChanged, host::uikit::UIControlEventTouchUpInside, 0};
    for (unsigned long e : events) {
      host::send<void>(uiSwitch, "setOn:", static_cast<BOOL>(YES));
      host::send<void>(uiSwitch, "sendActionsForControlEvents:", e);
      host::send<void>(uiSwitch, "setOn:", static_cast<BOOL>(NO));
      host::send<void>(uiSwitch, "sendActionsForControlEvents:", e);
    }
    EXPECT_EQ(springBoard.heard(), (Heard{kSwitchOnFile, kSwitchOffFile, kSwitchOnFile, kSwitchOffFile,
                                          kSwitchOnFile, kSwitchOffFile}));
    // The previous implementation ran each time: only the value-changed sends reached the target.
    EXPECT_EQ(sb::switchValueChangesSeen(), 2);
  });
}

TEST(SwitchSound, PlaysBeforeTheSwitchSendsItsActions) {
  inFreshProcess([] {
    SpringBoard springBoard;
    springBoard.turnOn({"SwitchOnOff"});
    springBoard.loadTweak();
    sb::flipSwitch();
    EXPECT_TRUE(sb::switchIsOn());
    Lines lines = springBoard.traced({"SpringBoard: switch", "audio play"});
    ASSERT_EQ(lines.size(), 2u);
    EXPECT_NE(lines[0].find(kSwitchOnFile), std::string::npos) << lines[0];
    EXPECT_EQ(lines[1], "SpringBoard: switch turned on");
  });
}

TEST(SwitchSound, AppliesToEverySwitchInTheProcess) {
  inFreshProcess([] {
    SpringBoard springBoard;
    springBoard.turnOn({"SwitchOnOff"});
    springBoard.loadTweak();
    id other = host::send(host::send(objc_getClass("UISwitch"), "alloc"), "init");
    host::uikit::tapSwitch(other);
    host::uikit::tapSwitch(other);
    EXPECT_EQ(springBoard.heard(), (Heard{kSwitchOnFile, kSwitchOffFile}));
    host::release(other);
  });
}

}  // namespace
