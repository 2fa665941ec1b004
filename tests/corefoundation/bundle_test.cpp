// NSBundle: folders with an Info.plist, resources, loading the executable and finding its principal
// class, and which bundle a class belongs to.
#include <unistd.h>

#include "cf_test.h"
#include "support/fresh_process.h"

#include <Foundation/NSObjCRuntime.h>

using namespace cftest;
using testing_support::inFreshProcess;
using testing_support::writeFile;

namespace {

id bundleAt(const std::string& path) { return host::send(cls("NSBundle"), "bundleWithPath:", ns(path.c_str())); }
id testBundle() { return bundleAt(TEST_BUNDLE_DIR); }

class Bundles : public DeviceTest {};

TEST_F(Bundles, AMissingFolderHasNoBundle) {
  EXPECT_EQ(bundleAt((root() / "Nope.bundle").string()), nullptr);
  EXPECT_EQ(host::send(cls("NSBundle"), "bundleWithPath:", nullptr), nullptr);
}

TEST_F(Bundles, OneBundlePerFolder) {
  EXPECT_EQ(testBundle(), bundleAt(std::string(TEST_BUNDLE_DIR) + "/"));
}

TEST_F(Bundles, InfoDictionaryAndResources) {
  id bundle = testBundle();
  ASSERT_NE(bundle, nullptr);
  EXPECT_EQ(str(host::send(bundle, "bundlePath")), TEST_BUNDLE_DIR);
  EXPECT_EQ(str(host::send(bundle, "resourcePath")), TEST_BUNDLE_DIR);
  EXPECT_EQ(str(host::send(bundle, "bundleIdentifier")), "com.tamsel.cftestbundle");
  EXPECT_EQ(str(host::send(bundle, "objectForInfoDictionaryKey:", ns("NSPrincipalClass"))), "CFTestBundlePrincipal");
  EXPECT_EQ(str(host::send(bundle, "pathForResource:ofType:", ns("Info"), ns("plist"))),
            std::string(TEST_BUNDLE_DIR) + "/Info.plist");
  EXPECT_EQ(host::send(bundle, "pathForResource:ofType:", ns("Root"), ns("plist")), nullptr);
}

TEST_F(Bundles, PrincipalClassLoadsTheExecutable) {
  inFreshProcess([] {
    host::AutoreleasePool pool;
    id bundle = testBundle();
    EXPECT_EQ(host::send<BOOL>(bundle, "isLoaded"), NO);
    EXPECT_EQ(objc_getClass("CFTestBundlePrincipal"), Nil);
    Class principal = host::send<Class>(bundle, "principalClass");
    ASSERT_NE(principal, Nil);
    EXPECT_STREQ(class_getName(principal), "CFTestBundlePrincipal");
    EXPECT_EQ(host::send<BOOL>(bundle, "isLoaded"), YES);
    EXPECT_EQ(host::send<BOOL>(bundle, "load"), YES);
    id instance = host::send(principal, "new");
    EXPECT_EQ(host::send<long>(instance, "answer"), 42);
    host::release(instance);
  });
}

TEST_F(Bundles, LoadFailsQuietlyForAMissingOrBrokenExecutable) {
  std::string info =
      "<plist version=\"1.0\"><dict><key>CFBundleExecutable</key><string>Broken</string>"
      "<key>NSPrincipalClass</key><string>Nothing</string></dict></plist>";
  writeFile(root() / "Missing.bundle/Info.plist", info);
  writeFile(root() / "Broken.bundle/Info.plist", info);
  writeFile(root() / "Broken.bundle/Broken", "not a shared library");
  writeFile(root() / "Bare.bundle/readme", "no Info.plist");
  for (const char* name : {"Missing.bundle", "Broken.bundle", "Bare.bundle"}) {
    id bundle = bundleAt((root() / name).string());
    ASSERT_NE(bundle, nullptr) << name;
    EXPECT_EQ(host::send<BOOL>(bundle, "load"), NO) << name;
    EXPECT_EQ(host::send<Class>(bundle, "principalClass"), Nil) << name;
    EXPECT_EQ(host::send<BOOL>(bundle, "isLoaded"), NO) << name;
  }
  EXPECT_EQ(host::send<unsigned long>(host::send(bundleAt((root() / "Bare.bundle").string()), "infoDictionary"), "count"), 0u);
}

TEST_F(Bundles, MainBundleIsTheExecutablesFolderUnlessOverridden) {
  inFreshProcess([this] {
    host::AutoreleasePool pool;
    char exe[4096] = {};
    ASSERT_GT(readlink("/proc/self/exe", exe, sizeof exe - 1), 0);
    std::string folder = std::filesystem::path(exe).parent_path().string();
    id main = host::send(cls("NSBundle"), "mainBundle");
    EXPECT_EQ(str(host::send(main, "bundlePath")), folder);
    EXPECT_EQ(host::send<BOOL>(main, "isLoaded"), YES);
    std::string settings = (root() / "Preferences.app").string();
    std::filesystem::create_directories(settings);
    host::cf::setMainBundlePath(settings);
    EXPECT_EQ(str(host::send(host::send(cls("NSBundle"), "mainBundle"), "bundlePath")), settings);
    EXPECT_EQ(host::cf::mainBundlePath(), settings);
  });
}

TEST_F(Bundles, ARunTimeClassBelongsToTheMainBundleAsOnTheDevice) {
  inFreshProcess([] {
    host::AutoreleasePool pool;
    Class principal = host::send<Class>(testBundle(), "principalClass");
    ASSERT_NE(principal, Nil);
    id main = host::send(cls("NSBundle"), "mainBundle");
    EXPECT_EQ(host::send(cls("NSBundle"), "bundleForClass:", principal), main);
    // Compiled into the bundle's image, the class would answer the bundle.
    host::cf::markCompiledClass(principal);
    EXPECT_EQ(host::send(cls("NSBundle"), "bundleForClass:", principal), testBundle());
    // A compiled class in a library outside any bundle answers the main bundle.
    EXPECT_EQ(host::send(cls("NSBundle"), "bundleForClass:", cls("NSString")), main);
  });
}

TEST(ClassLookup, NSClassFromStringAndBack) {
  host::AutoreleasePool pool;
  EXPECT_EQ(NSClassFromString(ns("NSMutableArray")), cls("NSMutableArray"));
  EXPECT_EQ(NSClassFromString(ns("NoSuchClass")), Nil);
  EXPECT_EQ(NSClassFromString(nullptr), Nil);
  EXPECT_EQ(str(NSStringFromClass(cls("NSNumber"))), "NSNumber");
  EXPECT_EQ(NSStringFromClass(Nil), nullptr);
}

}  // namespace
