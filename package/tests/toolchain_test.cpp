// The arm64e toolchain around the device build: build-ld64's refusals and its per-machine cache (with
// fake source folders and caches; ld64 itself is never rebuilt here), and the link stubs that stand
// in for the stub SDK's text stubs when ld64 links.
#include <algorithm>
#include <filesystem>
#include <map>
#include <set>
#include <string>

#include "fixups.h"
#include "macho_reader.h"
#include "support/run.h"
#include "support/temp_dir.h"
#include "tbd.h"
#include "toolchain.h"

namespace fs = std::filesystem;
using testing_support::lines;
using testing_support::run;
using testing_support::RunResult;
using testing_support::TempDir;
using testing_support::writeFile;

namespace {

const char kCacheFolder[] = "ld64-a2724f04-fdf3fc85";  // keyed by the pinned commits

class Ld64Build : public testing::Test {
 protected:
  RunResult build(const std::vector<std::string>& args) {
    std::vector<std::string> argv{BUILD_LD64, "--cache", (dir_ / "cache").string()};
    argv.insert(argv.end(), args.begin(), args.end());
    return run(argv);
  }
  // A script that fills the cache as a finished build would: an `ld` that answers -v as ld64-951.9
  // does, and the mark of a complete build.
  std::string fakeBuild() const {
    fs::path folder = dir_ / "cache" / kCacheFolder;
    writeFile(folder / "bin/ld.made",
              "#!/bin/sh\necho '@(#)PROGRAM:ld  PROJECT:ld64-951.9'\necho 'configured to support archs: arm64 arm64e'\n");
    writeFile(dir_ / "fake-build",
              "chmod +x '" + (folder / "bin/ld.made").string() + "'\nmv '" + (folder / "bin/ld.made").string() + "' '" +
                  (folder / "bin/ld").string() + "'\ntouch '" + (folder / ".complete").string() + "'\n");
    return (dir_ / "fake-build").string();
  }
  fs::path builtFolder() const { return dir_ / "cache" / kCacheFolder / "bin"; }
  TempDir dir_;
};

TEST_F(Ld64Build, RefusesAnArchiveThatIsNotThePinnedSnapshot) {
  writeFile(dir_ / "sources/cctools-port-a2724f04.tar.gz", "not the snapshot");
  writeFile(dir_ / "sources/apple-libdispatch-fdf3fc85.tar.gz", "nor this");
  auto result = build({"--sources", (dir_ / "sources").string()});
  EXPECT_EQ(result.exitCode, 1) << result.output;
  EXPECT_NE(result.output.find("cctools-port-a2724f04.tar.gz has SHA-256"), std::string::npos) << result.output;
  EXPECT_NE(result.output.find("not the pinned 86668d1b604fdecf745b3f8e2492d7ccc9018d51c040631151eab8c1258815d0"),
            std::string::npos)
      << result.output;
  EXPECT_FALSE(fs::exists(dir_ / "cache" / kCacheFolder)) << "a refused build must leave no cache behind";
}

TEST_F(Ld64Build, NamesAMissingArchive) {
  fs::create_directories(dir_ / "sources");
  auto result = build({"--sources", (dir_ / "sources").string()});
  EXPECT_EQ(result.exitCode, 1) << result.output;
  EXPECT_NE(result.output.find("cctools-port-a2724f04.tar.gz is missing from " + (dir_ / "sources").string()),
            std::string::npos)
      << result.output;
}

TEST_F(Ld64Build, PrintsTheCachedFolderAtOnceAndFindsNothingBeforeItIsBuilt) {
  auto none = build({"--find"});
  EXPECT_EQ(none.exitCode, 1);
  EXPECT_EQ(none.output, "");

  ASSERT_EQ(run({"/bin/sh", fakeBuild()}).exitCode, 0);
  for (const auto& args : {std::vector<std::string>{"--find"}, {"--sources", "/nonexistent"}}) {
    auto found = build(args);
    EXPECT_EQ(found.exitCode, 0) << found.output;
    ASSERT_FALSE(lines(found.output).empty());
    EXPECT_EQ(lines(found.output).back(), builtFolder().string());
  }
}

// A second run while the first holds the lock waits, then takes the first one's build.
TEST_F(Ld64Build, ARunStartedDuringAnotherWaitsAndUsesItsBuild) {
  fs::create_directories(dir_ / "cache");
  std::string lock = (dir_ / "cache" / (std::string(kCacheFolder) + ".lock")).string();
  auto result = run({"/bin/sh", "-c",
                     "flock '" + lock + "' sh -c 'sleep 1; sh \"$0\"' '" + fakeBuild() + "' & sleep 0.3; exec '" BUILD_LD64 +
                         std::string("' --cache '") + (dir_ / "cache").string() + "' --sources /nonexistent"});
  EXPECT_EQ(result.exitCode, 0) << result.output;
  EXPECT_NE(result.output.find("waiting for it"), std::string::npos) << result.output;
  ASSERT_FALSE(lines(result.output).empty());
  EXPECT_EQ(lines(result.output).back(), builtFolder().string());
}

// --check runs a finished build's last checks on the cached ld and nothing else.
TEST_F(Ld64Build, CheckPassesAFinishedBuildAndNamesWhatIsWrongOtherwise) {
  auto none = build({"--check"});
  EXPECT_EQ(none.exitCode, 1);
  EXPECT_NE(none.output.find("ld64 is not built in this cache"), std::string::npos) << none.output;

  ASSERT_EQ(run({"/bin/sh", fakeBuild()}).exitCode, 0);
  auto passed = build({"--check"});
  EXPECT_EQ(passed.exitCode, 0) << passed.output;
  EXPECT_NE(passed.output.find("build-ld64: @(#)PROGRAM:ld  PROJECT:ld64-951.9"), std::string::npos) << passed.output;
  EXPECT_EQ(lines(passed.output).back(), builtFolder().string());

  writeFile(builtFolder() / "ld", "#!/bin/sh\necho '@(#)PROGRAM:ld  PROJECT:ld64-530'\n");
  auto old = build({"--check"});
  EXPECT_EQ(old.exitCode, 1);
  EXPECT_NE(old.output.find("PROJECT:ld64-530"), std::string::npos) << old.output;
  EXPECT_NE(old.output.find("does not report ld64-951.9 with arm64e"), std::string::npos) << old.output;
}

// The last step of a cold build, repeated on the real linker: it must never fail at random (`ld -v`
// through a pipe into `head` under pipefail died of SIGPIPE about one time in seven).
TEST(Ld64BuildFinalChecks, PassTwoHundredTimesInARow) {
  SKIP_WITHOUT_LD64();
  TempDir dir;
  auto result = run({"/bin/bash", "-c",
                     "for i in $(seq 200); do \"$0\" --check >/dev/null 2>\"$1\" || "
                     "{ echo \"run $i exited with status $?:\"; cat \"$1\"; exit 1; }; done",
                     BUILD_LD64, (dir / "stderr").string()});
  EXPECT_EQ(result.exitCode, 0) << result.output;
}

// ---- link stubs -------------------------------------------------------------------------------

std::map<std::string, macho::Image> stubsByInstallName(const fs::path& root) {
  std::map<std::string, macho::Image> out;
  for (const auto& entry : fs::recursive_directory_iterator(root)) {
    if (!entry.is_regular_file()) continue;
    macho::Image image = macho::readFile(entry.path()).front();
    out.emplace(image.installName, std::move(image));
  }
  return out;
}

std::set<std::string> exportedSymbols(const macho::Image& image) {
  std::set<std::string> out;
  for (const macho::Symbol& s : image.symbols) {
    if (s.external() && !s.undefined()) out.insert(s.name);
  }
  return out;
}

TEST(LinkStubs, HoldEachTextStubsInstallNameVersionsAndExportsForBothArchitectures) {
  TempDir out;
  auto made = run({MAKE_STUB_DYLIBS, SDK_DIR, out.path().string()});
  ASSERT_EQ(made.exitCode, 0) << made.output;
  for (const auto& [arch, subtype] : {std::pair{"arm64", 0u}, std::pair{"arm64e", 0x80000002u}}) {
    auto stubs = stubsByInstallName(out / arch);
    EXPECT_TRUE(fs::exists(out / arch / "iphoneos/usr/lib/libSystem.dylib"));
    EXPECT_TRUE(fs::exists(out / arch / "private/Frameworks/CydiaSubstrate.framework/CydiaSubstrate"));
    size_t count = 0;
    for (const fs::path& file : tbd::findAll(SDK_DIR)) {
      tbd::Library library = tbd::read(file);
      ++count;
      ASSERT_TRUE(stubs.count(library.installName)) << "no stub for " << library.installName;
      const macho::Image& stub = stubs.at(library.installName);
      EXPECT_EQ(stub.fileType, macho::kFileTypeDylib);
      EXPECT_EQ(stub.fullCpuSubtype, subtype) << library.installName;
      EXPECT_EQ(stub.currentVersion, library.currentVersion);
      std::set<std::string> expected;
      for (const tbd::Export& e : library.exportsFor(std::string(arch) + "-ios")) expected.insert(e.name);
      EXPECT_EQ(exportedSymbols(stub), expected) << library.installName;
      EXPECT_TRUE(stub.sections.empty()) << library.installName << ": a stub holds no code or data";
      std::vector<std::string> needs;
      if (library.installName != "/usr/lib/libSystem.B.dylib") needs = {"/usr/lib/libSystem.B.dylib"};
      EXPECT_EQ(stub.dylibs, needs) << library.installName;
    }
    EXPECT_EQ(stubs.size(), count);
  }
}

TEST(LinkStubs, TakeTheStubsVersionsClassesWeakSymbolsAndTargets) {
  TempDir sdk, out;
  writeFile(sdk / "System/Library/Frameworks/Kit.framework/Kit.tbd",
            "--- !tapi-tbd\ntbd-version: 4\ntargets: [ arm64-ios, arm64e-ios ]\n"
            "install-name: '/System/Library/Frameworks/Kit.framework/Kit'\n"
            "current-version: 1856.105.2\ncompatibility-version: 300\n"
            "exports:\n"
            "  - targets: [ arm64-ios, arm64e-ios ]\n    symbols: [ _KitMain ]\n    objc-classes: [ KitView ]\n"
            "  - targets: [ arm64e-ios ]\n    weak-symbols: [ _KitWeak ]\n...\n");
  auto made = run({MAKE_STUB_DYLIBS, sdk.path().string(), out.path().string()});
  ASSERT_EQ(made.exitCode, 0) << made.output;
  macho::Image arm64 = macho::readFile(out / "arm64/System/Library/Frameworks/Kit.framework/Kit").front();
  macho::Image arm64e = macho::readFile(out / "arm64e/System/Library/Frameworks/Kit.framework/Kit").front();
  EXPECT_EQ(arm64e.currentVersion, (1856u << 16) | (105u << 8) | 2u);
  EXPECT_EQ(arm64e.compatibilityVersion, 300u << 16);
  EXPECT_EQ(exportedSymbols(arm64), (std::set<std::string>{"_KitMain", "_OBJC_CLASS_$_KitView", "_OBJC_METACLASS_$_KitView"}));
  EXPECT_EQ(exportedSymbols(arm64e),
            (std::set<std::string>{"_KitMain", "_KitWeak", "_OBJC_CLASS_$_KitView", "_OBJC_METACLASS_$_KitView"}));
  for (const macho::Symbol& s : arm64e.symbols) EXPECT_EQ((s.desc & 0x80) != 0, s.name == "_KitWeak") << s.name;
}

TEST(LinkStubs, RefuseATextStubAPlainStubCannotStandFor) {
  const std::pair<std::string, std::string> cases[] = {
      {"tbd-version: 4\ntargets: [ arm64-ios ]\ninstall-name: /usr/lib/libA.dylib\n"
       "reexported-libraries:\n  - targets: [ arm64-ios ]\n    libraries: [ /usr/lib/libB.dylib ]\n",
       "uses reexported-libraries"},
      {"tbd-version: 3\ntargets: [ arm64-ios ]\ninstall-name: /usr/lib/libA.dylib\n", "tbd-version: 4"},
      {"tbd-version: 4\ntargets: [ arm64-ios ]\ninstall-name: /usr/lib/libA.dylib\ncurrent-version: 1.x\n",
       "'1.x' is not a library version"},
  };
  for (const auto& [text, reason] : cases) {
    TempDir sdk, out;
    writeFile(sdk / "usr/lib/libA.tbd", "--- !tapi-tbd\n" + text + "...\n");
    auto made = run({MAKE_STUB_DYLIBS, sdk.path().string(), out.path().string()});
    EXPECT_EQ(made.exitCode, 1) << made.output;
    EXPECT_NE(made.output.find((sdk / "usr/lib/libA.tbd").string() + ": "), std::string::npos) << made.output;
    EXPECT_NE(made.output.find(reason), std::string::npos) << made.output;
  }
}

// What the stubs are for: ld64 links an arm64e image against them, binding each import to its
// library, and names an import no stub exports.
TEST(LinkStubs, Ld64LinksArm64eAgainstThemAndNamesAMissingImport) {
  SKIP_WITHOUT_LD64();
  TempDir dir;
  ASSERT_EQ(run({MAKE_STUB_DYLIBS, "--arch", "arm64e", SDK_DIR, (dir / "stubs").string()}).exitCode, 0);
  auto link = [&](const std::string& function) {
    writeFile(dir / "use.c", "void " + function + "(const void*);\nvoid use(const void* p) { " + function + "(p); }\n");
    auto compiled = run({toolchain::clang22(), "-target", "arm64e-apple-ios15.0", "-O2", "-c", (dir / "use.c").string(),
                         "-o", (dir / "use.o").string()});
    EXPECT_EQ(compiled.exitCode, 0) << compiled.output;
    return run({toolchain::ld64(), "-arch", "arm64e", "-platform_version", "ios", "15.0", "15.0", "-dylib",
                "-install_name", "@rpath/use.dylib", "-syslibroot", (dir / "stubs/arm64e/iphoneos").string(),
                "-adhoc_codesign", "-o", (dir / "use.dylib").string(), (dir / "use.o").string(), "-lSystem",
                "-framework", "CoreFoundation"});
  };
  auto linked = link("CFRelease");
  ASSERT_EQ(linked.exitCode, 0) << linked.output;
  macho::Image image = macho::readFile(dir / "use.dylib").front();
  bool bound = false;
  for (const macho::Fixup& f : macho::fixups(image)) {
    if (f.kind == macho::Fixup::Kind::Bind && f.symbol == "_CFRelease") {
      bound = image.library(f.ordinal) == "/System/Library/Frameworks/CoreFoundation.framework/CoreFoundation";
    }
  }
  EXPECT_TRUE(bound) << "_CFRelease is not bound to CoreFoundation";

  auto missing = link("CFNotInTheStub");
  EXPECT_NE(missing.exitCode, 0);
  EXPECT_NE(missing.output.find("_CFNotInTheStub"), std::string::npos) << missing.output;
}

}  // namespace
