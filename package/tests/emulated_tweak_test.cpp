// Ravelo.dylib's arm64 and arm64e bytes, run in an emulated SpringBoard: start-up, previews, the hooks
// as SpringBoard calls them, and the readings of stored values.
#include <algorithm>
#include <memory>

#include "emulated_device.h"
#include "host/objc.h"

using emu::Process;
using emu::Ran;

namespace {

const char* const kSwitchKeys[] = {"IconSound",   "PassSound",  "screenshotSoundC", "LockSoundC",
                                   "UnlockSoundC", "ChargingSoundC", "VolumeUpC", "VolumeDownC",
                                   "SwitchOnOff", "PageScroll", "Startup"};
const char* const kSoundKeys[] = {"iconTapSound",  "unlockSound",     "lockSound",      "chargingSound",
                                  "passcodeSound", "screenshotSound", "VolumeUpSound",  "VolumeDownSound",
                                  "SwitchOffSound", "SwitchOnSound",  "PageScrollSound", "StartupSound"};

// The hook table: which switch installs which method, in installation order.
struct Row {
  const char* key;
  const char* method;
  bool added;  // the class only inherits the method
};
const Row kHookTable[] = {
    {"IconSound", "-[SBHIconManager iconTapped:]", false},
    {"PassSound", "-[SBUIPasscodeLockViewBase _sendDelegateKeypadKeyDown]", false},
    {"PassSound", "-[SBUIPasscodeLockViewBase setPlaysKeypadSounds:]", false},
    {"LockSoundC", "-[SBSleepWakeHardwareButtonInteraction _playLockSound]", false},
    {"UnlockSoundC", "-[SBCoverSheetPrimarySlidingViewController viewWillDisappear:]", false},
    {"ChargingSoundC", "-[SBUIController playChargingChimeIfAppropriate]", false},
    {"screenshotSoundC", "+[SSScreenCapturer playScreenshotSound]", false},
    {"VolumeUpC", "-[SBVolumeControl increaseVolume]", false},
    {"VolumeDownC", "-[SBVolumeControl decreaseVolume]", false},
    {"SwitchOnOff", "-[UISwitch sendActionsForControlEvents:]", true},
    {"PageScroll", "-[SBFolderView scrollViewWillBeginDragging:]", false},
    {"Startup", "-[SpringBoard applicationDidFinishLaunching:]", false},
};

// Each case runs on each slice of the tweak: arm64 in an A11-like process, arm64e in an A12-like one
// with pointer authentication enforced.
class EmulatedTweak : public testing::TestWithParam<std::string> {
 protected:
  void SetUp() override {
    SKIP_WITHOUT_DEVICE_BUILD();
    slice_ = emulated::sliceOf(device::kTweak, GetParam());
    if (!slice_) GTEST_SKIP() << emulated::missingSliceReason(device::kTweak, GetParam());
  }

  // SpringBoard starting with the tweak injected.
  Process& springBoard(bool libroot = true) {
    process_ = std::make_unique<Process>(Process::Options{"SpringBoard", libroot, emu::architectureOf(slice_->image)});
    tweak_ = &process_->load(slice_->image, emulated::kTweakPath);
    return *process_;
  }
  void enableAll() {
    root_.setBool("enabled", true);
    for (const char* key : kSwitchKeys) root_.setBool(key, true);
  }
  std::vector<int32_t> soundSlots() {
    std::vector<int32_t> slots(12);
    process_->machine.read(tweak_->symbol("_SoundSlot"), slots.data(), 12 * sizeof(int32_t));
    return slots;
  }
  std::vector<bool> featureSwitches() {
    std::vector<bool> switches;
    for (int i = 0; i < 12; ++i) switches.push_back(process_->machine.load<uint8_t>(tweak_->symbol("_FeatureSwitches") + i));
    return switches;
  }

  host::AutoreleasePool pool_;
  emulated::DeviceRoot root_;
  std::optional<emulated::Slice> slice_;
  std::unique_ptr<Process> process_;
  const emu::LoadedImage* tweak_ = nullptr;
};

TEST_P(EmulatedTweak, StartUpRegistersForTheNotificationAndInstallsExactlyTheEnabledHooks) {
  enableAll();
  {
    Process& sb = springBoard();
    ASSERT_EQ(sb.observers.size(), 1u);
    EXPECT_EQ(sb.observers[0].name, "com.tamsel.ravelo.prefsupdate");
    EXPECT_EQ(sb.observers[0].observer, 0u);
    EXPECT_EQ(sb.observers[0].object, 0u);
    EXPECT_EQ(sb.observers[0].behaviour, 4) << "CFNotificationSuspensionBehaviorDeliverImmediately";
    ASSERT_EQ(sb.hooks.size(), std::size(kHookTable));
    for (size_t i = 0; i < sb.hooks.size(); ++i) {
      EXPECT_EQ(sb.hooks[i].method, kHookTable[i].method);
      EXPECT_EQ(sb.hooks[i].added, kHookTable[i].added) << kHookTable[i].method;
    }
  }
  // Only the switched-on rows; nothing at all with the master switch off.
  for (const char* key : kSwitchKeys) root_.set(key, nullptr);
  root_.setBool("PassSound", true);
  root_.setBool("VolumeUpC", true);
  {
    Process& sb = springBoard();
    ASSERT_EQ(sb.hooks.size(), 3u);
    EXPECT_EQ(sb.hooks[0].method, kHookTable[1].method);
    EXPECT_EQ(sb.hooks[1].method, kHookTable[2].method);
    EXPECT_EQ(sb.hooks[2].method, kHookTable[7].method);
  }
  root_.setBool("enabled", false);
  Process& sb = springBoard();
  EXPECT_TRUE(sb.hooks.empty());
  EXPECT_EQ(sb.observers.size(), 1u);
}

TEST_P(EmulatedTweak, FirstLoadIsSilentAndAReloadPreviewsChangedSelectionsInSlotOrder) {
  root_.setBool("enabled", true);
  root_.setInt("iconTapSound", 12);
  root_.setInt("lockSound", 3);
  Process& sb = springBoard(false);
  EXPECT_TRUE(sb.audio.empty());
  root_.setInt("lockSound", 4);
  root_.setInt("iconTapSound", 13);
  sb.postDarwinNotification("com.tamsel.ravelo.prefsupdate");
  const std::string dir = "/var/jb/Library/Sounds/";
  EXPECT_EQ(sb.audio, (std::vector<std::string>{"dispose (none)", "create " + dir + "Smooth2.m4a",
                                                "play " + dir + "Smooth2.m4a", "dispose " + dir + "Smooth2.m4a",
                                                "create " + dir + "ChargingStarted2.m4a",
                                                "play " + dir + "ChargingStarted2.m4a"}));
  sb.audio.clear();
  sb.postDarwinNotification("com.tamsel.ravelo.prefsupdate");
  sb.postDarwinNotification("com.tamsel.ravelo.other");
  EXPECT_TRUE(sb.audio.empty()) << "nothing changed";
}

// Each installed handler, sent as SpringBoard sends it: the previous implementation runs (wrappers)
// or not (replacements), and the selected file is created and played.
TEST_P(EmulatedTweak, EachHandlerRunsThePreviousImplementationAsSpecifiedAndPlaysItsFile) {
  enableAll();
  for (int i = 0; i < 12; ++i) root_.setInt(kSoundKeys[i], 30 + i);  // 30 unlock.m4a ... 41 Mac_Quadra_AV_Startup
  const char* const files[] = {"unlock.m4a",  "beep-beep.m4a", "Focus.m4a",      "LinkBegin.m4a",
                               "Reorder.m4a", "SingleClick.m4a", "Switch-1.m4a", "Switch-2.m4a",
                               "Switch-3.m4a", "Switch-4.m4a", "Volume.m4a",     "Mac_Quadra_AV_Startup.m4a"};
  for (bool libroot : {true, false}) {
    SCOPED_TRACE(libroot ? "with libroot" : "without libroot");
    Process& sb = springBoard(libroot);
    const std::string dir = std::string(libroot ? Process::kLibrootPrefix : "/var/jb") + "/Library/Sounds/";
    auto lastPlayed = [&] { return sb.audio.empty() ? std::string("(nothing)") : sb.audio.back(); };
    auto played = [&](int slot) { return "play " + dir + files[slot]; };
    auto event = [&](const char* cls, const char* selector, std::vector<uint64_t> args = {}) {
      sb.ran.clear();
      sb.audio.clear();
      uint64_t receiver = sb.instance(cls);
      sb.objc.send(receiver, selector, args);
      return receiver;
    };

    uint64_t icon = sb.instance("NSObject");
    uint64_t manager = event("SBHIconManager", "iconTapped:", {icon});
    EXPECT_EQ(sb.ran, (std::vector<Ran>{{"-[SBHIconManager iconTapped:]", manager, icon}}));
    EXPECT_EQ(lastPlayed(), played(0));

    event("SBUIPasscodeLockViewBase", "_sendDelegateKeypadKeyDown");
    EXPECT_TRUE(sb.ran.empty());
    EXPECT_EQ(lastPlayed(), played(4));
    event("SBUIPasscodeLockViewBase", "setPlaysKeypadSounds:", {1});
    EXPECT_TRUE(sb.ran.empty());
    EXPECT_TRUE(sb.audio.empty());

    sb.uiLocked = false;
    event("SBSleepWakeHardwareButtonInteraction", "_playLockSound");
    EXPECT_TRUE(sb.ran.empty());
    EXPECT_EQ(lastPlayed(), played(2));
    sb.uiLocked = true;
    event("SBSleepWakeHardwareButtonInteraction", "_playLockSound");
    EXPECT_TRUE(sb.audio.empty()) << "a press on the lock screen stays silent";

    sb.coverSheetDismissedSinceLock = false;
    uint64_t sheet = event("SBCoverSheetPrimarySlidingViewController", "viewWillDisappear:", {1});
    EXPECT_EQ(sb.ran, (std::vector<Ran>{{"-[SBCoverSheetPrimarySlidingViewController viewWillDisappear:]", sheet, 1}}));
    EXPECT_EQ(lastPlayed(), played(1));
    sb.coverSheetDismissedSinceLock = true;
    event("SBCoverSheetPrimarySlidingViewController", "viewWillDisappear:", {0});
    EXPECT_EQ(sb.ran.size(), 1u);
    EXPECT_TRUE(sb.audio.empty()) << "a later dismissal is no unlock";

    sb.powerSourceWantsChime = true;
    event("SBUIController", "playChargingChimeIfAppropriate");
    EXPECT_TRUE(sb.ran.empty());
    EXPECT_EQ(lastPlayed(), played(3));
    sb.powerSourceWantsChime = false;
    event("SBUIController", "playChargingChimeIfAppropriate");
    EXPECT_TRUE(sb.audio.empty());

    sb.ran.clear();
    sb.objc.send(sb.objc.getClass("SSScreenCapturer"), "playScreenshotSound");
    EXPECT_TRUE(sb.ran.empty());
    EXPECT_EQ(lastPlayed(), played(5));

    uint64_t volume = event("SBVolumeControl", "increaseVolume");
    EXPECT_EQ(sb.ran, (std::vector<Ran>{{"-[SBVolumeControl increaseVolume]", volume, 0}}));
    EXPECT_EQ(lastPlayed(), played(6));
    volume = event("SBVolumeControl", "decreaseVolume");
    EXPECT_EQ(sb.ran, (std::vector<Ran>{{"-[SBVolumeControl decreaseVolume]", volume, 0}}));
    EXPECT_EQ(lastPlayed(), played(7));

    for (bool on : {true, false}) {
      uint64_t control = sb.instance("UISwitch");
      sb.switchIsOn[control] = on;
      sb.ran.clear();
      sb.objc.send(control, "sendActionsForControlEvents:", {1ul << 12});
      EXPECT_EQ(sb.ran, (std::vector<Ran>{{"-[UIControl sendActionsForControlEvents:]", control, 1ul << 12}}));
      EXPECT_EQ(lastPlayed(), played(on ? 9 : 8));
    }

    uint64_t scrollView = sb.instance("NSObject");
    uint64_t folder = event("SBFolderView", "scrollViewWillBeginDragging:", {scrollView});
    EXPECT_EQ(sb.ran, (std::vector<Ran>{{"-[SBFolderView scrollViewWillBeginDragging:]", folder, scrollView}}));
    EXPECT_EQ(lastPlayed(), played(10));

    uint64_t application = sb.instance("SpringBoard");
    event("SpringBoard", "applicationDidFinishLaunching:", {application});
    ASSERT_EQ(sb.ran.size(), 1u);
    EXPECT_EQ(sb.ran[0].method, "-[SpringBoard applicationDidFinishLaunching:]");
    EXPECT_EQ(sb.ran[0].argument, application);
    EXPECT_EQ(lastPlayed(), played(11));
  }
}

// Every stored type, read by the device code as the host stand-in reads it: numbers, booleans and
// strings by their boolValue / integerValue; anything else as absent.
// From iOS 17 SpringBoard taps icons through -[SBHIconManager iconTapped:modifierFlags:] (a long long):
// the table's last row hooks it there, and the wrapper hands the original all 64 bits of the flags.
TEST_P(EmulatedTweak, TheIconTapOfIos17GetsItsFlagsThroughAndPlaysOnce) {
  root_.setBool("enabled", true);
  root_.setBool("IconSound", true);
  root_.setInt("iconTapSound", 30);
  process_ = std::make_unique<Process>(Process::Options{"SpringBoard", true, emu::architectureOf(slice_->image)});
  Process& sb = *process_;
  sb.objc.method("SBHIconManager", "iconTapped:modifierFlags:", "v@:@q", [&sb](emu::Cpu& cpu) {
    sb.ran.push_back({"-[SBHIconManager iconTapped:modifierFlags:]", cpu.x(0), cpu.x(3)});
  });
  tweak_ = &sb.load(slice_->image, emulated::kTweakPath);
  ASSERT_EQ(sb.hooks.size(), 2u);
  EXPECT_EQ(sb.hooks[1].method, "-[SBHIconManager iconTapped:modifierFlags:]");
  uint64_t manager = sb.instance("SBHIconManager"), icon = sb.instance("NSObject");
  for (uint64_t flags : {0x8000000000000001ull, 0x0123456789abcdefull}) {
    sb.ran.clear();
    sb.audio.clear();
    sb.objc.send(manager, "iconTapped:modifierFlags:", {icon, flags});
    EXPECT_EQ(sb.ran, (std::vector<Ran>{{"-[SBHIconManager iconTapped:modifierFlags:]", manager, flags}}));
    EXPECT_EQ(std::count(sb.audio.begin(), sb.audio.end(), "play " + std::string(Process::kLibrootPrefix) +
                                                               "/Library/Sounds/unlock.m4a"),
              1);
  }
}

TEST_P(EmulatedTweak, StoredValuesOfEveryTypeReadAsOnTheHost) {
  double fraction = 7.9;
  long long big = (1ll << 33) + 5;
  CFNumberRef fractionNumber = CFNumberCreate(kCFAllocatorDefault, kCFNumberDoubleType, &fraction);
  CFNumberRef bigNumber = CFNumberCreate(kCFAllocatorDefault, kCFNumberLongLongType, &big);
  CFStringRef yes = CFSTR("yes"), twelve = CFSTR(" 12abc"), zero = CFSTR("0");
  CFArrayRef array = CFArrayCreate(kCFAllocatorDefault, nullptr, 0, &kCFTypeArrayCallBacks);
  CFDictionaryRef dictionary = CFDictionaryCreate(kCFAllocatorDefault, nullptr, nullptr, 0, nullptr, nullptr);
  CFDateRef date = CFDateCreate(kCFAllocatorDefault, 1000);
  CFDataRef data = CFDataCreate(kCFAllocatorDefault, reinterpret_cast<const UInt8*>("\x01"), 1);
  const CFTypeRef values[] = {kCFBooleanTrue, fractionNumber, bigNumber, yes, twelve, zero, array,
                              dictionary,     date,           data,      kCFBooleanFalse, nullptr};

  // The host's readings of the same values (absent for the other types).
  auto readable = [](CFTypeRef v) {
    return v != nullptr && (CFGetTypeID(v) == CFNumberGetTypeID() || CFGetTypeID(v) == CFBooleanGetTypeID() ||
                            CFGetTypeID(v) == CFStringGetTypeID());
  };
  id hostValue = nullptr;
  std::vector<bool> expectedSwitches{true};  // "enabled"
  std::vector<int32_t> expectedSlots;
  for (int i = 0; i < 12; ++i) {
    hostValue = reinterpret_cast<id>(const_cast<void*>(values[i]));
    if (i < 11) expectedSwitches.push_back(readable(values[i]) && host::send<BOOL>(hostValue, "boolValue"));
    expectedSlots.push_back(readable(values[i]) ? static_cast<int32_t>(host::send<long>(hostValue, "integerValue")) : 6);
  }

  root_.setBool("enabled", true);
  for (int i = 0; i < 12; ++i) {
    if (i < 11) root_.set(kSwitchKeys[i], values[i]);
    root_.set(kSoundKeys[i], values[i]);
  }
  springBoard();
  EXPECT_EQ(featureSwitches(), expectedSwitches);
  EXPECT_EQ(soundSlots(), expectedSlots);
  for (CFTypeRef v : {CFTypeRef(fractionNumber), CFTypeRef(bigNumber), CFTypeRef(array), CFTypeRef(dictionary),
                      CFTypeRef(date), CFTypeRef(data)})
    CFRelease(v);
}

TEST_P(EmulatedTweak, WithAnEmptyDomainTheFallbackFileBelowTheJailbreakRootIsRead) {
  const std::string plist =
      "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<plist version=\"1.0\"><dict><key>iconTapSound</key>"
      "<integer>21</integer></dict></plist>\n";
  root_.writeFile("/var/jb/var/mobile/Library/Preferences/com.tamsel.ravelo.plist", plist);
  std::string atLibrootPrefix = plist;
  atLibrootPrefix.replace(atLibrootPrefix.find("21"), 2, "22");
  root_.writeFile(std::string(Process::kLibrootPrefix) + "/var/mobile/Library/Preferences/com.tamsel.ravelo.plist",
                  atLibrootPrefix);
  for (bool libroot : {true, false}) {
    springBoard(libroot);
    EXPECT_EQ(soundSlots()[0], libroot ? 22 : 21);
    EXPECT_EQ(soundSlots()[1], 6);
  }
}

INSTANTIATE_TEST_SUITE_P(Slices, EmulatedTweak, testing::ValuesIn(emulated::kSliceNames), emulated::sliceTestName);

}  // namespace
