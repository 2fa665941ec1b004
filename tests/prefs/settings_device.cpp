#include "prefs/settings_device.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <chrono>
#include <thread>

#include "host/corefoundation.h"
#include "host/device.h"
#include "support/run.h"

namespace fs = std::filesystem;

namespace prefs_testing {

SettingsDevice::SettingsDevice(Layout layout) {
  host::device::setRoot(root().string());
  fs::create_directories(root() / "var/mobile/Library/Preferences");
  fs::create_directories(bundle());
  for (const char* file : {"RaveloPrefs", "Info.plist", "Root.plist", "banner.png"}) {
    if (std::string(file) == "banner.png" && !layout.banner) continue;
    bool executable = std::string(file) == "RaveloPrefs" && !layout.executable.empty();
    fs::copy_file(executable ? layout.executable : fs::path(PREFS_BUNDLE_DIR) / file, bundle() / file);
  }
  fs::path entries = jbroot() / "Library/PreferenceLoader/Preferences";
  fs::create_directories(entries);
  fs::copy_file(fs::path(PREFS_RESOURCES_DIR) / "entry.plist", entries / "RaveloPrefs.plist");
  if (layout.libroot) {
    fs::create_directories(jbroot() / "usr/lib");
    fs::copy_file(LIBROOT_PATH, jbroot() / "usr/lib/libroot.dylib");
    // The loader-relative run path: the bundle's .jbroot leads back to the jailbreak root.
    fs::create_directory_symlink("../../..", bundle() / ".jbroot");
    host::device::preloadRootLibraryForSanitizer((jbroot() / "usr/lib/libroot.dylib").string());
  }
  if (layout.killall) {
    fs::create_directories(jbroot() / "usr/bin");
    fs::copy_file(ARGV_RECORDER_PATH, jbroot() / "usr/bin/killall");
  }
}

void SettingsDevice::writeSpecifierList(const std::string& itemsXml) {
  testing_support::writeFile(bundle() / "Root.plist",
                             "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<plist version=\"1.0\"><dict>"
                             "<key>title</key><string>Ravelo</string><key>items</key><array>" +
                                 itemsXml + "</array></dict></plist>\n");
}

void SettingsDevice::removeSpecifierList() { fs::remove(bundle() / "Root.plist"); }

std::unique_ptr<host::settings::Pane> SettingsDevice::open() {
  std::string error;
  auto pane = host::settings::Pane::open(jbroot().string(), "RaveloPrefs", &error);
  EXPECT_NE(pane, nullptr) << error;
  return pane;
}

std::string SettingsDevice::stored(const char* key) const {
  CFStringRef keyRef = host::cf::makeString(key);
  CFPropertyListRef value = CFPreferencesCopyValue(keyRef, CFSTR("xyz.dorvu..ravelo"), kCFPreferencesCurrentUser,
                                                   kCFPreferencesAnyHost);
  CFRelease(keyRef);
  if (value == nullptr) return "";
  std::string text = host::cf::describe(value);
  CFRelease(value);
  return text;
}

std::vector<std::string> SettingsDevice::killallRuns() const {
  fs::path log = jbroot() / "usr/bin/killall.argv";
  if (!fs::exists(log)) return {};
  return testing_support::lines(testing_support::readFile(log));
}

std::vector<std::string> SettingsDevice::waitForKillallRuns(size_t count) const {
  for (int i = 0; i < 500 && killallRuns().size() < count; ++i) std::this_thread::sleep_for(std::chrono::milliseconds(10));
  return killallRuns();
}

std::string shippedItems() {
  std::string list = testing_support::readFile(fs::path(PREFS_RESOURCES_DIR) / "Root.plist");
  size_t start = list.find("<array>", list.find("<key>items</key>")) + 7;
  size_t at = start;
  for (int depth = 1; depth > 0;) {  // to the array's own end, past the arrays inside its items
    size_t open = list.find("<array>", at), close = list.find("</array>", at);
    depth += open < close ? 1 : -1;
    at = open < close ? open + 7 : close + 8;
  }
  return list.substr(start, at - 8 - start);
}

host::uikit::RGBA paneTint() { return {0.796, 0.855, 0.91, 1.0}; }

std::string groupItem(const std::string& label) {
  return "<dict><key>cell</key><string>PSGroupCell</string><key>label</key><string>" + label + "</string></dict>";
}

namespace {
std::string settingItem(const char* cell, const std::string& key, const std::string& label, const std::string& extra) {
  return std::string("<dict><key>cell</key><string>") + cell + "</string><key>key</key><string>" + key +
         "</string><key>label</key><string>" + label +
         "</string><key>defaults</key><string>xyz.dorvu..ravelo</string>"
         "<key>PostNotification</key><string>com.tamsel.ravelo.prefsupdate</string>" +
         extra + "</dict>";
}
}  // namespace

std::string switchItem(const std::string& key, const std::string& label) {
  return settingItem("PSSwitchCell", key, label, "<key>default</key><false/>");
}

std::string sliderItem(const std::string& key, const std::string& label) {
  return settingItem("PSSliderCell", key, label, "<key>min</key><real>0</real><key>max</key><real>1</real>");
}

std::string buttonItem(const std::string& label, const std::string& action) {
  return "<dict><key>cell</key><string>PSButtonCell</string><key>label</key><string>" + label +
         "</string><key>action</key><string>" + action + "</string></dict>";
}

}  // namespace prefs_testing
