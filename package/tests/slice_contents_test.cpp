// What macho-slices --contents refuses in an arm64e slice, on small images linked here by clang-22 and
// ld64 from assembly: code pointers in data that the runtime or the hooking library could not call,
// the fixup form that cannot carry signed pointers, and a signature that no longer matches.
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "support/run.h"
#include "support/temp_dir.h"
#include "toolchain.h"

namespace fs = std::filesystem;
using testing_support::run;
using testing_support::RunResult;
using testing_support::TempDir;
using testing_support::writeFile;

namespace {

// A table in constant data holding pointers to two functions, each entry written as `entries` says.
std::string tableSource(const std::string& entries) {
  return "  .section __TEXT,__text,regular,pure_instructions\n  .p2align 2\n"
         "_impl:\n  ret\n_other:\n  ret\n"
         "  .section __DATA,__const\n  .p2align 3\n_table:\n" +
         entries;
}

class SliceContents : public testing::Test {
 protected:
  void SetUp() override {
    SKIP_WITHOUT_LD64();
    ASSERT_EQ(run({MAKE_STUB_DYLIBS, "--arch", "arm64e", SDK_DIR, (dir_ / "stubs").string()}).exitCode, 0);
  }
  // Assembles `source` for arm64e and links it into an ad-hoc signed dylib; returns its path.
  fs::path link(const std::string& source, const std::vector<std::string>& flags = {}) {
    writeFile(dir_ / "table.s", source);
    auto assembled = run({toolchain::clang22(), "-target", "arm64e-apple-ios15.0", "-c", (dir_ / "table.s").string(),
                          "-o", (dir_ / "table.o").string()});
    EXPECT_EQ(assembled.exitCode, 0) << assembled.output;
    std::vector<std::string> argv{toolchain::ld64(), "-arch", "arm64e", "-platform_version", "ios", "15.0", "15.0",
                                  "-dylib", "-install_name", "@rpath/table.dylib", "-syslibroot",
                                  (dir_ / "stubs/arm64e/iphoneos").string(), "-adhoc_codesign"};
    argv.insert(argv.end(), flags.begin(), flags.end());
    argv.insert(argv.end(), {"-o", (dir_ / "table.dylib").string(), (dir_ / "table.o").string(), "-lSystem"});
    auto linked = run(argv);
    EXPECT_EQ(linked.exitCode, 0) << linked.output;
    return dir_ / "table.dylib";
  }
  RunResult check(const fs::path& file) { return run({MACHO_SLICES, "--expect", "arm64e", "--contents", file.string()}); }
  TempDir dir_;
};

TEST_F(SliceContents, AcceptsCodePointersSignedWithKeyIaAndNoDiversity) {
  auto result = check(link(tableSource("  .quad _impl@AUTH(ia,0)\n  .quad _other@AUTH(ia,0)\n")));
  EXPECT_EQ(result.exitCode, 0) << result.output;
}

TEST_F(SliceContents, RefusesCodePointersTheRuntimeCouldNotCall) {
  auto result = check(link(tableSource("  .quad _impl\n  .quad _other@AUTH(ia,42,addr)\n  .quad _impl@AUTH(ib,0)\n")));
  EXPECT_EQ(result.exitCode, 1) << result.output;
  EXPECT_NE(result.output.find("(__DATA_CONST,__const, _table) to the code at"),
            std::string::npos)
      << result.output;
  EXPECT_NE(result.output.find("(__TEXT,__text, _impl) is not signed"), std::string::npos) << result.output;
  EXPECT_NE(result.output.find("_table+0x8) to the code at"), std::string::npos) << result.output;
  EXPECT_NE(result.output.find("is signed with key IA, address diversity and discriminator 0x2a"), std::string::npos)
      << result.output;
  EXPECT_NE(result.output.find("is signed with key IB and discriminator 0x0"), std::string::npos) << result.output;
}

TEST_F(SliceContents, RefusesAnArm64eSliceWithoutChainedFixups) {
  auto result = check(link(tableSource("  .quad _impl@AUTH(ia,0)\n"), {"-no_fixup_chains"}));
  EXPECT_EQ(result.exitCode, 1) << result.output;
  EXPECT_NE(result.output.find("has no chained fixups"), std::string::npos) << result.output;
}

TEST_F(SliceContents, RefusesAFileChangedAfterItWasSigned) {
  fs::path file = link(tableSource("  .quad _impl@AUTH(ia,0)\n"));
  {
    std::fstream bytes(file, std::ios::in | std::ios::out | std::ios::binary);
    bytes.seekp(0x3ff0);  // padding in the first page of __TEXT
    bytes.put('\x01');
  }
  auto result = check(file);
  EXPECT_EQ(result.exitCode, 1) << result.output;
  EXPECT_NE(result.output.find("the hash of page 3 (0x3000-0x4000) does not match"), std::string::npos)
      << result.output;
}

}  // namespace
