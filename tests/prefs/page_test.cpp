// The page: opened from its Settings entry, its rows from "Root", the Respring button, the banner
// header, and the tint on the page and its navigation bars while it is shown.
#include <gtest/gtest.h>
#include <substrate.h>

#include <string>
#include <vector>

#include "host/objc.h"
#include "host/uikit.h"
#include "prefs/settings_device.h"
#include "support/fresh_process.h"

using host::send;
using host::settings::PageShot;
using prefs_testing::Layout;
using prefs_testing::paneTint;
using prefs_testing::SettingsDevice;
using testing_support::inFreshProcess;

namespace {

id classObject(const char* name) { return reinterpret_cast<id>(host::requireClass(name)); }

// A controller made directly (the bundle already loaded), with its view loaded, outside Settings.
id newController() {
  id controller = send(classObject("RaveloRootListController"), "new");
  send(controller, "view");
  return controller;
}

// ---- the page as Settings shows it ----

TEST(Page, OpensFromItsSettingsEntryWithTheRowsOfRoot) {
  inFreshProcess([] {
    SettingsDevice device;
    auto pane = device.open();
    ASSERT_NE(pane, nullptr);
    PageShot page = pane->show();
    EXPECT_EQ(page.title, "Ravelo");
    EXPECT_EQ(page.rightButtonTitle, "Respring");
    ASSERT_EQ(page.rows.size(), 12u + 12u + 2u);  // switches, sound pickers, donation and mail
    EXPECT_EQ(page.rows.front().key, "enabled");
  });
}

TEST(Page, ALongPageReadsTheSameWhereverItWasScrolledThoughItHoldsAScreenfulOfCells) {
  inFreshProcess([] {
    // Root's rows three times over: far taller than the screen, so the table keeps a screenful of cells
    // and hands them from row to row as it is scrolled, each only to a row of its own kind.
    SettingsDevice device;
    std::string items = prefs_testing::shippedItems();
    device.writeSpecifierList(items + items + items);
    auto pane = device.open();
    ASSERT_NE(pane, nullptr);
    PageShot page = pane->show();
    EXPECT_EQ(page.rows.size(), 3u * 26);
    std::string error;
    ASSERT_TRUE(pane->pressButton("Donate with PayPal", &error)) << error;  // scrolled down to it, as a person does
    EXPECT_EQ(host::settings::format(pane->show()), host::settings::format(page));
    id table = send(pane->controller(), "view");
    EXPECT_LT(send<unsigned long>(send(table, "visibleCells"), "count"), 26u);
  });
}

TEST(Page, TintsItsViewAndBothNavigationBarsWhileShown) {
  inFreshProcess([] {
    SettingsDevice device;
    auto pane = device.open();
    ASSERT_NE(pane, nullptr);
    PageShot page = pane->show();
    EXPECT_EQ(page.viewTint, paneTint());
    EXPECT_EQ(page.barTint, paneTint());
    EXPECT_EQ(page.enclosingBarTint, paneTint());
  });
}

TEST(Page, LeavingSetsBothBarsToSystemBlueWhateverTheyHadBefore) {
  inFreshProcess([] {
    SettingsDevice device;
    auto pane = device.open();
    ASSERT_NE(pane, nullptr);
    {
      host::AutoreleasePool pool;
      id red = send(classObject("UIColor"), "colorWithRed:green:blue:alpha:", 1.0, 0.0, 0.0, 1.0);
      send<void>(send(pane->navigationController(), "navigationBar"), "setTintColor:", red);
    }
    pane->close();
    PageShot page = pane->show();
    EXPECT_EQ(page.barTint, host::uikit::systemBlue());
    EXPECT_EQ(page.enclosingBarTint, host::uikit::systemBlue());
    EXPECT_EQ(page.viewTint, paneTint()) << "the page's own view keeps the pane tint";
  });
}

TEST(Page, WithoutAnEnclosingNavigationControllerOnlyItsOwnBarIsTinted) {
  inFreshProcess([] {
    SettingsDevice device;
    auto pane = device.open();  // loads the bundle
    ASSERT_NE(pane, nullptr);
    host::AutoreleasePool pool;
    id controller = newController();
    id navigation = send(send(classObject("UINavigationController"), "alloc"), "initWithRootViewController:", controller);
    ASSERT_EQ(send(navigation, "navigationController"), nullptr);
    id bar = send(navigation, "navigationBar");
    send<void>(controller, "viewWillAppear:", static_cast<BOOL>(YES));
    EXPECT_EQ(host::uikit::components(send(bar, "tintColor")), paneTint());
    send<void>(controller, "viewWillDisappear:", static_cast<BOOL>(YES));
    EXPECT_EQ(host::uikit::components(send(bar, "tintColor")), host::uikit::systemBlue());
    host::release(navigation);
    host::release(controller);
  });
}

TEST(Page, OutsideAnyNavigationControllerAppearingAndLeavingDoNothingToBars) {
  inFreshProcess([] {
    SettingsDevice device;
    auto pane = device.open();
    ASSERT_NE(pane, nullptr);
    host::AutoreleasePool pool;
    id controller = newController();
    send<void>(controller, "viewWillAppear:", static_cast<BOOL>(NO));
    send<void>(controller, "viewWillDisappear:", static_cast<BOOL>(NO));
    EXPECT_EQ(host::uikit::components(send(send(controller, "view"), "tintColor")), paneTint());
    host::release(controller);
  });
}

// ---- the specifier list ----

TEST(Specifiers, AreLoadedOnceAndThenServedFromTheCache) {
  inFreshProcess([] {
    SettingsDevice device;
    auto pane = device.open();
    ASSERT_NE(pane, nullptr);
    host::AutoreleasePool pool;
    id first = send(pane->controller(), "specifiers");
    ASSERT_NE(first, nullptr);
    device.removeSpecifierList();  // a second load would now find nothing
    EXPECT_EQ(send(pane->controller(), "specifiers"), first);
    EXPECT_EQ(send(pane->controller(), "specifiers"), first);
  });
}

TEST(Specifiers, AMissingListShowsAnEmptyPageAndIsLookedForAgain) {
  inFreshProcess([] {
    SettingsDevice device;
    device.removeSpecifierList();
    auto pane = device.open();
    ASSERT_NE(pane, nullptr);
    PageShot page = pane->show();
    EXPECT_TRUE(page.rows.empty());
    EXPECT_FALSE(page.hasHeader) << "no row was asked for, so no header was installed";
    EXPECT_EQ(page.rightButtonTitle, "Respring");

    device.writeSpecifierList(prefs_testing::groupItem("Later") + prefs_testing::switchItem("enabled", "Enabled"));
    host::AutoreleasePool pool;
    id loaded = send(pane->controller(), "specifiers");
    EXPECT_EQ(send<unsigned long>(loaded, "count"), 2u);
  });
}

TEST(Specifiers, AListWithoutRowsShowsNoHeader) {
  inFreshProcess([] {
    SettingsDevice device;
    device.writeSpecifierList("");
    auto pane = device.open();
    ASSERT_NE(pane, nullptr);
    PageShot page = pane->show();
    EXPECT_TRUE(page.rows.empty());
    EXPECT_FALSE(page.hasHeader);
  });
}

// ---- the banner header ----

TEST(Header, TheBannerFillsA160PointHeaderAboveTheRows) {
  inFreshProcess([] {
    SettingsDevice device;
    host::uikit::setScreenWidth(414);
    auto pane = device.open();
    ASSERT_NE(pane, nullptr);
    PageShot page = pane->show();
    ASSERT_TRUE(page.hasHeader);
    EXPECT_EQ(page.headerSize.width, 414);
    EXPECT_EQ(page.headerSize.height, 160);
    ASSERT_TRUE(page.hasBanner);
    EXPECT_EQ(page.bannerSize.width, 414);
    EXPECT_EQ(page.bannerSize.height, 160);
    EXPECT_TRUE(page.bannerHasImage);
  });
}

TEST(Header, AMissingBannerLeavesAnEmpty160PointHeader) {
  inFreshProcess([] {
    Layout layout;
    layout.banner = false;
    SettingsDevice device(layout);
    auto pane = device.open();
    ASSERT_NE(pane, nullptr);
    PageShot page = pane->show();
    ASSERT_TRUE(page.hasHeader);
    EXPECT_EQ(page.headerSize.height, 160);
    EXPECT_TRUE(page.hasBanner);
    EXPECT_FALSE(page.bannerHasImage);
    EXPECT_FALSE(page.rows.empty());
  });
}

TEST(Header, TheImageViewAspectFillsAndClipsToTheHeader) {
  inFreshProcess([] {
    SettingsDevice device;
    auto pane = device.open();
    ASSERT_NE(pane, nullptr);
    host::AutoreleasePool pool;
    id header = send(pane->controller(), "headerView");
    id banner = send(pane->controller(), "headerImageView");
    ASSERT_NE(header, nullptr);
    ASSERT_NE(banner, nullptr);
    EXPECT_EQ(send(banner, "superview"), header);
    EXPECT_EQ(send<long>(banner, "contentMode"), 2);
    EXPECT_TRUE(send<BOOL>(banner, "clipsToBounds"));
    EXPECT_FALSE(send<BOOL>(banner, "translatesAutoresizingMaskIntoConstraints"));
  });
}

// The paths +[UIImage imageWithContentsOfFile:] was asked for, recorded by a hook on it.
std::vector<std::string> imagePaths;
IMP previousImageWithContentsOfFile;
id recordImagePath(id cls, SEL cmd, id path) {
  imagePaths.push_back(path != nullptr ? send<const char*>(path, "UTF8String") : "(nil)");
  return reinterpret_cast<id (*)(id, SEL, id)>(previousImageWithContentsOfFile)(cls, cmd, path);
}
void recordImagePaths() {
  MSHookMessageEx(object_getClass(classObject("UIImage")), host::sel("imageWithContentsOfFile:"),
                  reinterpret_cast<IMP>(&recordImagePath), &previousImageWithContentsOfFile);
}

TEST(Header, TheBannerIsReadBelowTheJailbreakRoot) {
  inFreshProcess([] {
    SettingsDevice device;
    recordImagePaths();
    auto pane = device.open();
    ASSERT_NE(pane, nullptr);
    std::string jbroot = std::filesystem::canonical(device.jbroot()).string();
    EXPECT_EQ(imagePaths, std::vector<std::string>{jbroot + "/Library/PreferenceBundles/RaveloPrefs.bundle/banner.png"});
  });
}

TEST(Header, WithoutTheRootPathLibraryTheBannerIsLookedForBelowVarJb) {
  inFreshProcess([] {
    Layout layout;
    layout.libroot = false;
    SettingsDevice device(layout);
    recordImagePaths();
    auto pane = device.open();
    ASSERT_NE(pane, nullptr);
    EXPECT_EQ(imagePaths, std::vector<std::string>{"/var/jb/Library/PreferenceBundles/RaveloPrefs.bundle/banner.png"});
    PageShot page = pane->show();
    EXPECT_TRUE(page.hasHeader);
    EXPECT_FALSE(page.bannerHasImage);
  });
}

TEST(Header, EachViewLoadBuildsAFreshHeaderAndButton) {
  inFreshProcess([] {
    SettingsDevice device;
    auto pane = device.open();
    ASSERT_NE(pane, nullptr);
    host::AutoreleasePool pool;
    id controller = pane->controller();
    id header = host::retain(send(controller, "headerView"));
    id button = host::retain(send(send(controller, "navigationItem"), "rightBarButtonItem"));
    send<void>(controller, "viewDidLoad");
    EXPECT_NE(send(controller, "headerView"), header);
    EXPECT_NE(send(send(controller, "navigationItem"), "rightBarButtonItem"), button);
    EXPECT_EQ(send(send(controller, "headerImageView"), "superview"), send(controller, "headerView"));
    host::release(header);
    host::release(button);
  });
}

// ---- tear-down ----

TEST(Teardown, ReleasesBothHeaderViews) {
  inFreshProcess([] {
    SettingsDevice device;
    auto pane = device.open();
    ASSERT_NE(pane, nullptr);
    host::AutoreleasePool pool;
    id controller = newController();
    id header = host::retain(send(controller, "headerView"));
    id banner = host::retain(send(controller, "headerImageView"));
    pool.drain();
    unsigned long headerCount = host::retainCount(header);
    unsigned long bannerCount = host::retainCount(banner);
    host::release(controller);
    pool.drain();
    EXPECT_EQ(host::retainCount(header), headerCount - 1);
    EXPECT_EQ(host::retainCount(banner), bannerCount - 1);
    host::release(banner);
    host::release(header);
  });
}

TEST(Teardown, AShownAndClosedPageLeavesNoObjectsBehind) {
  inFreshProcess([] {
    SettingsDevice device;
    auto warmUp = device.open();  // loads the bundle and fills the stand-ins' one-time caches
    ASSERT_NE(warmUp, nullptr);
    warmUp->show();
    warmUp->close();
    warmUp.reset();
    long before = host::liveObjectCount();
    {
      auto pane = device.open();
      ASSERT_NE(pane, nullptr);
      pane->show();
      pane->close();
    }
    EXPECT_EQ(host::liveObjectCount(), before);
  });
}

}  // namespace
