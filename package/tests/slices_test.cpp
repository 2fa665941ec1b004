// The slice check the device build stops on: macho-slices on synthetic files, and build-device's
// arm64e route driven through a stand-in "Apple" toolchain that cannot make a real arm64e slice.
#include <filesystem>
#include <string>
#include <vector>

#include "device_build.h"
#include "fake_tools.h"
#include "support/run.h"
#include "support/temp_dir.h"
#include "support/synthetic_macho.h"

namespace fs = std::filesystem;
using testing_support::readFile;
using testing_support::run;
using testing_support::RunResult;
using testing_support::TempDir;
using testing_support::writeFile;

namespace {

class SliceCheck : public testing::Test {
 protected:
  // Runs macho-slices [--expect EXPECT] on a file holding `bytes`.
  RunResult check(const std::string& bytes, const std::string& expect = "") {
    fs::path file = dir_ / "binary";
    writeFile(file, bytes);
    if (expect.empty()) return run({MACHO_SLICES, file.string()});
    return run({MACHO_SLICES, "--expect", expect, file.string()});
  }
  TempDir dir_;
};

TEST_F(SliceCheck, NamesAThinArm64Slice) {
  auto result = check(synthetic::thin(synthetic::kArm64, 0), "arm64");
  EXPECT_EQ(result.exitCode, 0) << result.output;
  EXPECT_NE(result.output.find(": arm64\n"), std::string::npos) << result.output;
}

TEST_F(SliceCheck, AcceptsAThinArm64eSliceWithTheVersionedPointerAuthenticationAbi) {
  auto result = check(synthetic::thin(synthetic::kArm64, synthetic::kArm64e), "arm64e");
  EXPECT_EQ(result.exitCode, 0) << result.output;
  EXPECT_NE(result.output.find(": arm64e\n"), std::string::npos) << result.output;
}

TEST_F(SliceCheck, NamesBothSlicesOfAUniversalFileAndHoldsThemToTheExpectedSet) {
  std::string both = synthetic::universal({{synthetic::kArm64, 0}, {synthetic::kArm64, synthetic::kArm64e}});
  auto result = check(both, "arm64,arm64e");
  EXPECT_EQ(result.exitCode, 0) << result.output;
  EXPECT_NE(result.output.find(": arm64 arm64e\n"), std::string::npos) << result.output;

  auto thinExpected = check(both, "arm64");
  EXPECT_EQ(thinExpected.exitCode, 1);
  EXPECT_NE(thinExpected.output.find("has arm64 + arm64e, expected arm64"), std::string::npos) << thinExpected.output;
}

// What clang-19 and ld64.lld make of "arm64e": subtype 2 without the ABI bit, which dyld refuses.
TEST_F(SliceCheck, RefusesAnArm64eSliceWithoutTheVersionedAbi) {
  for (const std::string& bytes : {synthetic::thin(synthetic::kArm64, 0x2),
                                   synthetic::universal({{synthetic::kArm64, 0}, {synthetic::kArm64, 0x2}})}) {
    auto result = check(bytes);
    EXPECT_EQ(result.exitCode, 1);
    EXPECT_NE(result.output.find("the arm64e slice has CPU subtype 0x2, not 0x80000002"), std::string::npos)
        << result.output;
    EXPECT_NE(result.output.find("clang-22 and Apple's ld64"), std::string::npos) << result.output;
  }
}

// build-device on "macOS": xcrun names a clang that is clang-22 making arm64 objects and an ld that is
// ld64.lld (told arm64 for arm64e, which it does not know). The compile and link go through them, and
// the check stops the build on the slice they make.
TEST(Arm64eRoute, CompilesAndLinksWithTheAppleToolchainAndStopsOnASliceThatIsNotArm64e) {
  SKIP_WITHOUT_DEVICE_BUILD();
  TempDir tools, out;
  fs::path log = tools / "calls.log";
  fs::path toolchain = tools / "toolchain";  // not on PATH, where the host's compiler would find its ld
  fake::tool(toolchain, "clang",
             "echo \"clang $*\" >> '" + log.string() + "'\n"
             "for a; do shift; case \"$a\" in arm64e-*) set -- \"$@\" arm64-apple-ios15.0 ;; *) set -- \"$@\" \"$a\" ;; esac; done\n"
             "exec clang-22 \"$@\"\n");
  fake::tool(toolchain, "ld",
             "echo \"ld $*\" >> '" + log.string() + "'\n"
             "for a; do shift\n"
             "  if [ \"$v\" = 1 ]; then set -- \"$@\" -platform_version ios \"$a\" \"$a\"; v=; continue; fi\n"
             "  case \"$a\" in -iphoneos_version_min) v=1 ;; arm64e) set -- \"$@\" arm64 ;; *) set -- \"$@\" \"$a\" ;; esac\n"
             "done\nexec ld64.lld-22 \"$@\"\n");
  fake::tool(tools / "bin", "xcrun",
             "case \"$*\" in\n"
             "  '--sdk iphoneos --show-sdk-path') echo '" SDK_DIR "/iphoneos' ;;\n"
             "  '--sdk iphoneos --find clang') echo '" + (toolchain / "clang").string() + "' ;;\n"
             "  '--sdk iphoneos --find ld') echo '" + (toolchain / "ld").string() + "' ;;\n"
             "  *) exit 1 ;;\nesac\n");

  auto result = run({BUILD_DEVICE, "--quiet", "--out", out.path().string()},
                    {fake::pathFirst(tools / "bin"), "MACHO_SLICES=" MACHO_SLICES});
  EXPECT_EQ(result.exitCode, 1) << result.output;
  EXPECT_NE(result.output.find("has arm64, expected arm64e"), std::string::npos) << result.output;
  EXPECT_NE(result.output.find("the arm64e link did not make a loadable arm64e slice"), std::string::npos)
      << result.output;
  EXPECT_FALSE(fs::exists(out / "Ravelo.dylib"));
  EXPECT_FALSE(fs::exists(out / "RaveloPrefs"));

  std::string calls = readFile(log);
  EXPECT_NE(calls.find("clang -target arm64e-apple-ios15.0 -isysroot " SDK_DIR "/iphoneos"), std::string::npos);
  EXPECT_NE(calls.find("-funwind-tables"), std::string::npos);
  EXPECT_NE(calls.find("--ld-path=" + (toolchain / "ld").string()), std::string::npos) << "not linked by the toolchain's ld";
  EXPECT_NE(calls.find("\nld "), std::string::npos) << "the toolchain's ld never ran";
}

TEST(Arm64eRoute, AToolchainFolderNeedsAnSdkAndAClang) {
  SKIP_WITHOUT_DEVICE_BUILD();
  TempDir empty;
  auto noSdk = run({BUILD_DEVICE, "--out", (empty / "out").string()}, {"RAVELO_APPLE_TOOLCHAIN=" + empty.path().string()});
  EXPECT_EQ(noSdk.exitCode, 1);
  EXPECT_NE(noSdk.output.find("RAVELO_APPLE_SDK is not: set both"), std::string::npos) << noSdk.output;

  auto noClang = run({BUILD_DEVICE, "--out", (empty / "out").string()},
                     {"RAVELO_APPLE_TOOLCHAIN=" + empty.path().string(), "RAVELO_APPLE_SDK=" SDK_DIR "/iphoneos"});
  EXPECT_EQ(noClang.exitCode, 1);
  EXPECT_NE(noClang.output.find("no clang in RAVELO_APPLE_TOOLCHAIN"), std::string::npos) << noClang.output;
}

}  // namespace

namespace {

std::vector<std::string> deviceToolsEnv() {
  return {"MACHO_SLICES=" MACHO_SLICES, "MAKE_STUB_DYLIBS=" MAKE_STUB_DYLIBS};
}

// Where package/toolchain/build-ld64 has built nothing, the arm64 slice is linked by ld64.lld, and
// the build says why there is no arm64e slice and how to get one.
TEST(DeviceRoutes, WithoutLd64TheArm64SliceAloneIsMadeAndTheNoteSaysHowToGetArm64e) {
  SKIP_WITHOUT_DEVICE_BUILD();
  TempDir cache, out;
  auto env = deviceToolsEnv();
  env.push_back("RAVELO_TOOLCHAIN_CACHE=" + cache.path().string());
  auto result = run({BUILD_DEVICE, "--quiet", "--out", out.path().string()}, env);
  EXPECT_EQ(result.exitCode, 0) << result.output;
  EXPECT_NE(result.output.find("no arm64e slice: Apple's ld64 is not built on this machine: run "
                               "package/toolchain/build-ld64 once"),
            std::string::npos)
      << result.output;
  EXPECT_NE(result.output.find("made arm64 only"), std::string::npos) << result.output;
  for (const char* binary : {"Ravelo.dylib", "RaveloPrefs"}) {
    auto slices = macho::readFile(out / binary);
    ASSERT_EQ(slices.size(), 1u);
    EXPECT_EQ(slices[0].fullCpuSubtype, 0u);
    EXPECT_TRUE(slices[0].hasCommand(macho::kLcDyldInfoOnly)) << "ld64.lld's classic fixups";
  }
}

// A clean build elsewhere gives the bytes of the one the host build made (the same slices, signed).
TEST(DeviceRoutes, TwoCleanBuildsGiveTheSameBytes) {
  SKIP_WITHOUT_DEVICE_BUILD();
  if (DEVICE_PREBUILT) GTEST_SKIP() << "the device binaries were built elsewhere (RAVELO_DEVICE_PREBUILT)";
  TempDir out;
  auto result = run({BUILD_DEVICE, "--quiet", "--out", out.path().string()}, deviceToolsEnv());
  ASSERT_EQ(result.exitCode, 0) << result.output;
  for (const char* binary : {"Ravelo.dylib", "RaveloPrefs"}) {
    EXPECT_TRUE(readFile(out / binary) == readFile(fs::path(DEVICE_DIR) / binary)) << binary << " differs";
  }
}

}  // namespace
