// Linkage of the cross-compiled deliverables: the libraries each loads, where each imported symbol
// is bound, and the stub SDK against what the code really imports.
#include <map>
#include <set>
#include <string>

#include "device_build.h"
#include "fixups.h"
#include "tbd.h"

using device::Deliverable;
using macho::Image;

namespace {

bool startsWith(const std::string& text, const std::string& prefix) { return text.rfind(prefix, 0) == 0; }

// The library that provides a symbol on the device, by the platform's naming: the Objective-C
// runtime's functions, CoreFoundation's CF names, AudioToolbox's Audio names, Foundation's NS
// functions, UIKit's UI functions, Preferences' PS functions, the hooking library's MS functions;
// everything else is the C library and the loader (libSystem).
std::string providerOf(const std::string& symbol) {
  for (const char* prefix : {"_objc_", "_class_", "_object_", "_sel_", "_ivar_", "_method_", "_protocol_",
                             "_property_", "_imp_"}) {
    if (startsWith(symbol, prefix)) return device::kLibObjc;
  }
  if (startsWith(symbol, "_CF") || startsWith(symbol, "_kCF") || startsWith(symbol, "___CF")) {
    return device::kCoreFoundation;
  }
  if (startsWith(symbol, "_Audio")) return device::kAudioToolbox;
  if (startsWith(symbol, "_NS")) return device::kFoundation;
  if (startsWith(symbol, "_UI")) return device::kUIKit;
  if (startsWith(symbol, "_PS")) return device::kPreferences;
  if (startsWith(symbol, "_MS")) return device::kSubstrate;
  return device::kLibSystem;
}

class DeviceLinkage : public testing::TestWithParam<Deliverable> {
 protected:
  void SetUp() override {
    SKIP_WITHOUT_DEVICE_BUILD();
    slices_ = device::slicesOf(GetParam());
  }
  std::vector<Image> slices_;
};

TEST_P(DeviceLinkage, LoadsExactlyItsLibraries) {
  for (const Image& image : slices_) {
    std::set<std::string> linked(image.dylibs.begin(), image.dylibs.end());
    EXPECT_EQ(linked.size(), image.dylibs.size()) << "a library is linked twice";
    EXPECT_EQ(linked, GetParam().libraries);
  }
}

TEST_P(DeviceLinkage, ImportsThroughTheTwoLevelNamespaceOnly) {
  for (const Image& image : slices_) {
    EXPECT_TRUE(image.flags & macho::kFlagTwoLevel) << "flat-namespace image";
    for (const macho::Symbol& s : device::imports(image)) {
      EXPECT_NE(image.library(s.libraryOrdinal()), "")
          << s.name << " has library ordinal " << s.libraryOrdinal() << " (flat lookup or no linked library)";
    }
  }
}

TEST_P(DeviceLinkage, BindsEveryImportToTheLibraryThatProvidesIt) {
  for (const Image& image : slices_) {
    for (const macho::Symbol& s : device::imports(image)) {
      EXPECT_EQ(image.library(s.libraryOrdinal()), providerOf(s.name)) << s.name;
    }
  }
}

// Every bind the loader carries out (the classic tables' or the chained fixups' imports) names an
// imported symbol with the library ordinal the symbol table gives it, and every import is bound.
TEST_P(DeviceLinkage, BindsAgreeWithTheSymbolTable) {
  for (const Image& image : slices_) {
    std::map<std::string, int> ordinals;
    for (const macho::Symbol& s : device::imports(image)) ordinals[s.name] = s.libraryOrdinal();
    std::set<std::string> bound;
    for (const macho::Fixup& f : macho::fixups(image)) {
      if (f.kind != macho::Fixup::Kind::Bind) continue;
      ASSERT_TRUE(ordinals.count(f.symbol)) << f.symbol << " is bound (" << f.table << ") but not imported";
      EXPECT_EQ(f.ordinal, ordinals[f.symbol]) << f.symbol << " in the " << f.table << " table";
      bound.insert(f.symbol);
    }
    EXPECT_FALSE(bound.empty()) << macho::architectureName(image) << ": no binds at all";
    for (const auto& [name, ordinal] : ordinals) EXPECT_TRUE(bound.count(name)) << name << " is never bound";
  }
}

INSTANTIATE_TEST_SUITE_P(Deliverables, DeviceLinkage, testing::Values(device::kTweak, device::kPane),
                         device::nameOf);

// A stub that lists a symbol nobody imports hides a library the device may not have; a symbol the
// code imports but no stub lists fails the link. Both deliverables together must use every listed
// symbol, and every linked library must have a stub.
TEST(StubSdk, ListsExactlyTheSymbolsTheDeliverablesImport) {
  SKIP_WITHOUT_DEVICE_BUILD();
  std::map<std::string, std::set<std::string>> imported;
  for (const Deliverable& d : {device::kTweak, device::kPane}) {
    for (const std::string& library : d.libraries) imported[library];
    for (const Image& image : device::slicesOf(d)) {
      if (image.cpuSubtype != 0) continue;  // an arm64e slice may be linked against Apple's SDK (Xcode)
      for (const macho::Symbol& s : device::imports(image)) imported[image.library(s.libraryOrdinal())].insert(s.name);
    }
  }
  std::map<std::string, std::set<std::string>> stubbed;
  for (const auto& file : tbd::findAll(SDK_DIR)) {
    tbd::Library stub = tbd::read(file);
    std::set<std::string>& symbols = stubbed[stub.installName];
    for (const tbd::Export& e : stub.exportsFor("arm64-ios")) symbols.insert(e.name);
  }
  for (const auto& [library, symbols] : imported) {
    ASSERT_TRUE(stubbed.count(library)) << "no stub for " << library;
    for (const std::string& symbol : symbols) {
      EXPECT_TRUE(stubbed[library].count(symbol)) << symbol << " is imported from " << library << " but not stubbed";
    }
    for (const std::string& symbol : stubbed[library]) {
      if (symbol == "dyld_stub_binder") continue;  // ld64.lld's classic lazy binding imports it; ld64 does not
      EXPECT_TRUE(symbols.count(symbol)) << symbol << " is stubbed in " << library << " but nothing imports it";
    }
  }
  for (const auto& [library, symbols] : stubbed) {
    EXPECT_TRUE(imported.count(library)) << "stub for " << library << ", which no deliverable links";
  }
}

}  // namespace
