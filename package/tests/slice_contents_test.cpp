// What macho-slices --contents refuses in an arm64e slice, on small images linked here by clang-22 and
// ld64 from assembly: code pointers in data that the runtime or the hooking library could not call,
// the fixup form that cannot carry signed pointers, a signature that no longer matches, and unwind
// entries Apple's toolchain would not write; and on hand-made images, signed pointers the system
// authenticates otherwise: imports in __auth_got and constant strings' isa.
#include <gmock/gmock.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "slice_checks.h"
#include "support/run.h"
#include "support/temp_dir.h"
#include "support/tiny_dylib.h"
#include "toolchain.h"

namespace fs = std::filesystem;
using testing_support::run;
using testing_support::RunResult;
using testing_support::TempDir;
using testing_support::writeFile;
using testing::AllOf;
using testing::Contains;
using testing::HasSubstr;
using testing::Not;

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

// A function whose prologue flips the return-address signing state gets a DWARF entry with that
// flip, and a frame compact unwind cannot describe a DWARF-mode entry: both are named by function.
TEST_F(SliceContents, RefusesUnwindEntriesAppleToolchainWouldNotWrite) {
  const std::string framed = "  stp x29, x30, [sp, #-16]!\n  mov x29, sp\n  .cfi_def_cfa w29, 16\n"
                             "  .cfi_offset w30, -8\n  .cfi_offset w29, -16\n  bl _other\n"
                             "  ldp x29, x30, [sp], #16\n  retab\n  .cfi_endproc\n";
  auto result = check(link(
      "  .section __TEXT,__text,regular,pure_instructions\n  .p2align 2\n"
      "_compact:\n  .cfi_startproc\n  pacibsp\n" + framed +
      "_signing:\n  .cfi_startproc\n  .cfi_b_key_frame\n  pacibsp\n  .cfi_negate_ra_state\n" + framed +
      "_other:\n  .cfi_startproc\n  stp x19, x30, [sp, #-16]!\n  mov x19, sp\n  .cfi_def_cfa x19, 16\n"
      "  ldp x19, x30, [sp], #16\n  ret\n  .cfi_endproc\n"
      "  .section __DATA,__const\n  .p2align 3\n_table:\n  .quad _compact@AUTH(ia,0)\n  .quad _signing@AUTH(ia,0)\n"));
  EXPECT_EQ(result.exitCode, 1) << result.output;
  EXPECT_THAT(result.output, HasSubstr("(__TEXT,__text, _signing) has a DWARF-mode unwind entry (0x3"));
  EXPECT_THAT(result.output, HasSubstr("for the function at 0x"));
  EXPECT_THAT(result.output, HasSubstr("(__TEXT,__text, _signing) flips the return-address signing state"));
  EXPECT_THAT(result.output, HasSubstr("(__TEXT,__text, _other) has a DWARF-mode unwind entry"));
  EXPECT_THAT(result.output, Not(HasSubstr("_compact)"))) << "a compact entry passes";
}

// ---- hand-made images -------------------------------------------------------------------------

constexpr uint8_t kIA = 0, kIB = 1, kDA = 2;

std::vector<std::string> problemsOf(const std::vector<uint8_t>& bytes) {
  return macho::contentProblems(tiny::imageOf(bytes));
}

// An __auth_stubs stub branches with braa x16, x17 (x17 the slot's address): each slot must be an
// import signed with key IA, address diversity and discriminator 0.
TEST(SliceContentsByHand, RefusesAuthGotSlotsTheStubsCouldNotAuthenticate) {
  auto problems = problemsOf(tiny::chainedDylib(
      "__auth_got",
      {tiny::authBind(0, kIA, true, 0, 1), tiny::authBind(0, kIA, false, 0, 1), tiny::authBind(0, kIB, true, 0, 1),
       tiny::authBind(0, kIA, true, 7, 1), tiny::plainBind(0, 1), tiny::authRebase(tiny::kText, kIA, true, 0, 0), 0},
      "_record"));
  auto slot = [](int i) { return "the __auth_got slot at " + macho::hex(tiny::kDataAddress + 8 * i) + " (__DATA,__auth_got"; };
  EXPECT_THAT(problems, Not(Contains(HasSubstr(slot(0)))));
  const std::string stub = ": its __auth_stubs stub branches with braa x16, x17 (key IA, the slot's address, discriminator 0)";
  EXPECT_THAT(problems, Contains(AllOf(HasSubstr(slot(1) + ") for _record is signed with key IA and discriminator 0x0"),
                                       HasSubstr(stub))));
  EXPECT_THAT(problems, Contains(HasSubstr(slot(2) + ") for _record is signed with key IB, address diversity and "
                                                     "discriminator 0x0")));
  EXPECT_THAT(problems, Contains(HasSubstr(slot(3) + ") for _record is signed with key IA, address diversity and "
                                                     "discriminator 0x7")));
  EXPECT_THAT(problems, Contains(HasSubstr(slot(4) + ") for _record is unsigned")));
  EXPECT_THAT(problems, Contains(HasSubstr(slot(5) + ") holds a rebase")));
  EXPECT_THAT(problems, Contains(HasSubstr(slot(6) + ") is not fixed up")));
}

// objc_msgSend authenticates an isa with key DA, the object's address and discriminator 0x6AE1: a
// constant string's isa must be bound to ___CFConstantStringClassReference and signed so.
TEST(SliceContentsByHand, RefusesConstantStringsWhoseIsaObjcMsgSendCouldNotAuthenticate) {
  auto problems = problemsOf(tiny::constantStringsDylib(
      {tiny::authBind(0, kDA, true, 0x6ae1, 2), tiny::plainBind(0, 2), tiny::authBind(0, kDA, false, 0x6ae1, 2),
       tiny::authBind(0, kDA, true, 0x6ae2, 2), tiny::authBind(0, kIA, true, 0x6ae1, 2),
       tiny::authRebase(tiny::kText, kDA, true, 0x6ae1, 2)}));
  auto string = [](int i) {
    return "the constant string \"text\" at " + macho::hex(tiny::kDataAddress + 32 * i) + " (__DATA,__cfstring)";
  };
  EXPECT_THAT(problems, Not(Contains(HasSubstr(string(0)))));
  EXPECT_THAT(problems, Contains(AllOf(HasSubstr(string(1) + " has an unsigned isa: objc_msgSend authenticates an isa "
                                                             "with key DA, the object's address and discriminator 0x6ae1"))));
  EXPECT_THAT(problems, Contains(HasSubstr(string(2) + " has its isa signed with key DA and discriminator 0x6ae1")));
  EXPECT_THAT(problems,
              Contains(HasSubstr(string(3) + " has its isa signed with key DA, address diversity and discriminator 0x6ae2")));
  EXPECT_THAT(problems, Contains(HasSubstr(string(4) + " has its isa signed with key IA")));
  EXPECT_THAT(problems, Contains(HasSubstr(string(5) + " has an isa that is not bound to ___CFConstantStringClassReference")));
}

}  // namespace
