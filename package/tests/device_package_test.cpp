// The rootless .deb: its control fields, its file list below var/jb/, the property lists that make
// the loader inject the tweak and the Settings app show the pane, and reproducibility.
#include <plist/plist.h>
#include <sys/stat.h>

#include <fstream>
#include <map>
#include <memory>
#include <set>
#include <sstream>
#include <string>

#include "device_build.h"
#include "support/run.h"
#include "support/temp_dir.h"

namespace fs = std::filesystem;
using testing_support::lines;
using testing_support::readFile;
using testing_support::run;
using testing_support::TempDir;

namespace {

const std::string kLibrary = "./var/jb/Library/";
const std::string kTweakDir = kLibrary + "MobileSubstrate/DynamicLibraries/";
const std::string kBundleDir = kLibrary + "PreferenceBundles/RaveloPrefs.bundle/";
const std::string kEntry = kLibrary + "PreferenceLoader/Preferences/RaveloPrefs.plist";
const std::string kSoundsDir = kLibrary + "Sounds/";

std::vector<std::string> catalogueNames() {
  std::vector<std::string> names = lines(readFile(SOUND_NAMES_FILE));
  std::erase(names, "");
  return names;
}

struct Entry {
  std::string mode;  // as tar lists it, e.g. "-rwxr-xr-x"
  std::string owner;
};

// The package's members by path ("./var/jb/..."), from dpkg-deb --contents.
std::map<std::string, Entry> contents(const fs::path& deb) {
  auto listed = run({DPKG_DEB, "--contents", deb.string()});
  EXPECT_EQ(listed.exitCode, 0) << listed.output;
  std::map<std::string, Entry> entries;
  for (const std::string& line : lines(listed.output)) {
    std::istringstream words(line);
    std::string mode, owner, size, date, time, path;
    words >> mode >> owner >> size >> date >> time >> path;
    entries[path] = {mode, owner};
  }
  return entries;
}

std::string field(const std::string& name) {
  auto shown = run({DPKG_DEB, "--field", DEVICE_DEB, name});
  EXPECT_EQ(shown.exitCode, 0) << shown.output;
  std::string value = shown.output;
  while (!value.empty() && value.back() == '\n') value.pop_back();
  return value;
}

using Plist = std::unique_ptr<void, decltype(&plist_free)>;

Plist parsePlist(const fs::path& file) {
  std::string data = readFile(file);
  plist_t root = nullptr;
  plist_from_memory(data.data(), static_cast<uint32_t>(data.size()), &root);
  return Plist(root, plist_free);
}

std::string stringAt(plist_t dict, const char* key) {
  plist_t node = dict != nullptr ? plist_dict_get_item(dict, key) : nullptr;
  if (node == nullptr || plist_get_node_type(node) != PLIST_STRING) return "";
  char* value = nullptr;
  plist_get_string_val(node, &value);
  std::string text(value);
  free(value);
  return text;
}

class DebPackage : public testing::Test {
 protected:
  void SetUp() override {
    SKIP_WITHOUT_DEVICE_BUILD();
    auto extracted = run({DPKG_DEB, "--extract", DEVICE_DEB, root_.path().string()});
    ASSERT_EQ(extracted.exitCode, 0) << extracted.output;
  }
  fs::path installed(const std::string& member) const { return root_.path() / member; }

  TempDir root_;
};

TEST_F(DebPackage, ControlNamesTheRootlessPackageAndItsDependencies) {
  EXPECT_EQ(field("Package"), "xyz.dorvu.ravelo");
  EXPECT_EQ(field("Name"), "Ravelo");
  EXPECT_EQ(field("Version"), "1.0.1");
  EXPECT_EQ(field("Architecture"), "iphoneos-arm64");
  EXPECT_EQ(field("Section"), "Tweaks");
  EXPECT_EQ(field("Depends"), "firmware (>= 15.0), mobilesubstrate (>= 0.9.7000), preferenceloader");
  EXPECT_FALSE(field("Maintainer").empty());
  EXPECT_FALSE(field("Description").empty());
  EXPECT_GT(std::stol(field("Installed-Size")), 0);
}

TEST_F(DebPackage, ShipsExactlyTheTweakThePaneAndTheSoundsBelowVarJb) {
  std::set<std::string> files;
  for (const auto& [path, entry] : contents(DEVICE_DEB)) {
    EXPECT_EQ(entry.owner, "root/root") << path;
    if (entry.mode[0] == 'd') {
      EXPECT_TRUE(path == "./" || path == "./var/" || path.rfind("./var/jb/", 0) == 0) << path;
      EXPECT_EQ(entry.mode, "drwxr-xr-x") << path;
    } else {
      files.insert(path);
    }
  }
  std::set<std::string> expected{kTweakDir + "Ravelo.dylib",   kTweakDir + "Ravelo.plist",
                                 kBundleDir + "RaveloPrefs",   kBundleDir + "Info.plist",
                                 kBundleDir + "Root.plist",    kBundleDir + "banner.png",
                                 kBundleDir + "icon@2x.png",   kBundleDir + "icon@3x.png",
                                 kEntry};
  for (const std::string& name : catalogueNames()) expected.insert(kSoundsDir + name);
  EXPECT_EQ(catalogueNames().size(), 45u);
  EXPECT_EQ(files, expected);
}

TEST_F(DebPackage, InstallsTheBuiltBinariesAsExecutables) {
  auto entries = contents(DEVICE_DEB);
  for (const auto& [member, built] : {std::pair{kTweakDir + "Ravelo.dylib", device::outputOf(device::kTweak)},
                                      std::pair{kBundleDir + "RaveloPrefs", device::outputOf(device::kPane)}}) {
    EXPECT_EQ(entries[member].mode, "-rwxr-xr-x") << member;
    EXPECT_TRUE(readFile(installed(member)) == readFile(built)) << member << " differs from " << built;
  }
  EXPECT_EQ(entries[kTweakDir + "Ravelo.plist"].mode, "-rw-r--r--");
}

TEST_F(DebPackage, FilterInjectsTheTweakIntoSpringBoardOnly) {
  Plist filter = parsePlist(installed(kTweakDir + "Ravelo.plist"));
  ASSERT_NE(filter.get(), nullptr) << "Ravelo.plist is not a property list";
  plist_t inner = plist_dict_get_item(filter.get(), "Filter");
  ASSERT_NE(inner, nullptr);
  plist_t bundles = plist_dict_get_item(inner, "Bundles");
  ASSERT_NE(bundles, nullptr);
  ASSERT_EQ(plist_array_get_size(bundles), 1u);
  char* bundle = nullptr;
  plist_get_string_val(plist_array_get_item(bundles, 0), &bundle);
  ASSERT_NE(bundle, nullptr);
  EXPECT_STREQ(bundle, "com.apple.springboard");
  free(bundle);
}

TEST_F(DebPackage, SettingsEntryAndBundleNameThePaneAndItsController) {
  Plist info = parsePlist(installed(kBundleDir + "Info.plist"));
  ASSERT_NE(info.get(), nullptr) << "Info.plist is not a property list";
  EXPECT_EQ(stringAt(info.get(), "CFBundleExecutable"), "RaveloPrefs");
  EXPECT_EQ(stringAt(info.get(), "NSPrincipalClass"), "RaveloRootListController");

  Plist entry = parsePlist(installed(kEntry));
  ASSERT_NE(entry.get(), nullptr) << "the PreferenceLoader entry is not a property list";
  plist_t fields = plist_dict_get_item(entry.get(), "entry");
  ASSERT_NE(fields, nullptr) << "the PreferenceLoader entry has no 'entry' dictionary";
  EXPECT_EQ(stringAt(fields, "bundle"), "RaveloPrefs");
  EXPECT_EQ(stringAt(fields, "icon"), "icon.png");

  Plist specifiers = parsePlist(installed(kBundleDir + "Root.plist"));
  EXPECT_NE(specifiers.get(), nullptr) << "Root.plist is not a property list";
}

// The Settings row's icon, named "icon.png" by the entry: 29 points at @2x and @3x, as PNGs.
TEST_F(DebPackage, BundleHoldsTheSettingsRowIconAtBothScales) {
  for (const auto& [file, pixels] : {std::pair{"icon@2x.png", 58u}, std::pair{"icon@3x.png", 87u}}) {
    std::string png = readFile(installed(kBundleDir + file));
    ASSERT_GT(png.size(), 24u) << file;
    EXPECT_EQ(png.substr(0, 8), "\x89PNG\r\n\x1a\n") << file;
    auto be32 = [&](size_t at) {
      return uint32_t(uint8_t(png[at])) << 24 | uint32_t(uint8_t(png[at + 1])) << 16 |
             uint32_t(uint8_t(png[at + 2])) << 8 | uint8_t(png[at + 3]);
    };
    EXPECT_EQ(be32(16), pixels) << file << " width";
    EXPECT_EQ(be32(20), pixels) << file << " height";
  }
}

// The same inputs, packed twice by different users' settings (umask), give the same bytes.
TEST(DebReproducibility, PackingTwiceGivesTheSameBytes) {
  SKIP_WITHOUT_DEVICE_BUILD();
  TempDir first, second;
  std::string common = std::string(" --quiet --device '") + DEVICE_DIR + "' --sounds '" + SOUNDS_DIR + "'";
  auto a = run({"/bin/sh", "-c", "umask 022; exec '" BUILD_DEB "'" + common + " --out '" + first.path().string() + "'"},
               {"SOURCE_DATE_EPOCH=1700000000", "MACHO_SLICES=" MACHO_SLICES});
  ASSERT_EQ(a.exitCode, 0) << a.output;
  auto b = run({"/bin/sh", "-c", "umask 077; exec '" BUILD_DEB "'" + common + " --out '" + second.path().string() + "'"},
               {"SOURCE_DATE_EPOCH=1700000000", "MACHO_SLICES=" MACHO_SLICES});
  ASSERT_EQ(b.exitCode, 0) << b.output;
  fs::path debA = lines(a.output).back();
  fs::path debB = lines(b.output).back();
  EXPECT_EQ(debA.filename(), fs::path(DEVICE_DEB).filename());
  EXPECT_TRUE(readFile(debA) == readFile(debB)) << debA << " and " << debB << " differ";
}

TEST(DebReproducibility, RefusesToPackWithoutEverySound) {
  SKIP_WITHOUT_DEVICE_BUILD();
  TempDir sounds, out;
  std::vector<std::string> names = catalogueNames();
  for (size_t i = 1; i < names.size(); ++i) fs::copy_file(fs::path(SOUNDS_DIR) / names[i], sounds.path() / names[i]);
  auto result = run({BUILD_DEB, "--quiet", "--device", DEVICE_DIR, "--sounds", sounds.path().string(), "--out",
                     out.path().string()},
                    {"SOURCE_DATE_EPOCH=1700000000", "MACHO_SLICES=" MACHO_SLICES});
  EXPECT_NE(result.exitCode, 0);
  EXPECT_NE(result.output.find(names[0]), std::string::npos) << result.output;
}

}  // namespace
