// The Preferences stand-in: specifier lists from a bundle, sections and cells by type, and the stored
// values behind the rows (the store, and the notification a change posts).
#include <gtest/gtest.h>

#include <CoreFoundation/CoreFoundation.h>

#include "host/corefoundation.h"
#include "host/device.h"
#include "host/preferences.h"
#include "host/runloop.h"
#include "support/fresh_process.h"
#include "support/temp_dir.h"
#include "uikit_test_support.h"

namespace {

using namespace uikit_testing;
using host::send;
using testing_support::inFreshProcess;
using testing_support::TempDir;

const char kDomain[] = "com.example.fixture";
const char kNotification[] = "com.example.fixture.changed";

std::string plist(const std::string& body) {
  return "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<plist version=\"1.0\">\n" + body + "\n</plist>\n";
}

// A specifier list: a group, a switch, a three-sound list, a group, a button.
std::string rootPlist() {
  std::string stored = "<key>defaults</key><string>" + std::string(kDomain) +
                       "</string><key>PostNotification</key><string>" + kNotification + "</string>";
  return plist(
      "<dict><key>title</key><string>Fixture</string><key>items</key><array>"
      "<dict><key>cell</key><string>PSGroupCell</string><key>label</key><string>Main</string></dict>"
      "<dict><key>cell</key><string>PSSwitchCell</string><key>label</key><string>Enabled</string>"
      "<key>key</key><string>enabled</string><key>default</key><false/>" + stored + "</dict>"
      "<dict><key>cell</key><string>PSLinkListCell</string><key>label</key><string>Unlock</string>"
      "<key>detail</key><string>PSListItemsController</string>"
      "<key>key</key><string>unlockSound</string><key>default</key><integer>2</integer>" + stored +
      "<key>validValues</key><array><integer>1</integer><integer>2</integer><integer>3</integer></array>"
      "<key>validTitles</key><array><string>Bell</string><string>Chime</string><string>Drum</string></array></dict>"
      "<dict><key>cell</key><string>PSGroupCell</string></dict>"
      "<dict><key>cell</key><string>PSButtonCell</string><key>label</key><string>Say Hello</string>"
      "<key>action</key><string>sayHello</string></dict>"
      "</array></dict>");
}

// A list controller whose bundle is a folder the test chose, and one that keeps the inherited bundle.
std::string fixtureBundlePath;
int hellos;
id fixtureBundle(id, SEL) { return send(cls("NSBundle"), "bundleWithPath:", nsString(fixtureBundlePath)); }
void sayHello(id, SEL) { ++hellos; }
id newController(bool ownBundle) {
  static Class withBundle = host::ClassBuilder("PreferencesTestController", "PSListController")
                                .method("bundle", &fixtureBundle)
                                .method("sayHello", &sayHello)
                                .registerClass();
  static Class inherited = host::ClassBuilder("PreferencesTestPlainController", "PSListController").registerClass();
  return send(reinterpret_cast<id>(ownBundle ? withBundle : inherited), "new");
}

// A fresh device root, a bundle folder holding Root.plist, and a main bundle without one.
struct Fixture {
  TempDir dir;
  Fixture() {
    host::device::setRoot((dir / "device").string());
    fixtureBundlePath = (dir / "Fixture.bundle").string();
    testing_support::writeFile(dir / "Fixture.bundle/Root.plist", rootPlist());
    std::filesystem::create_directories(dir / "Main.app");
    host::cf::setMainBundlePath((dir / "Main.app").string());
  }
};

id load(id controller, const char* name) {
  return send(controller, "loadSpecifiersFromPlistName:target:", nsString(name), controller);
}

TEST(SpecifierLists, LoadFromTheControllersBundleWithTheGivenTarget) {
  inFreshProcess([] {
    Fixture fixture;
    host::AutoreleasePool pool;
    id controller = newController(true);
    std::vector<id> specifiers = elements(load(controller, "Root"));
    ASSERT_EQ(specifiers.size(), 5u);
    EXPECT_EQ(text(send(controller, "title")), "Fixture");
    id list = specifiers[2];
    EXPECT_TRUE(yes(send<BOOL>(list, "isKindOfClass:", host::requireClass("PSSpecifier"))));
    EXPECT_EQ(text(send(list, "name")), "Unlock");
    EXPECT_EQ(text(send(list, "identifier")), "unlockSound");
    EXPECT_EQ(send<long>(list, "cellType"), host::settings::PSLinkListCell);
    EXPECT_EQ(send<long>(specifiers[0], "cellType"), host::settings::PSGroupCell);
    EXPECT_EQ(send<long>(specifiers[1], "cellType"), host::settings::PSSwitchCell);
    EXPECT_EQ(send<long>(specifiers[4], "cellType"), host::settings::PSButtonCell);
    EXPECT_EQ(send(list, "target"), controller);
    EXPECT_EQ(text(send(list, "propertyForKey:", nsString("defaults"))), kDomain);
    EXPECT_EQ(send<unsigned long>(send(list, "values"), "count"), 3u);
    id two = send(cls("NSNumber"), "numberWithInt:", 2);
    EXPECT_EQ(text(send(send(list, "titleDictionary"), "objectForKey:", two)), "Chime");
    host::release(controller);
  });
}

TEST(SpecifierLists, AMissingOrUnreadableListGivesNil) {
  inFreshProcess([] {
    Fixture fixture;
    host::AutoreleasePool pool;
    id controller = newController(true);
    EXPECT_EQ(load(controller, "Absent"), nullptr);
    testing_support::writeFile(fixture.dir / "Fixture.bundle/Garbage.plist", "not a property list");
    EXPECT_EQ(load(controller, "Garbage"), nullptr);
    testing_support::writeFile(fixture.dir / "Fixture.bundle/NoItems.plist", plist("<dict><key>title</key><string>x</string></dict>"));
    EXPECT_EQ(load(controller, "NoItems"), nullptr);
    host::release(controller);
  });
}

TEST(SpecifierLists, AControllerMadeAtRunTimeWithoutItsOwnBundleLooksInTheMainBundle) {
  inFreshProcess([] {
    Fixture fixture;
    host::AutoreleasePool pool;
    id controller = newController(false);
    id bundle = send(controller, "bundle");
    EXPECT_EQ(text(send(bundle, "bundlePath")), (fixture.dir / "Main.app").string());
    EXPECT_EQ(load(controller, "Root"), nullptr);
    host::release(controller);
  });
}

// A controller showing the fixture list, laid out.
struct Page {
  id controller = newController(true);
  id table = nullptr;
  Page() {
    send<void>(controller, "setSpecifiers:", load(controller, "Root"));
    table = send(controller, "view");
    send<void>(table, "layoutIfNeeded");
  }
  ~Page() { host::release(controller); }
  id cell(long row, long section) {
    return send(table, "cellForRowAtIndexPath:", send(cls("NSIndexPath"), "indexPathForRow:inSection:", row, section));
  }
};

TEST(ListControllers, GroupsStartSectionsAndEachCellTypeGetsItsCell) {
  inFreshProcess([] {
    Fixture fixture;
    host::AutoreleasePool pool;
    Page page;
    EXPECT_EQ(send(page.table, "dataSource"), page.controller);
    EXPECT_EQ(send<long>(page.table, "numberOfSections"), 2);
    EXPECT_EQ(send<long>(page.table, "numberOfRowsInSection:", 0L), 2);
    EXPECT_EQ(send<long>(page.table, "numberOfRowsInSection:", 1L), 1);

    id switchCell = page.cell(0, 0);
    EXPECT_STREQ(object_getClassName(switchCell), "PSSwitchTableCell");
    EXPECT_TRUE(yes(send<BOOL>(switchCell, "isKindOfClass:", host::requireClass("PSControlTableCell"))));
    id control = send(switchCell, "control");
    EXPECT_STREQ(object_getClassName(control), "UISwitch");
    EXPECT_FALSE(yes(send<BOOL>(control, "isOn")));  // the default
    EXPECT_EQ(text(send(send(switchCell, "textLabel"), "text")), "Enabled");
    EXPECT_EQ(send(send(switchCell, "textLabel"), "superview"), send(switchCell, "contentView"));

    id listCell = page.cell(1, 0);
    EXPECT_STREQ(object_getClassName(listCell), "PSTableCell");
    EXPECT_EQ(text(send(send(listCell, "detailTextLabel"), "text")), "Chime");  // the default, 2

    id buttonCell = page.cell(0, 1);
    EXPECT_STREQ(object_getClassName(buttonCell), "PSTableCell");
    EXPECT_EQ(text(send(send(buttonCell, "textLabel"), "text")), "Say Hello");
  });
}

TEST(ListControllers, AnEmptyListHasNoSections) {
  inFreshProcess([] {
    Fixture fixture;
    host::AutoreleasePool pool;
    id controller = newController(false);  // finds no list
    id table = send(controller, "view");
    send<void>(table, "layoutIfNeeded");
    EXPECT_EQ(send<long>(table, "numberOfSections"), 0);
    host::release(controller);
  });
}

int notifications;
void countNotification(CFNotificationCenterRef, void*, CFNotificationName, const void*, CFDictionaryRef) { ++notifications; }

TEST(StoredValues, TappingASwitchWritesTheStoreAndPostsTheNotification) {
  inFreshProcess([] {
    Fixture fixture;
    host::AutoreleasePool pool;
    CFNotificationCenterAddObserver(CFNotificationCenterGetDarwinNotifyCenter(), nullptr, &countNotification,
                                    CFSTR("com.example.fixture.changed"), nullptr,
                                    CFNotificationSuspensionBehaviorDeliverImmediately);
    Page page;
    notifications = 0;
    host::uikit::tapSwitch(send(page.cell(0, 0), "control"));
    CFPropertyListRef stored = CFPreferencesCopyValue(CFSTR("enabled"), CFSTR("com.example.fixture"),
                                                      kCFPreferencesCurrentUser, kCFPreferencesAnyHost);
    EXPECT_EQ(stored, kCFBooleanTrue);
    if (stored != nullptr) CFRelease(stored);
    EXPECT_TRUE(host::runloop::runUntil([] { return notifications == 1; }, 5000));
  });
}

TEST(StoredValues, ReadingAnswersTheStoredValueOrTheDefault) {
  inFreshProcess([] {
    Fixture fixture;
    host::AutoreleasePool pool;
    Page page;
    id list = send(page.cell(1, 0), "specifier");
    id value = send(page.controller, "readPreferenceValue:", list);
    EXPECT_EQ(send<long>(value, "integerValue"), 2);
    CFPreferencesSetValue(CFSTR("unlockSound"), send(cls("NSNumber"), "numberWithInt:", 3), CFSTR("com.example.fixture"),
                          kCFPreferencesCurrentUser, kCFPreferencesAnyHost);
    value = send(page.controller, "readPreferenceValue:", list);
    EXPECT_EQ(send<long>(value, "integerValue"), 3);
  });
}

TEST(StoredValues, AStoredValueOfTheWrongTypeShowsAsOff) {
  inFreshProcess([] {
    Fixture fixture;
    host::AutoreleasePool pool;
    CFPreferencesSetValue(CFSTR("enabled"), send(cls("NSDictionary"), "dictionary"), CFSTR("com.example.fixture"),
                          kCFPreferencesCurrentUser, kCFPreferencesAnyHost);
    Page page;
    EXPECT_FALSE(yes(send<BOOL>(send(page.cell(0, 0), "control"), "isOn")));
  });
}

TEST(Buttons, SelectingAButtonRowSendsItsActionToItsTarget) {
  inFreshProcess([] {
    Fixture fixture;
    host::AutoreleasePool pool;
    Page page;
    hellos = 0;
    id path = send(cls("NSIndexPath"), "indexPathForRow:inSection:", 0L, 1L);
    send<void>(send(page.table, "delegate"), "tableView:didSelectRowAtIndexPath:", page.table, path);
    EXPECT_EQ(hellos, 1);
  });
}

}  // namespace
