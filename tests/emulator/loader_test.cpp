// The emulator's loader on a hand-made tiny Mach-O: one rebase, one bind and one initialiser, which
// passes the rebased pointer to the bound import. An import nobody exports, named in the failure,
// and a failed load that leaves the process able to load again. The heap's refusals.
#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "loader.h"
#include "support/tiny_dylib.h"

namespace {

using namespace tiny;

constexpr uint64_t kMessage = 0x1100;
const char kMessageText[] = "hello from a rebased pointer";

// A dylib: __TEXT (header, code, the message), __DATA (the pointer to the message, the import's slot,
// the initialiser pointer), classic rebase and bind opcodes, linking one library for `import`.
std::vector<uint8_t> tinyDylib(const std::string& import) {
  const std::vector<uint8_t> rebases{0x11, 0x21, 0x00, 0x51, 0x41, 0x51, 0x00};  // 0x4000, 0x4010
  std::vector<uint8_t> binds{0x11, 0x40};  // ordinal 1, symbol:
  binds.insert(binds.end(), import.begin(), import.end());
  binds.insert(binds.end(), {0x00, 0x51, 0x71, 0x08, 0x90, 0x00});  // pointer at 0x4008, bind, done

  Writer w;
  std::vector<uint32_t> dyldInfo{0x80000022, 48, kTables, static_cast<uint32_t>(rebases.size()), kTables + 64,
                                 static_cast<uint32_t>(binds.size()), 0, 0, 0, 0, 0, 0};  // LC_DYLD_INFO_ONLY
  writeHeader(w, 0, 16, {{"__data", kDataAddress, 16, 0}, {"__mod_init_func", kDataAddress + 16, 8, 0x9}}, dyldInfo);
  // The initialiser: x0 = the rebased pointer, then a tail call through the bound slot.
  w.at(kCode);
  w.code({0xf0000008,    // adrp x8, __DATA (3 pages on)
          0xf9400100,    // ldr  x0, [x8]
          0xf9400510,    // ldr  x16, [x8, #8]
          0xd61f0200});  // br   x16
  w.at(kMessage);
  w.name(kMessageText, sizeof kMessageText);
  w.at(kDataAddress);
  w.put<uint64_t>(kMessage);  // rebased
  w.put<uint64_t>(0);         // bound
  w.put<uint64_t>(kCode);     // rebased: the initialiser
  w.at(kTables);
  w.raw(rebases);
  w.at(kTables + 64);
  w.raw(binds);
  return w.bytes;
}

TEST(EmulatorLoader, AppliesTheRebaseAndTheBindThenRunsTheInitialiser) {
  emu::Machine machine;
  emu::Imports imports(machine);
  std::vector<std::string> received;
  imports.function(kLibrary, "_record", [&](emu::Cpu& cpu) { received.push_back(machine.cString(cpu.x(0))); });
  const uint64_t base = 0x120000000;
  emu::LoadedImage image = emu::load(machine, imports, imageOf(tinyDylib("_record")), "/tiny.dylib", base);
  EXPECT_EQ(machine.load<uint64_t>(base + kDataAddress), base + kMessage);
  EXPECT_EQ(machine.load<uint64_t>(base + kDataAddress + 8), imports.find(kLibrary, "_record"));
  ASSERT_EQ(image.initialisers, (std::vector<uint64_t>{base + kCode}));
  emu::runInitialisers(machine, image, "tiny");
  EXPECT_EQ(received, (std::vector<std::string>{kMessageText}));
}

TEST(EmulatorLoader, AnImportNobodyExportsFailsTheLoadNamingIt) {
  emu::Machine machine;
  emu::Imports imports(machine);
  try {
    emu::load(machine, imports, imageOf(tinyDylib("_notProvided")), "/tiny.dylib", 0x120000000);
    FAIL() << "the load succeeded";
  } catch (const emu::Error& e) {
    EXPECT_NE(std::string(e.what()).find("_notProvided"), std::string::npos) << e.what();
    EXPECT_NE(std::string(e.what()).find(kLibrary), std::string::npos) << e.what();
  }
}

TEST(EmulatorLoader, AFailedLoadLeavesNothingMappedAndTheNextLoadTakesItsPlace) {
  emu::Machine machine;
  emu::Imports imports(machine);
  std::vector<std::string> received;
  imports.function(kLibrary, "_record", [&](emu::Cpu& cpu) { received.push_back(machine.cString(cpu.x(0))); });
  const uint64_t base = 0x120000000;
  EXPECT_THROW(emu::load(machine, imports, imageOf(tinyDylib("_notProvided")), "/tiny.dylib", base), emu::Error);
  emu::LoadedImage image = emu::load(machine, imports, imageOf(tinyDylib("_record")), "/tiny.dylib", base);
  emu::runInitialisers(machine, image, "tiny");
  EXPECT_EQ(received, (std::vector<std::string>{kMessageText}));
}

TEST(EmulatorHeap, RefusesWhatItCannotHoldAndStaysUsable) {
  emu::Machine machine;
  const uint64_t first = machine.allocate(16);
  EXPECT_THROW(machine.allocate(SIZE_MAX - 15), emu::Error);
  EXPECT_EQ(machine.tryAllocate(uint64_t{1} << 40), 0u);  // malloc's NULL
  const uint64_t next = machine.allocate(16);
  EXPECT_EQ(next, first + 16);
  machine.store<uint64_t>(next + 8, 42);
  EXPECT_EQ(machine.load<uint64_t>(next + 8), 42u);
}

}  // namespace
