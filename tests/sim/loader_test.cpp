// The jailbreak loader: which tweaks a process gets, by their filter plists.
#include <gtest/gtest.h>
#include <objc/runtime.h>

#include <filesystem>
#include <string>
#include <vector>

#include "host/objc.h"
#include "host/substrate.h"
#include "host/trace.h"
#include "support/fresh_process.h"
#include "support/temp_dir.h"

namespace fs = std::filesystem;
using testing_support::TempDir;
using testing_support::writeFile;

namespace {

std::string filterPlist(const std::string& filterBody) {
  return "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<plist version=\"1.0\"><dict><key>Filter</key><dict>" +
         filterBody + "</dict></dict></plist>\n";
}

std::string array(const std::string& key, const std::vector<std::string>& items) {
  std::string body = "<key>" + key + "</key><array>";
  for (const std::string& item : items) body += "<string>" + item + "</string>";
  return body + "</array>";
}

// A jailbreak root with tweaks named `name`.dylib + `name`.plist.
struct Jbroot {
  TempDir dir;
  fs::path tweaks() const { return dir.path() / "Library/MobileSubstrate/DynamicLibraries"; }
  void add(const std::string& name, const std::string& plist, bool withDylib = true) {
    writeFile(tweaks() / (name + ".plist"), plist);
    if (withDylib) fs::copy_file(TEST_TWEAK, tweaks() / (name + ".dylib"));
  }
};

std::vector<std::string> traced;
void collect(const char* line, void*) { traced.emplace_back(line); }

// The file names of the tweaks the loader opened for `bundleId`, in order.
std::vector<std::string> loadedFor(const Jbroot& jb, const std::string& bundleId, const std::string& executable = "") {
  std::vector<std::string> names;
  for (const auto& tweak : host::substrate::loadTweaks(bundleId, jb.dir.path().string(), executable))
    if (tweak.loaded) names.push_back(fs::path(tweak.dylib).filename().string());
  return names;
}

using Names = std::vector<std::string>;

}  // namespace

TEST(TweakLoader, LoadsOnlyTheTweaksWhoseBundlesNameTheProcess) {
  Jbroot jb;
  jb.add("Ravelo", filterPlist(array("Bundles", {"com.apple.springboard"})));
  jb.add("Other", filterPlist(array("Bundles", {"com.apple.mobilesafari"})));
  EXPECT_EQ(loadedFor(jb, "com.apple.springboard"), Names{"Ravelo.dylib"});
  EXPECT_EQ(loadedFor(jb, "com.apple.Preferences"), Names{});
}

TEST(TweakLoader, RunsTheTweaksInitialiserInsideTheLoadAfterTracingIt) {
  testing_support::inFreshProcess([] {
    Jbroot jb;
    jb.add("Ravelo", filterPlist(array("Bundles", {"com.apple.springboard"})));
    traced.clear();
    host::setTraceSink(collect, nullptr);
    loadedFor(jb, "com.apple.springboard");
    host::setTraceSink(nullptr, nullptr);
    ASSERT_EQ(traced.size(), 2u);
    EXPECT_EQ(traced[0], "substrate load " + (jb.tweaks() / "Ravelo.dylib").string());
    EXPECT_EQ(traced[1], "test tweak initialised");
  });
}

TEST(TweakLoader, LoadsInFileNameOrder) {
  Jbroot jb;
  for (const char* name : {"Zeta", "Alpha", "Mid"}) jb.add(name, filterPlist(array("Bundles", {"com.apple.springboard"})));
  EXPECT_EQ(loadedFor(jb, "com.apple.springboard"), (Names{"Alpha.dylib", "Mid.dylib", "Zeta.dylib"}));
}

TEST(TweakLoader, ExecutablesAndClassesFilterToo) {
  Jbroot jb;
  jb.add("ByExecutable", filterPlist(array("Executables", {"SpringBoard"})));
  jb.add("ByClass", filterPlist(array("Classes", {"NSObject"})));
  jb.add("ByMissingClass", filterPlist(array("Classes", {"SBNoSuchClass"})));
  EXPECT_EQ(loadedFor(jb, "com.apple.springboard", "SpringBoard"), (Names{"ByClass.dylib", "ByExecutable.dylib"}));
}

TEST(TweakLoader, EveryFilterKindMustMatchUnlessModeIsAny) {
  Jbroot jb;
  std::string both = array("Bundles", {"com.apple.springboard"}) + array("Executables", {"Preferences"});
  jb.add("All", filterPlist(both));
  jb.add("Any", filterPlist(both + "<key>Mode</key><string>Any</string>"));
  EXPECT_EQ(loadedFor(jb, "com.apple.springboard", "SpringBoard"), Names{"Any.dylib"});
}

TEST(TweakLoader, LoadsNothingForAPlistWithoutFilterADylibOrValidContents) {
  Jbroot jb;
  jb.add("NoFilter", "<?xml version=\"1.0\"?><plist version=\"1.0\"><dict/></plist>");
  jb.add("NoDylib", filterPlist(array("Bundles", {"com.apple.springboard"})), false);
  jb.add("Corrupt", "this is not a property list");
  jb.add("Empty", "");
  EXPECT_EQ(loadedFor(jb, "com.apple.springboard"), Names{});
}

TEST(TweakLoader, AMissingTweakFolderLoadsNothing) {
  TempDir empty;
  EXPECT_TRUE(host::substrate::loadTweaks("com.apple.springboard", empty.path().string()).empty());
}

TEST(TweakLoader, ReportsADylibThatFailsToOpen) {
  Jbroot jb;
  jb.add("Broken", filterPlist(array("Bundles", {"com.apple.springboard"})), false);
  writeFile(jb.tweaks() / "Broken.dylib", "not a library");
  auto result = host::substrate::loadTweaks("com.apple.springboard", jb.dir.path().string());
  ASSERT_EQ(result.size(), 1u);
  EXPECT_FALSE(result[0].loaded);
  EXPECT_FALSE(result[0].error.empty());
}
