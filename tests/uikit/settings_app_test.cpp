// The Settings-app stand-in: opening a pane from its PreferenceLoader entry, showing its page, and
// what a person does on it.
#include <gtest/gtest.h>

#include <CoreFoundation/CoreFoundation.h>

#include <filesystem>

#include "host/device.h"
#include "host/preferences.h"
#include "host/trace.h"
#include "support/fresh_process.h"
#include "support/temp_dir.h"
#include "uikit_test_support.h"

namespace {

using host::settings::Pane;
using testing_support::inFreshProcess;
using testing_support::TempDir;
namespace fs = std::filesystem;

std::string plist(const std::string& body) {
  return "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<plist version=\"1.0\">\n" + body + "\n</plist>\n";
}

const char kStored[] = "<key>defaults</key><string>com.example.fixture</string>"
                       "<key>PostNotification</key><string>com.example.fixture.changed</string>";

std::vector<std::string> traced;
void collect(const char* line, void*) { traced.emplace_back(line); }

// A jailbreak root with the fixture pane installed as Settings finds it.
struct Device {
  TempDir dir;
  fs::path jbroot = dir / "device/var/jb";
  fs::path bundle = jbroot / "Library/PreferenceBundles/FixturePane.bundle";

  explicit Device(bool withExecutable = true) {
    host::device::setRoot((dir / "device").string());
    testing_support::writeFile(jbroot / "Library/PreferenceLoader/Preferences/Fixture.plist",
                               plist("<dict><key>entry</key><dict><key>bundle</key><string>FixturePane</string>"
                                     "<key>cell</key><string>PSLinkCell</string><key>label</key><string>Fixture</string>"
                                     "<key>isController</key><true/></dict></dict>"));
    testing_support::writeFile(bundle / "Info.plist",
                               plist("<dict><key>CFBundleExecutable</key><string>FixturePane</string>"
                                     "<key>NSPrincipalClass</key><string>FixturePaneController</string></dict>"));
    testing_support::writeFile(
        bundle / "Root.plist",
        plist(std::string("<dict><key>items</key><array>"
                          "<dict><key>cell</key><string>PSGroupCell</string></dict>"
                          "<dict><key>cell</key><string>PSSwitchCell</string><key>label</key><string>Enabled</string>"
                          "<key>key</key><string>enabled</string><key>default</key><false/>") +
              kStored +
              "</dict><dict><key>cell</key><string>PSLinkListCell</string><key>label</key><string>Unlock</string>"
              "<key>key</key><string>unlockSound</string><key>default</key><integer>2</integer>" +
              kStored +
              "<key>validValues</key><array><integer>1</integer><integer>2</integer><integer>3</integer></array>"
              "<key>validTitles</key><array><string>Bell</string><string>Chime</string><string>Drum</string></array></dict>"
              "<dict><key>cell</key><string>PSButtonCell</string><key>label</key><string>Say Hello</string>"
              "<key>action</key><string>sayHello</string></dict>"
              "</array></dict>"));
    if (withExecutable) fs::copy_file(FIXTURE_PANE_LIBRARY, bundle / "FixturePane");
    traced.clear();
    host::setTraceSink(&collect, nullptr);
  }
};

std::unique_ptr<Pane> open(const Device& device) {
  std::string error;
  auto pane = Pane::open(device.jbroot.string(), "Fixture", &error);
  EXPECT_NE(pane, nullptr) << error;
  return pane;
}

long storedInteger(CFStringRef key) {
  CFPropertyListRef value = CFPreferencesCopyValue(key, CFSTR("com.example.fixture"), kCFPreferencesCurrentUser, kCFPreferencesAnyHost);
  long result = -1;
  if (value != nullptr && CFGetTypeID(value) == CFNumberGetTypeID()) CFNumberGetValue(static_cast<CFNumberRef>(value), kCFNumberLongType, &result);
  if (value == kCFBooleanTrue) result = 1;
  if (value != nullptr) CFRelease(value);
  return result;
}

TEST(SettingsApp, OpensThePaneOfTheEntryAndShowsEveryRow) {
  inFreshProcess([] {
    Device device;
    auto pane = open(device);
    ASSERT_NE(pane, nullptr);
    EXPECT_STREQ(object_getClassName(pane->controller()), "FixturePaneController");
    EXPECT_EQ(host::send(pane->navigationController(), "navigationController"), pane->enclosingNavigationController());
    host::settings::PageShot page = pane->show();
    EXPECT_EQ(page.title, "Fixture");
    EXPECT_EQ(page.rightButtonTitle, "Again");
    ASSERT_EQ(page.rows.size(), 3u);
    EXPECT_EQ(page.rows[0].cellClass, "PSSwitchTableCell");
    EXPECT_EQ(page.rows[0].key, "enabled");
    EXPECT_TRUE(page.rows[0].hasSwitch);
    EXPECT_FALSE(page.rows[0].switchOn);
    ASSERT_EQ(page.rows[0].labels.size(), 1u);
    EXPECT_EQ(page.rows[0].labels[0].text, "Enabled");
    EXPECT_EQ(page.rows[0].labels[0].pointSize, 17);
    EXPECT_EQ(page.rows[1].detail, "Chime");
    EXPECT_EQ(page.rows[2].labels[0].text, "Say Hello");
    EXPECT_TRUE(page.hasHeader);
    EXPECT_EQ(page.headerSize.width, 390);
    EXPECT_EQ(page.headerSize.height, 100);
    EXPECT_TRUE(page.hasBanner);
    EXPECT_EQ(page.bannerSize.width, 390);
    EXPECT_FALSE(page.bannerHasImage);
  });
}

TEST(SettingsApp, ThePageFollowsTheScreenWidth) {
  inFreshProcess([] {
    Device device;
    host::uikit::setScreenWidth(428);
    auto pane = open(device);
    ASSERT_NE(pane, nullptr);
    EXPECT_EQ(pane->show().headerSize.width, 428);
  });
}

TEST(SettingsApp, TogglingASwitchAndChoosingAListValueWriteTheStore) {
  inFreshProcess([] {
    Device device;
    auto pane = open(device);
    ASSERT_NE(pane, nullptr);
    pane->show();
    std::string error;
    EXPECT_TRUE(pane->toggleSwitch("enabled", &error)) << error;
    EXPECT_EQ(storedInteger(CFSTR("enabled")), 1);
    EXPECT_TRUE(pane->chooseListValue("unlockSound", "3", &error)) << error;
    EXPECT_EQ(storedInteger(CFSTR("unlockSound")), 3);
    host::settings::PageShot page = pane->show();
    EXPECT_TRUE(page.rows[0].switchOn);
    EXPECT_EQ(page.rows[1].detail, "Drum");
    EXPECT_FALSE(pane->chooseListValue("unlockSound", "9", &error));
    EXPECT_FALSE(pane->toggleSwitch("unlockSound", &error));
    EXPECT_FALSE(pane->toggleSwitch("nothing", &error));
  });
}

TEST(SettingsApp, ButtonsAndTheRightBarButtonRunTheirActionsAndClosingSaysGoodbye) {
  inFreshProcess([] {
    Device device;
    auto pane = open(device);
    ASSERT_NE(pane, nullptr);
    pane->show();
    std::string error;
    EXPECT_TRUE(pane->pressButton("Say Hello", &error)) << error;
    EXPECT_TRUE(pane->pressRightBarButton(&error)) << error;
    EXPECT_FALSE(pane->pressButton("Enabled", &error));
    pane->close();
    pane->close();
    std::vector<std::string> fixtureLines;
    for (const std::string& line : traced)
      if (line.rfind("fixture", 0) == 0) fixtureLines.push_back(line);
    EXPECT_EQ(fixtureLines, (std::vector<std::string>{"fixture hello", "fixture again", "fixture leaves"}));
  });
}

TEST(SettingsApp, SaysWhyAPaneCannotBeOpened) {
  inFreshProcess([] {
    Device device(false);
    std::string error;
    EXPECT_EQ(Pane::open(device.jbroot.string(), "Fixture", &error), nullptr);
    EXPECT_NE(error.find("cannot load"), std::string::npos) << error;
    EXPECT_EQ(Pane::open(device.jbroot.string(), "Absent", &error), nullptr);
    EXPECT_NE(error.find("no PreferenceLoader entry"), std::string::npos) << error;
    fs::remove_all(device.bundle);
    EXPECT_EQ(Pane::open(device.jbroot.string(), "Fixture", &error), nullptr);
    EXPECT_NE(error.find("no bundle"), std::string::npos) << error;
  });
}

TEST(Snapshots, FormatOneLinePerItem) {
  host::settings::PageShot page;
  page.title = "P";
  page.hasHeader = true;
  page.headerSize = CGSizeMake(390, 160);
  page.hasBanner = true;
  page.bannerSize = CGSizeMake(390, 160);
  host::settings::RowShot row;
  row.cellClass = "PSSwitchTableCell";
  row.key = "enabled";
  row.labels = {{"Enabled", 18}};
  row.hasSwitch = row.switchOn = row.hasOnTint = true;
  row.onTint = {0.796, 0.855, 0.91, 1};
  page.rows = {row};
  host::settings::GroupShot group;
  group.hasHeader = true;
  group.header = "Sounds";
  page.groups = {group};
  std::string text = host::settings::format(page);
  EXPECT_NE(text.find("header 390x160 banner 390x160 image no\ngroup 0 header \"Sounds\" footer none\nrow 0.0 "),
            std::string::npos)
      << text;
  EXPECT_NE(text.find("row 0.0 PSSwitchTableCell key=enabled labels [\"Enabled\" 18pt depth 1] tint 0.000,0.000,0.000,0.000 "
                      "switch on on-tint 0.796,0.855,0.910,1.000\n"),
            std::string::npos)
      << text;
}

}  // namespace
