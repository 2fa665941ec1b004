// The harness-side classes of the two host processes: UIKit's, SpringBoard's (the methods the tweak
// hooks or asks, whose original implementations record that they ran), and the Settings app's
// Preferences list controller. Their answers come from the Process's device state.
#include <string>

#include "process.h"

namespace emu {
namespace {

// UIViewController and PSListController: instance variables by name, 8 bytes each, as the binary
// finds them through class_getInstanceVariable.
const std::vector<std::pair<std::string, uint64_t>> kViewControllerIvars{{"_view", 8}, {"_navigationItem", 8}};
const std::vector<std::pair<std::string, uint64_t>> kListControllerIvars{{"_table", 8}, {"_specifiers", 8},
                                                                       {"_bundle", 8}};

}  // namespace

void Process::defineUIKit() {
  objc.defineClass("UIResponder", "NSObject");
  objc.defineClass("UIView", "UIResponder");
  objc.defineClass("UIControl", "UIView");
  objc.defineClass("UISwitch", "UIControl");
  objc.defineClass("UIViewController", "UIResponder", kViewControllerIvars);
  objc.defineClass("UIScreen", "NSObject");
  objc.defineClass("UIApplication", "UIResponder");

  objc.method("UIControl", "sendActionsForControlEvents:", "v@:Q",
              [this](Cpu& cpu) { ran.push_back({"-[UIControl sendActionsForControlEvents:]", cpu.x(0), cpu.x(2)}); });
  objc.method("UISwitch", "isOn", "B@:", [this](Cpu& cpu) { returnBool(cpu, switchIsOn[cpu.x(0)]); });
  objc.method("UIViewController", "viewWillDisappear:", "v@:B", [this](Cpu& cpu) {
    ran.push_back({"-[UIViewController viewWillDisappear:]", cpu.x(0), boolArgument(cpu, 2)});
  });

  // +[UIScreen mainScreen].bounds: a CGRect, four doubles, comes back in d0-d3 (a homogeneous
  // floating-point aggregate under Apple's arm64 convention), never through memory at x8.
  uint64_t screen = objc.createInstance(objc.getClass("UIScreen"));
  objc.classMethod("UIScreen", "mainScreen", "@@:", [screen](Cpu& cpu) { cpu.setX(0, screen); });
  objc.method("UIScreen", "bounds", "{CGRect={CGPoint=dd}{CGSize=dd}}@:", [this](Cpu& cpu) {
    cpu.setD(0, 0);
    cpu.setD(1, 0);
    cpu.setD(2, screenWidth);
    cpu.setD(3, screenHeight);
    cpu.setX(8, 0);  // nothing is written through x8
  });

  uint64_t application = 0;
  auto sharedApplication = [this, application](Cpu& cpu) mutable {
    if (application == 0) {
      uint64_t cls = objc.getClass(options_.program == "SpringBoard" ? "SpringBoard" : "UIApplication");
      application = objc.createInstance(cls);
    }
    cpu.setX(0, application);
  };
  objc.classMethod("UIApplication", "sharedApplication", "@@:", sharedApplication);
  objc.method("UIApplication", "openURL:options:completionHandler:", "v@:@@@?", [this](Cpu& cpu) {
    OpenedUrl opened;
    CFTypeRef url = foundation.toHost(cpu.x(2));
    if (url == nullptr || CFGetTypeID(url) != CFURLGetTypeID()) machine.fail("openURL: without a URL");
    opened.url = foundation.text(foundation.toEmu(CFURLGetString(static_cast<CFURLRef>(url)),
                                                  Foundation::Ownership::Borrowed));
    opened.optionsGiven = cpu.x(3) != 0;
    if (opened.optionsGiven) opened.optionCount = CFDictionaryGetCount(static_cast<CFDictionaryRef>(foundation.toHost(cpu.x(3))));
    opened.completionGiven = cpu.x(4) != 0;
    openedUrls.push_back(opened);
  });
}

void Process::defineSpringBoard() {
  objc.defineClass("SpringBoard", "UIApplication");
  for (const char* name : {"SBHIconManager", "SBUIPasscodeLockViewBase", "SBSleepWakeHardwareButtonInteraction",
                           "SBLockScreenManager", "SBCoverSheetPresentationManager", "SBUIController",
                           "SSScreenCapturer", "SBVolumeControl", "SBFolderView"})
    objc.defineClass(name, "NSObject");
  objc.defineClass("SBCoverSheetPrimarySlidingViewController", "UIViewController");

  // Original implementations: each records that it ran, with its receiver and argument.
  auto original = [this](const std::string& className, const std::string& selector, const std::string& types) {
    std::string name = "-[" + className + " " + selector + "]";
    bool takesArgument = selector.back() == ':';
    objc.method(className, selector, types, [this, name, takesArgument](Cpu& cpu) {
      ran.push_back({name, cpu.x(0), takesArgument ? cpu.x(2) : 0});
    });
  };
  original("SBHIconManager", "iconTapped:", "v@:@");
  original("SBUIPasscodeLockViewBase", "_sendDelegateKeypadKeyDown", "v@:");
  objc.method("SBUIPasscodeLockViewBase", "setPlaysKeypadSounds:", "v@:B", [this](Cpu& cpu) {
    ran.push_back({"-[SBUIPasscodeLockViewBase setPlaysKeypadSounds:]", cpu.x(0), boolArgument(cpu, 2)});
  });
  original("SBSleepWakeHardwareButtonInteraction", "_playLockSound", "v@:");
  original("SBUIController", "playChargingChimeIfAppropriate", "v@:");
  original("SBVolumeControl", "increaseVolume", "v@:");
  original("SBVolumeControl", "decreaseVolume", "v@:");
  original("SBFolderView", "scrollViewWillBeginDragging:", "v@:@");
  original("SpringBoard", "applicationDidFinishLaunching:", "v@:@");
  objc.method("SBCoverSheetPrimarySlidingViewController", "viewWillDisappear:", "v@:B", [this](Cpu& cpu) {
    ran.push_back({"-[SBCoverSheetPrimarySlidingViewController viewWillDisappear:]", cpu.x(0), boolArgument(cpu, 2)});
  });
  objc.classMethod("SSScreenCapturer", "playScreenshotSound", "v@:", [this](Cpu& cpu) {
    ran.push_back({"+[SSScreenCapturer playScreenshotSound]", cpu.x(0), 0});
  });

  // What the hooks ask SpringBoard.
  for (const char* name : {"SBLockScreenManager", "SBCoverSheetPresentationManager"}) {
    uint64_t shared = objc.createInstance(objc.getClass(name));
    objc.classMethod(name, "sharedInstance", "@@:", [shared](Cpu& cpu) { cpu.setX(0, shared); });
  }
  objc.method("SBLockScreenManager", "isUILocked", "B@:", [this](Cpu& cpu) { returnBool(cpu, uiLocked); });
  objc.method("SBCoverSheetPresentationManager", "hasBeenDismissedSinceKeybagLock", "B@:",
              [this](Cpu& cpu) { returnBool(cpu, coverSheetDismissedSinceLock); });
  objc.method("SBUIController", "_powerSourceWantsToPlayChime", "B@:",
              [this](Cpu& cpu) { returnBool(cpu, powerSourceWantsChime); });
}

void Process::defineSettingsApp() {
  objc.defineClass("PSViewController", "UIViewController");
  objc.defineClass("PSListController", "PSViewController", kListControllerIvars);
  objc.defineClass("PSControlTableCell", "NSObject");
}

}  // namespace emu
