// RaveloPrefs' arm64 and arm64e bytes, run in an emulated Settings app: the controller class its
// initialiser registers, the screen-width font sizes (a CGRect returned through the ABI), the actions.
#include <memory>

#include "emulated_device.h"
#include "host/objc.h"

using emu::Process;

namespace {

// Each case runs on each slice of the pane, arm64e with pointer authentication enforced.
class EmulatedPane : public testing::TestWithParam<std::string> {
 protected:
  void SetUp() override {
    SKIP_WITHOUT_DEVICE_BUILD();
    slice_ = emulated::sliceOf(device::kPane, GetParam());
    if (!slice_) GTEST_SKIP() << emulated::missingSliceReason(device::kPane, GetParam());
  }
  // The Settings app after loading the bundle's executable; `controller` is a new page controller.
  Process& settings(bool libroot = true) {
    process_ = std::make_unique<Process>(Process::Options{"Preferences", libroot, emu::architectureOf(slice_->image)});
    process_->load(slice_->image, emulated::kPanePath);
    uint64_t cls = process_->objc.getClass("RaveloRootListController");
    controller = cls == 0 ? 0 : process_->objc.send(process_->objc.send(cls, "alloc").x0, "init").x0;
    return *process_;
  }

  host::AutoreleasePool pool_;
  emulated::DeviceRoot root_;
  std::optional<emulated::Slice> slice_;
  std::unique_ptr<Process> process_;
  uint64_t controller = 0;
};

TEST_P(EmulatedPane, TheInitialiserRegistersTheControllerWithItsTwoFieldsAndItsMethods) {
  Process& app = settings();
  emu::ObjcRuntime& rt = app.objc;
  uint64_t cls = rt.getClass("RaveloRootListController");
  ASSERT_NE(cls, 0u) << "RaveloRootListController is not registered";
  EXPECT_EQ(rt.superclassOf(cls), rt.getClass("PSListController"));

  auto ivars = rt.ivars(cls);
  ASSERT_EQ(ivars.size(), 2u);
  uint64_t base = rt.instanceSize(rt.getClass("PSListController"));
  EXPECT_EQ(ivars[0].name, "_headerView");
  EXPECT_EQ(ivars[0].types, "@\"UIView\"");
  EXPECT_EQ(ivars[0].offset, (base + 7) / 8 * 8);
  EXPECT_EQ(ivars[1].name, "_headerImageView");
  EXPECT_EQ(ivars[1].types, "@\"UIImageView\"");
  EXPECT_EQ(ivars[1].offset, ivars[0].offset + 8);

  std::vector<std::string> names, types;
  for (const emu::MethodInfo& m : rt.methods(cls)) {
    names.push_back(m.selector);
    types.push_back(m.types);
  }
  EXPECT_EQ(names, (std::vector<std::string>{"specifiers", "viewWillAppear:", "viewWillDisappear:", "viewDidLoad",
                                             "tableView:cellForRowAtIndexPath:", "fontSizeForDevice", "respring",
                                             "PayPal", "Email", "headerView", "setHeaderView:", "headerImageView",
                                             "setHeaderImageView:", "dealloc", "bundle"}));
  // BOOL is bool on arm64 Apple: the appearance methods take a 'B'.
  EXPECT_EQ(types[1], "v@:B");
  EXPECT_EQ(types[5], "d@:");

  // The accessors write the fields at their registered offsets and retain; tear-down releases the
  // banner, then its container, then runs PSListController's.
  uint64_t header = app.instance("UIView"), banner = app.instance("UIView");
  rt.send(controller, "setHeaderView:", {header});
  rt.send(controller, "setHeaderImageView:", {banner});
  EXPECT_EQ(app.machine.load<uint64_t>(controller + ivars[0].offset), header);
  EXPECT_EQ(app.machine.load<uint64_t>(controller + ivars[1].offset), banner);
  EXPECT_EQ(rt.send(controller, "headerImageView").x0, banner);
  EXPECT_EQ(rt.references(header), 2);
  rt.send(controller, "release");
  EXPECT_FALSE(rt.alive(controller));
  EXPECT_EQ(rt.references(header), 1);
  EXPECT_EQ(rt.references(banner), 1);
}

TEST_P(EmulatedPane, FontSizeFollowsTheMainScreensWidthReturnedAsACGRect) {
  const std::pair<double, double> sizes[] = {{320, 14}, {375, 14}, {390, 18}, {393, 18}, {414, 18},
                                             {428, 17}, {430, 17}, {768, 17}};
  Process& app = settings();
  for (auto [width, points] : sizes) {
    app.screenWidth = width;
    EXPECT_EQ(app.objc.send(controller, "fontSizeForDevice").d[0], points) << "screen width " << width;
  }
}

TEST_P(EmulatedPane, RespringSpawnsKillallOnBackboardd) {
  for (bool libroot : {true, false}) {
    SCOPED_TRACE(libroot ? "with libroot" : "without libroot");
    Process& app = settings(libroot);
    app.objc.send(controller, "respring");
    app.objc.send(controller, "respring");
    ASSERT_EQ(app.spawns.size(), 2u) << "each press spawns, nothing is waited for";
    for (const emu::Spawn& spawn : app.spawns) {
      EXPECT_EQ(spawn.path, std::string(libroot ? Process::kLibrootPrefix : "/var/jb") + "/usr/bin/killall");
      EXPECT_EQ(spawn.arguments, (std::vector<std::string>{"killall", "-9", "backboardd"}));
      EXPECT_FALSE(spawn.fileActions || spawn.attributes || spawn.environment);
    }
  }
}

TEST_P(EmulatedPane, TheLinksOpenTheirUrlsWithEmptyOptions) {
  Process& app = settings();
  app.objc.send(controller, "PayPal");
  app.objc.send(controller, "Email");
  ASSERT_EQ(app.openedUrls.size(), 2u);
  EXPECT_EQ(app.openedUrls[0].url.rfind("https://www.paypal.com/donate/?cmd=_donations&business=", 0), 0u)
      << app.openedUrls[0].url;
  EXPECT_NE(app.openedUrls[0].url.find("&item_name="), std::string::npos);
  EXPECT_EQ(app.openedUrls[1].url.rfind("mailto:", 0), 0u) << app.openedUrls[1].url;
  for (const emu::OpenedUrl& opened : app.openedUrls) {
    EXPECT_TRUE(opened.optionsGiven);
    EXPECT_EQ(opened.optionCount, 0u);
    EXPECT_FALSE(opened.completionGiven);
  }
}

INSTANTIATE_TEST_SUITE_P(Slices, EmulatedPane, testing::ValuesIn(emulated::kSliceNames), emulated::sliceTestName);

}  // namespace
