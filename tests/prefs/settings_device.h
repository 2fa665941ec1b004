// A simulated device for settings pane tests: a fresh device root whose jailbreak root holds the built
// RaveloPrefs.bundle, its Settings entry, and (optionally) the libroot stand-in and a killall that
// records how it was started. The Settings-app stand-in opens the pane from there.
#pragma once

#include <CoreFoundation/CoreFoundation.h>

#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "host/preferences.h"
#include "support/temp_dir.h"

namespace prefs_testing {

struct Layout {
  bool libroot = true;   // libroot.dylib where the bundle's run paths find it
  bool killall = true;   // <jbroot>/usr/bin/killall, recording its arguments
  bool banner = true;    // banner.png in the bundle
  // The bundle's executable: the host build's, or (given) the device build's for its slices under
  // emulation.
  std::filesystem::path executable;
};

class SettingsDevice {
 public:
  explicit SettingsDevice(Layout layout = {});

  std::filesystem::path root() const { return dir_.path(); }
  std::filesystem::path jbroot() const { return dir_.path() / "var/jb"; }
  std::filesystem::path bundle() const { return jbroot() / "Library/PreferenceBundles/RaveloPrefs.bundle"; }

  // Replaces the bundle's Root.plist with a list of these items (plist XML <dict>s), or removes it.
  void writeSpecifierList(const std::string& itemsXml);
  void removeSpecifierList();

  // Opens the pane as Settings does; fails the test (and answers null) when it cannot.
  std::unique_ptr<host::settings::Pane> open();

  // The stored value of a settings key, as text ("" when absent).
  std::string stored(const char* key) const;

  // Each run of killall so far: its arguments joined by '|' and the size of its environment.
  std::vector<std::string> killallRuns() const;
  // Waits (running nothing else) until killall has run `count` times or a few seconds have passed.
  std::vector<std::string> waitForKillallRuns(size_t count) const;

 private:
  testing_support::TempDir dir_;
};

// The pane tint and system blue, as the UIKit stand-in reports colours.
host::uikit::RGBA paneTint();

// The items of the shipped Root.plist, as XML: what lies inside its "items" array.
std::string shippedItems();

// A specifier dictionary for a list: one switch row under a group, and so on.
std::string groupItem(const std::string& label);
std::string switchItem(const std::string& key, const std::string& label);
std::string sliderItem(const std::string& key, const std::string& label);
std::string buttonItem(const std::string& label, const std::string& action);

}  // namespace prefs_testing
