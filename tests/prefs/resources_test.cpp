// The pane's bundle resources: what the Settings app and the tweak rely on in them, and that the
// committed files are what their generators write.
#include <gtest/gtest.h>
#include <plist/plist.h>

#include <cstdlib>
#include <map>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "support/run.h"
#include "support/temp_dir.h"

using testing_support::readFile;
using testing_support::run;
using testing_support::TempDir;

namespace {

using Plist = std::unique_ptr<void, void (*)(plist_t)>;

Plist load(const std::string& file) {
  std::string bytes = readFile(file);
  plist_t root = nullptr;
  plist_from_memory(bytes.data(), static_cast<uint32_t>(bytes.size()), &root);
  return Plist(root, [](plist_t p) { if (p != nullptr) plist_free(p); });
}

std::string text(plist_t node) {
  if (node == nullptr || plist_get_node_type(node) != PLIST_STRING) return "(not a string)";
  char* value = nullptr;
  plist_get_string_val(node, &value);
  std::string result = value != nullptr ? value : "";
  free(value);
  return result;
}
std::string text(plist_t dict, const char* key) { return text(plist_dict_get_item(dict, key)); }

const std::string kResources = RESOURCES_DIR;
const char* const kSwitchKeys[] = {"enabled",        "IconSound",   "PassSound",   "screenshotSoundC",
                                   "LockSoundC",     "UnlockSoundC", "ChargingSoundC", "VolumeUpC",
                                   "VolumeDownC",    "SwitchOnOff", "PageScroll",  "Startup"};
const char* const kSoundKeys[] = {"iconTapSound",  "unlockSound",   "lockSound",      "chargingSound",
                                  "passcodeSound", "screenshotSound", "VolumeUpSound", "VolumeDownSound",
                                  "SwitchOffSound", "SwitchOnSound", "PageScrollSound", "StartupSound"};

// The items of Root.plist, each a dictionary.
std::vector<plist_t> items(plist_t root) {
  std::vector<plist_t> result;
  plist_t array = plist_dict_get_item(root, "items");
  if (array == nullptr) return result;
  for (uint32_t i = 0; i < plist_array_get_size(array); ++i) result.push_back(plist_array_get_item(array, i));
  return result;
}

TEST(BundleInfo, NamesTheExecutableAndThePrincipalClass) {
  Plist info = load(kResources + "/Info.plist");
  ASSERT_NE(info.get(), nullptr);
  EXPECT_EQ(text(info.get(), "CFBundleExecutable"), "RaveloPrefs");
  EXPECT_EQ(text(info.get(), "NSPrincipalClass"), "RaveloRootListController");
  EXPECT_EQ(text(info.get(), "CFBundleIdentifier"), "xyz.dorvu.ravelo.prefs");
  EXPECT_EQ(text(info.get(), "CFBundlePackageType"), "BNDL");
}

TEST(BundleInfo, SettingsEntryOpensTheControllerFromTheBundle) {
  Plist entryFile = load(kResources + "/entry.plist");
  ASSERT_NE(entryFile.get(), nullptr);
  plist_t entry = plist_dict_get_item(entryFile.get(), "entry");
  ASSERT_NE(entry, nullptr);
  EXPECT_EQ(text(entry, "bundle"), "RaveloPrefs");
  EXPECT_EQ(text(entry, "cell"), "PSLinkCell");
  EXPECT_EQ(text(entry, "detail"), "RaveloRootListController");
  EXPECT_EQ(text(entry, "label"), "Ravelo");
  uint8_t isController = 0;
  plist_t flag = plist_dict_get_item(entry, "isController");
  ASSERT_NE(flag, nullptr);
  plist_get_bool_val(flag, &isController);
  EXPECT_TRUE(isController);
}

TEST(SpecifierList, EverySwitchKeyHasOneSwitchThatStartsOff) {
  Plist root = load(kResources + "/Root.plist");
  ASSERT_NE(root.get(), nullptr);
  std::map<std::string, plist_t> switches;
  for (plist_t item : items(root.get())) {
    if (text(item, "cell") == "PSSwitchCell") {
      EXPECT_TRUE(switches.emplace(text(item, "key"), item).second) << "two switches for " << text(item, "key");
    }
  }
  EXPECT_EQ(switches.size(), std::size(kSwitchKeys));
  for (const char* key : kSwitchKeys) {
    SCOPED_TRACE(key);
    ASSERT_TRUE(switches.count(key));
    plist_t item = switches[key];
    EXPECT_EQ(text(item, "defaults"), "xyz.dorvu..ravelo");
    EXPECT_EQ(text(item, "PostNotification"), "com.tamsel.ravelo.prefsupdate");
    plist_t initial = plist_dict_get_item(item, "default");
    ASSERT_TRUE(initial != nullptr && plist_get_node_type(initial) == PLIST_BOOLEAN);
    uint8_t on = 1;
    plist_get_bool_val(initial, &on);
    EXPECT_FALSE(on);
    EXPECT_NE(text(item, "label"), "(not a string)");
  }
}

TEST(SpecifierList, EverySoundKeyHasOnePickerOfTheWholeCatalogue) {
  Plist root = load(kResources + "/Root.plist");
  ASSERT_NE(root.get(), nullptr);
  std::map<std::string, plist_t> pickers;
  for (plist_t item : items(root.get())) {
    if (text(item, "cell") == "PSLinkListCell") {
      EXPECT_TRUE(pickers.emplace(text(item, "key"), item).second) << "two pickers for " << text(item, "key");
    }
  }
  EXPECT_EQ(pickers.size(), std::size(kSoundKeys));
  for (const char* key : kSoundKeys) {
    SCOPED_TRACE(key);
    ASSERT_TRUE(pickers.count(key));
    plist_t item = pickers[key];
    EXPECT_EQ(text(item, "detail"), "PSListItemsController");
    EXPECT_EQ(text(item, "defaults"), "xyz.dorvu..ravelo");
    EXPECT_EQ(text(item, "PostNotification"), "com.tamsel.ravelo.prefsupdate");
    plist_t initial = plist_dict_get_item(item, "default");
    ASSERT_TRUE(initial != nullptr && plist_get_node_type(initial) == PLIST_UINT);
    uint64_t sound = 0;
    plist_get_uint_val(initial, &sound);
    EXPECT_EQ(sound, 6u);

    plist_t values = plist_dict_get_item(item, "validValues");
    plist_t titles = plist_dict_get_item(item, "validTitles");
    ASSERT_NE(values, nullptr);
    ASSERT_NE(titles, nullptr);
    ASSERT_EQ(plist_array_get_size(values), 45u);
    ASSERT_EQ(plist_array_get_size(titles), 45u);
    std::set<std::string> distinct;
    for (uint32_t i = 0; i < 45; ++i) {
      uint64_t value = 0;
      plist_get_uint_val(plist_array_get_item(values, i), &value);
      EXPECT_EQ(value, i + 1);
      std::string title = text(plist_array_get_item(titles, i));
      EXPECT_FALSE(title.empty());
      distinct.insert(title);
    }
    EXPECT_EQ(distinct.size(), 45u) << "two sounds share a title";
  }
}

TEST(SpecifierList, DonationAndMailCellsCallTheControllerActions) {
  Plist root = load(kResources + "/Root.plist");
  ASSERT_NE(root.get(), nullptr);
  std::vector<std::string> actions;
  for (plist_t item : items(root.get())) {
    if (text(item, "cell") == "PSButtonCell") actions.push_back(text(item, "action"));
  }
  EXPECT_EQ(actions, (std::vector<std::string>{"PayPal", "Email"}));
}

TEST(Generators, CommittedFilesAreWhatTheScriptsWrite) {
  TempDir out;
  for (const char* name : {"Root.plist", "banner.png"}) {
    SCOPED_TRACE(name);
    std::string script = kResources + (std::string(name) == "Root.plist" ? "/make-root-plist" : "/make-banner");
    auto result = run({"/usr/bin/env", "python3", script, (out / name).string()});
    ASSERT_EQ(result.exitCode, 0) << result.output;
    EXPECT_TRUE(readFile(out / name) == readFile(kResources + "/" + name)) << "regenerate " << name;
  }
  auto icons = run({"/usr/bin/env", "python3", kResources + "/make-icon", out.path().string()});
  ASSERT_EQ(icons.exitCode, 0) << icons.output;
  for (const char* name : {"icon@2x.png", "icon@3x.png"}) {
    EXPECT_TRUE(readFile(out / name) == readFile(kResources + "/" + name)) << "regenerate " << name;
  }
}

TEST(Generators, RefuseAnUnwritableOutput) {
  auto result = run({"/usr/bin/env", "python3", kResources + "/make-root-plist", "/nonexistent/dir/Root.plist"});
  EXPECT_NE(result.exitCode, 0);
  EXPECT_NE(result.output.find("cannot write"), std::string::npos) << result.output;
}

}  // namespace
