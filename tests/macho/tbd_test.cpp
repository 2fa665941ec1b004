// The text-stub reader keeps every symbol a version 4 stub lists, re-exported ones too, and refuses
// what it would otherwise drop: a key the format does not have (a misspelt one), or a flat namespace;
// and it ends on text the YAML library alone would read for ever.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "support/temp_dir.h"
#include "tbd.h"

namespace {

using testing::ElementsAre;
using testing::HasSubstr;
using testing_support::TempDir;
using testing_support::writeFile;

const std::string kHead = "--- !tapi-tbd\ntbd-version: 4\ntargets: [ arm64-ios, arm64e-ios ]\ninstall-name: /usr/lib/libA.dylib\n";

std::string refusal(const std::string& text) {
  TempDir dir;
  writeFile(dir / "libA.tbd", text);
  try {
    tbd::read(dir / "libA.tbd");
  } catch (const std::runtime_error& e) {
    return e.what();
  }
  return "(read)";
}

std::vector<std::string> names(const std::vector<tbd::Export>& exports) {
  std::vector<std::string> out;
  for (const tbd::Export& e : exports) out.push_back(e.name);
  return out;
}

TEST(TextStubs, ReExportedSymbolsAreExportedLikeTheLibrarysOwn) {
  TempDir dir;
  writeFile(dir / "libA.tbd", kHead +
                                  "exports:\n  - targets: [ arm64-ios, arm64e-ios ]\n    symbols: [ _own ]\n"
                                  "reexports:\n  - targets: [ arm64e-ios ]\n    symbols: [ _fromB ]\n"
                                  "    objc-classes: [ BView ]\n...\n");
  tbd::Library library = tbd::read(dir / "libA.tbd");
  EXPECT_THAT(names(library.exportsFor("arm64-ios")), ElementsAre("_own"));
  EXPECT_THAT(names(library.exportsFor("arm64e-ios")),
              ElementsAre("_own", "_fromB", "_OBJC_CLASS_$_BView", "_OBJC_METACLASS_$_BView"));
}

TEST(TextStubs, AKeyVersion4DoesNotHaveOrAFlatNamespaceIsRefused) {
  EXPECT_THAT(refusal(kHead + "re-exports:\n  - targets: [ arm64-ios ]\n    symbols: [ _fromB ]\n...\n"),
              HasSubstr("libA.tbd: has the key 're-exports', which a version 4 stub does not have"));
  EXPECT_THAT(refusal(kHead + "exports:\n  - targets: [ arm64-ios ]\n    symbol: [ _own ]\n...\n"),
              HasSubstr("has the key 'symbol' in exports, which a version 4 stub does not have"));
  EXPECT_THAT(refusal(kHead + "flags: [ flat_namespace ]\n...\n"), HasSubstr("flat_namespace"));
  EXPECT_THAT(refusal(kHead + "reexports: [ _fromB ]\n...\n"), HasSubstr("an entry of reexports is not a mapping"));
  // Text on which yaml-cpp's reader of every document never returns.
  EXPECT_THAT(refusal("--- !4-ios, arm64e\n...\n"), HasSubstr("holds several documents"));
  EXPECT_EQ(refusal(kHead + "flags: [ not_app_extension_safe ]\nundefineds:\n  - targets: [ arm64-ios ]\n"
                            "    symbols: [ _malloc ]\n...\n"),
            "(read)");
}

}  // namespace
