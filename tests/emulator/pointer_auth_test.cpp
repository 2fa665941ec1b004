// Pointer authentication in an emulated arm64e process: the emulator signs exactly as the CPU's own
// PAC instructions do; a hand-made arm64e dylib (chained fixups as Apple's linker writes them) whose
// signed function pointer in data is called, and whose unsigned and wrongly signed ones stop the run;
// constant strings whose isa must be signed as objc_msgSend checks it. (The runtime and the hooking
// library refusing implementations not signed as function pointers: stand_in_bridge_test.cpp.)
#include <gtest/gtest.h>
#include <gmock/gmock.h>

#include <string>
#include <vector>

#include <CoreFoundation/CoreFoundation.h>

#include "host/objc.h"
#include "loader.h"
#include "process.h"
#include "support/tiny_dylib.h"

namespace {

using namespace tiny;
using emu::PacKey;
using testing::HasSubstr;

constexpr uint64_t kCallSlot = kCode, kCallImport = kCode + 0x20, kSmash = kCode + 0x40, kSmashChecked = kCode + 0x60,
                   kAnswer = kCode + 0x100;
constexpr uint64_t kBase = 0x120000000;
constexpr uint8_t kIA = 0, kDA = 2;

// An arm64e dylib whose __data holds four pointers: the answer function signed as a C function
// pointer (key IA, discriminator 0), the same unsigned, the same signed with discriminator 0x1234,
// and _record bound as __auth_got binds it (key IA, address diversity). callSlot(i) calls pointer i
// as C calls a function pointer (BLRAAZ); callImport calls _record as an __auth_stubs stub does.
// Both sign their return address (PACIBSP ... RETAB). smash(address) and smashChecked(address)
// overwrite their saved return address with `address`, then return with RETAB, or with AUTIBSP and
// the check clang puts before a plain RET.
std::vector<uint8_t> arm64eDylib(uint32_t cpuSubtype = 0x80000002) {
  Writer w;
  writeHeader(w, cpuSubtype, 0x108, {{"__data", kDataAddress, 32, 0}}, chainedFixupsCommand({"_record"}));
  w.at(kCallSlot);
  w.code({0xd503237f,    // pacibsp
          0xa9bf7bfd,    // stp    x29, x30, [sp, #-16]!
          0xf0000009,    // adrp   x9, __DATA (3 pages on)
          0x8b000d31,    // add    x17, x9, x0, lsl #3
          0xf9400230,    // ldr    x16, [x17]
          0xd63f0a1f,    // blraaz x16                      (callSlot+0x14)
          0xa8c17bfd,    // ldp    x29, x30, [sp], #16
          0xd65f0fff});  // retab
  w.at(kCallImport);
  w.code({0xd503237f,    // pacibsp
          0xa9bf7bfd,    // stp    x29, x30, [sp, #-16]!
          0xf0000011,    // adrp   x17, __DATA
          0x91006231,    // add    x17, x17, #24
          0xf9400230,    // ldr    x16, [x17]
          0xd73f0a11,    // blraa  x16, x17
          0xa8c17bfd,    // ldp    x29, x30, [sp], #16
          0xd65f0fff});  // retab
  w.at(kSmash);
  w.code({0xd503237f,    // pacibsp
          0xa9bf7bfd,    // stp    x29, x30, [sp, #-16]!
          0xf90007e0,    // str    x0, [sp, #8]
          0xa8c17bfd,    // ldp    x29, x30, [sp], #16
          0xd65f0fff});  // retab                            (smash+0x10)
  w.at(kSmashChecked);
  w.code({0xd503237f,    // pacibsp
          0xa9bf7bfd,    // stp    x29, x30, [sp, #-16]!
          0xf90007e0,    // str    x0, [sp, #8]
          0xa8c17bfd,    // ldp    x29, x30, [sp], #16
          0xd50323ff,    // autibsp
          0xca1e07d0,    // eor    x16, x30, x30, lsl #1
          0xb6f00050,    // tbz    x16, #62, +8
          0xd4388e20,    // brk    #0xc471                  (smashChecked+0x1c)
          0xd65f03c0});  // ret
  w.at(kAnswer);
  w.code({0xd2800540, 0xd65f03c0});  // mov x0, #42; ret
  w.at(kDataAddress);
  w.put(authRebase(kAnswer, kIA, false, 0, 1));
  w.put(plainRebase(kAnswer, 1));
  w.put(authRebase(kAnswer, kIA, false, 0x1234, 1));
  w.put(authBind(0, kIA, true, 0, 0));
  writeChainedFixups(w, 12, {"_record"});
  return w.bytes;
}

std::string failure(const std::function<void()>& run) {
  try {
    run();
  } catch (const emu::Error& e) {
    return e.what();
  }
  return "(no failure)";
}

TEST(EmulatedPointerAuthentication, TheEmulatorSignsAndAuthenticatesExactlyAsTheCpu) {
  emu::Machine machine(emu::Architecture::Arm64e);
  const uint64_t code = 0x50000000;
  const uint32_t kRet = 0xd65f03c0;
  // pacia, pacib, pacda, pacdb, autia x0, x1; xpaci x0: each followed by ret; br x0.
  const std::vector<uint32_t> instructions{0xdac10020, kRet, 0xdac10420, kRet, 0xdac10820, kRet,
                                           0xdac10c20, kRet, 0xdac11020, kRet, 0xdac143e0, kRet, 0xd61f0000};
  machine.map(code, 0x1000, emu::kRead | emu::kExecute);
  machine.write(code, instructions.data(), instructions.size() * 4);
  for (uint64_t pointer : {uint64_t{0x100004000}, uint64_t{0x700000010}, uint64_t{0x7fffffffff}}) {
    for (uint64_t modifier : {uint64_t{0}, uint64_t{42}, emu::blendDiscriminator(0x100008010, 0x1234)}) {
      for (PacKey key : {PacKey::IA, PacKey::IB, PacKey::DA, PacKey::DB}) {
        uint64_t signedPointer = machine.sign(pointer, key, modifier);
        EXPECT_NE(signedPointer, pointer);
        EXPECT_EQ(machine.call(code + 8 * static_cast<int>(key), {pointer, modifier}).x0, signedPointer)
            << emu::keyName(key) << " " << std::hex << pointer << " " << modifier;
        EXPECT_EQ(machine.authenticate(signedPointer, key, modifier), pointer);
        EXPECT_EQ(machine.strip(signedPointer), pointer);
      }
      uint64_t signedPointer = machine.sign(pointer, PacKey::IA, modifier);
      EXPECT_EQ(machine.call(code + 32, {signedPointer, modifier}).x0, pointer);
      EXPECT_EQ(machine.call(code + 40, {signedPointer}).x0, pointer);
      // Another modifier: the CPU leaves a pointer no branch can use, and the emulator refuses it.
      uint64_t failed = machine.call(code + 32, {signedPointer, modifier + 1}).x0;
      EXPECT_EQ(failure([&] { machine.call(code + 48, {failed}); }),
                "pointer authentication failed at " + macho::hex(code + 48) + ": a branch to " + macho::hex(pointer) +
                    " through a pointer that did not authenticate (key IA or DA)");
      EXPECT_FALSE(machine.authenticate(signedPointer, PacKey::IA, modifier + 1));
    }
  }
}

TEST(EmulatedPointerAuthentication, ASignedFunctionPointerInDataIsCalledAnUnsignedOrWronglySignedOneStopsTheRun) {
  emu::Machine machine(emu::Architecture::Arm64e);
  emu::Imports imports(machine);
  int recorded = 0;
  imports.function(kLibrary, "_record", [&](emu::Cpu& cpu) {
    ++recorded;
    cpu.setX(0, 7);
  });
  emu::load(machine, imports, imageOf(arm64eDylib()), "/tiny.dylib", kBase);

  // The loader signed as dyld does: the rebase as a C function pointer, the bind with its slot's address.
  const uint64_t slots = kBase + kDataAddress;
  EXPECT_EQ(machine.load<uint64_t>(slots), machine.sign(kBase + kAnswer, PacKey::IA, 0));
  EXPECT_EQ(machine.load<uint64_t>(slots + 8), kBase + kAnswer);
  EXPECT_EQ(machine.load<uint64_t>(slots + 24),
            machine.sign(imports.find(kLibrary, "_record"), PacKey::IA, emu::blendDiscriminator(slots + 24, 0)));

  EXPECT_EQ(machine.call(kBase + kCallSlot, {0}).x0, 42u);
  EXPECT_EQ(machine.call(kBase + kCallImport, {}).x0, 7u);
  EXPECT_EQ(recorded, 1);
  const std::string expected =
      "pointer authentication failed at tiny.dylib+0x1014: a branch to tiny.dylib+0x1100 through a pointer that "
      "did not authenticate (key IA or DA)";
  EXPECT_EQ(failure([&] { machine.call(kBase + kCallSlot, {1}); }), expected) << "the unsigned pointer";
  EXPECT_EQ(failure([&] { machine.call(kBase + kCallSlot, {2}); }), expected) << "the wrongly signed pointer";
  EXPECT_EQ(machine.call(kBase + kCallSlot, {0}).x0, 42u) << "the process goes on after a stopped run";
}

TEST(EmulatedPointerAuthentication, AnOverwrittenReturnAddressStopsTheRunWhereItIsAuthenticated) {
  emu::Machine machine(emu::Architecture::Arm64e);
  emu::Imports imports(machine);
  imports.function(kLibrary, "_record", [](emu::Cpu&) {});
  emu::load(machine, imports, imageOf(arm64eDylib()), "/tiny.dylib", kBase);
  EXPECT_EQ(failure([&] { machine.call(kBase + kSmash, {kBase + kAnswer}); }),
            "pointer authentication failed at tiny.dylib+0x1050: a branch to tiny.dylib+0x1100 through a pointer "
            "that did not authenticate (key IB or DB)");
  EXPECT_EQ(failure([&] { machine.call(kBase + kSmashChecked, {kBase + kAnswer}); }),
            "pointer authentication failed at tiny.dylib+0x107c: the check after authenticating with key IB");
}

TEST(EmulatedPointerAuthentication, Arm64eImagesLoadOnlyIntoArm64eProcessesAndOnlyWithTheVersionedAbi) {
  emu::Machine arm64;
  emu::Imports arm64Imports(arm64);
  EXPECT_THAT(failure([&] { emu::load(arm64, arm64Imports, imageOf(arm64eDylib()), "/tiny.dylib", kBase); }),
              HasSubstr("tiny.dylib is an arm64e image and the process is arm64"));
  emu::Machine arm64e(emu::Architecture::Arm64e);
  emu::Imports arm64eImports(arm64e);
  EXPECT_THAT(failure([&] { emu::load(arm64e, arm64eImports, imageOf(arm64eDylib(2)), "/tiny.dylib", kBase); }),
              HasSubstr("without the versioned pointer-authentication ABI (subtype 0x2)"));
  EXPECT_THAT(failure([&] { emu::load(arm64e, arm64eImports, imageOf(arm64eDylib(0)), "/tiny.dylib", kBase); }),
              HasSubstr("tiny.dylib is an arm64 image and the process is arm64e"));
}

// A constant string's isa is authenticated where the code first uses the string, as objc_msgSend
// does on arm64e (key DA, the string's address, discriminator 0x6AE1): signed so, the string is used;
// unsigned or signed otherwise, the run stops.
TEST(EmulatedPointerAuthentication, AConstantStringIsUsedOnlyWithItsIsaSignedAsObjcMsgSendChecksIt) {
  host::AutoreleasePool pool;
  emu::Process process({"Test", {}, emu::Architecture::Arm64e});
  process.setStopHandler([](const std::string& message) { throw emu::Error(message); });
  process.imports.data(kLibrary, "___CFConstantStringClassReference",
                       process.imports.find(emu::kCoreFoundation, "___CFConstantStringClassReference"));
  const uint64_t base = process
                            .map(imageOf(constantStringsDylib({authBind(0, kDA, true, 0x6ae1, 2), plainBind(0, 2),
                                                               authBind(0, kDA, true, 0x1234, 2),
                                                               authBind(0, kIA, true, 0x6ae1, 2)})),
                                 "/tiny.dylib")
                            .base;
  emu::Machine& m = process.machine;
  auto string = [&](int i) { return base + kDataAddress + 32 * i; };
  auto typeOf = [&](int i) { return m.call(process.imports.find(emu::kCoreFoundation, "_CFGetTypeID"), {string(i)}).x0; };
  auto utf8 = [&](int i) {
    uint64_t msgSend = process.imports.find(emu::kLibObjc, "_objc_msgSend");
    return m.cString(m.call(msgSend, {string(i), process.objects.sel("UTF8String")}).x0);
  };

  EXPECT_EQ(utf8(0), "text");
  EXPECT_EQ(typeOf(0), CFStringGetTypeID());
  EXPECT_THAT(failure([&] { typeOf(1); }),
              HasSubstr("pointer authentication failed at tiny.dylib+0x4020 (__cfstring+0x20): the isa of the "
                        "constant string there is unsigned"));
  EXPECT_THAT(failure([&] { utf8(1); }), HasSubstr("the isa of the constant string there is unsigned"));
  for (int i : {2, 3}) {
    EXPECT_THAT(failure([&] { typeOf(i); }),
                HasSubstr("+0x" + std::to_string(2 * i) + "0): the isa of the constant string there is not signed "
                          "with key DA, its address and discriminator 0x6ae1"));
    EXPECT_THAT(failure([&] { utf8(i); }), HasSubstr("pointer authentication failed at tiny.dylib+0x40"));
  }
}

}  // namespace
