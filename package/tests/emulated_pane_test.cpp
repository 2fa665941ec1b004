// RaveloPrefs' arm64 and arm64e bytes in the Settings app, under emulation on the stand-ins. The
// shipped scenarios show the page, its actions and its links on both slices with the host build's
// transcript (tests/sim/device_binaries_test.cpp); what they cannot show is here: the class the
// initialiser registers as the device's runtime reads it, its tear-down, and the font size at every
// screen width (a CGRect that comes back in d0-d3).
#include "emulated_device.h"
#include "host/objc.h"
#include "host/uikit.h"
#include "prefs/settings_device.h"

namespace {

using host::send;

// Each case runs on each slice of the pane, arm64e with pointer authentication enforced.
class EmulatedPane : public testing::TestWithParam<std::string> {
 protected:
  void SetUp() override {
    SKIP_WITHOUT_DEVICE_BUILD();
    std::string missing = emulated::missingSliceReason(device::kPane, GetParam());
    if (!missing.empty()) GTEST_SKIP() << missing;
  }

  // The Settings app with the pane's bundle installed from the device build.
  static prefs_testing::SettingsDevice settingsDevice() {
    prefs_testing::Layout layout;
    layout.executable = device::outputOf(device::kPane);
    return prefs_testing::SettingsDevice(layout);
  }
};

std::string typesOf(Class cls, const char* selector) {
  Method method = class_getInstanceMethod(cls, host::sel(selector));
  return method != nullptr ? method_getTypeEncoding(method) : "(none)";
}

TEST_P(EmulatedPane, TheInitialiserRegistersTheControllerWithItsFieldsAndTypesAndItsTearDownReleasesThem) {
  emulated::inEmulatedProcess(GetParam(), "Preferences", [] {
    prefs_testing::SettingsDevice device = settingsDevice();
    auto pane = device.open();
    ASSERT_NE(pane, nullptr);
    Class cls = objc_getClass("RaveloRootListController");
    ASSERT_NE(cls, Nil);
    EXPECT_EQ(class_getSuperclass(cls), objc_getClass("PSListController"));
    Ivar header = class_getInstanceVariable(cls, "_headerView"), banner = class_getInstanceVariable(cls, "_headerImageView");
    ASSERT_TRUE(header != nullptr && banner != nullptr);
    EXPECT_STREQ(ivar_getTypeEncoding(header), "@\"UIView\"");
    EXPECT_STREQ(ivar_getTypeEncoding(banner), "@\"UIImageView\"");
    // BOOL is bool on arm64 Apple: the appearance methods take a 'B' (the host build's runtime says 'C').
    EXPECT_EQ(typesOf(cls, "viewWillAppear:"), "v@:B");
    EXPECT_EQ(typesOf(cls, "viewWillDisappear:"), "v@:B");
    EXPECT_EQ(typesOf(cls, "fontSizeForDevice"), "d@:");

    // The accessors keep what they are given; tear-down releases both, then runs PSListController's.
    host::AutoreleasePool pool;
    id controller = send(send(reinterpret_cast<id>(cls), "alloc"), "init");
    id view = send(objc_getClass("UIView"), "new"), image = send(objc_getClass("UIView"), "new");
    send<void>(controller, "setHeaderView:", view);
    send<void>(controller, "setHeaderImageView:", image);
    EXPECT_EQ(host::ivarRef<id>(controller, "_headerView"), view);
    EXPECT_EQ(send(controller, "headerImageView"), image);
    EXPECT_EQ(host::retainCount(view), 2u);
    host::release(controller);
    pool.drain();
    EXPECT_EQ(host::retainCount(view), 1u);
    EXPECT_EQ(host::retainCount(image), 1u);
    host::release(image);
    host::release(view);
  });
}

TEST_P(EmulatedPane, FontSizeFollowsTheMainScreensWidthReturnedAsACGRect) {
  emulated::inEmulatedProcess(GetParam(), "Preferences", [] {
    prefs_testing::SettingsDevice device = settingsDevice();
    auto pane = device.open();
    ASSERT_NE(pane, nullptr);
    const std::pair<CGFloat, CGFloat> sizes[] = {{320, 14}, {375, 14}, {390, 18}, {393, 18},
                                                 {414, 18}, {428, 17}, {430, 17}, {768, 17}};
    for (auto [width, points] : sizes) {
      host::uikit::setScreenWidth(width);
      EXPECT_EQ(send<CGFloat>(pane->controller(), "fontSizeForDevice"), points) << "screen width " << width;
    }
  });
}

INSTANTIATE_TEST_SUITE_P(Slices, EmulatedPane, testing::ValuesIn(emulated::kSliceNames), emulated::sliceTestName);

}  // namespace
