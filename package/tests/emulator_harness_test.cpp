// The emulator's loader on a hand-made tiny Mach-O: one rebase, one bind and one initialiser, which
// passes the rebased pointer to the bound import. And an import nobody exports, named in the failure.
#include <gtest/gtest.h>

#include <unicorn/unicorn.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "emulated_device.h"
#include "loader.h"

namespace {

constexpr uint64_t kTextSize = 0x4000, kDataAddress = 0x4000, kDataSize = 0x4000;
constexpr uint64_t kCode = 0x1000, kMessage = 0x1100;
const char kMessageText[] = "hello from a rebased pointer";
const char kLibrary[] = "/usr/lib/libtiny.dylib";

class Writer {
 public:
  std::vector<uint8_t> bytes;
  void at(size_t offset) { cursor_ = offset; }
  template <typename T>
  void put(T value) {
    if (bytes.size() < cursor_ + sizeof value) bytes.resize(cursor_ + sizeof value);
    std::memcpy(bytes.data() + cursor_, &value, sizeof value);
    cursor_ += sizeof value;
  }
  void name(const std::string& text, size_t width) {
    for (size_t i = 0; i < width; ++i) put<char>(i < text.size() ? text[i] : '\0');
  }
  void raw(const std::vector<uint8_t>& data) {
    for (uint8_t b : data) put(b);
  }

 private:
  size_t cursor_ = 0;
};

// A dylib: __TEXT (header, code, the message), __DATA (the pointer to the message, the import's slot,
// the initialiser pointer), classic rebase and bind opcodes, linking one library for `import`.
std::vector<uint8_t> tinyDylib(const std::string& import) {
  const std::vector<uint8_t> rebases{0x11, 0x21, 0x00, 0x51, 0x41, 0x51, 0x00};  // 0x4000, 0x4010
  std::vector<uint8_t> binds{0x11, 0x40};  // ordinal 1, symbol:
  binds.insert(binds.end(), import.begin(), import.end());
  binds.insert(binds.end(), {0x00, 0x51, 0x71, 0x08, 0x90, 0x00});  // pointer at 0x4008, bind, done
  const uint32_t opcodes = kDataAddress + kDataSize;

  Writer w;
  const uint32_t dylibCommandSize = 24 + 24;  // dylib_command + the padded name
  const uint32_t commandsSize = (72 + 80) + (72 + 2 * 80) + 48 + 24 + dylibCommandSize;
  w.put<uint32_t>(0xfeedfacf);
  w.put<uint32_t>(0x0100000c);  // arm64
  w.put<uint32_t>(0);
  w.put<uint32_t>(6);  // MH_DYLIB
  w.put<uint32_t>(5);
  w.put<uint32_t>(commandsSize);
  w.put<uint32_t>(0x80);  // two-level namespace
  w.put<uint32_t>(0);
  auto segment = [&](const char* name, uint64_t address, uint64_t size, uint32_t protection, uint32_t sections) {
    w.put<uint32_t>(0x19);
    w.put<uint32_t>(72 + 80 * sections);
    w.name(name, 16);
    w.put<uint64_t>(address), w.put<uint64_t>(size), w.put<uint64_t>(address), w.put<uint64_t>(size);
    w.put<uint32_t>(protection), w.put<uint32_t>(protection), w.put<uint32_t>(sections), w.put<uint32_t>(0);
  };
  auto section = [&](const char* name, const char* segmentName, uint64_t address, uint64_t size, uint32_t flags) {
    w.name(name, 16);
    w.name(segmentName, 16);
    w.put<uint64_t>(address), w.put<uint64_t>(size);
    w.put<uint32_t>(static_cast<uint32_t>(address)), w.put<uint32_t>(3), w.put<uint32_t>(0), w.put<uint32_t>(0);
    w.put<uint32_t>(flags), w.put<uint32_t>(0), w.put<uint32_t>(0), w.put<uint32_t>(0);
  };
  segment("__TEXT", 0, kTextSize, 5, 1);
  section("__text", "__TEXT", kCode, 16, 0x80000400);
  segment("__DATA", kDataAddress, kDataSize, 3, 2);
  section("__data", "__DATA", kDataAddress, 16, 0);
  section("__mod_init_func", "__DATA", kDataAddress + 16, 8, 0x9);
  w.put<uint32_t>(0x80000022), w.put<uint32_t>(48);  // LC_DYLD_INFO_ONLY
  w.put<uint32_t>(opcodes), w.put<uint32_t>(static_cast<uint32_t>(rebases.size()));
  w.put<uint32_t>(opcodes + 64), w.put<uint32_t>(static_cast<uint32_t>(binds.size()));
  for (int i = 0; i < 6; ++i) w.put<uint32_t>(0);
  w.put<uint32_t>(0x2), w.put<uint32_t>(24);  // LC_SYMTAB, empty
  for (int i = 0; i < 4; ++i) w.put<uint32_t>(0);
  w.put<uint32_t>(0xc), w.put<uint32_t>(dylibCommandSize);  // LC_LOAD_DYLIB
  w.put<uint32_t>(24), w.put<uint32_t>(0), w.put<uint32_t>(0x10000), w.put<uint32_t>(0x10000);
  w.name(kLibrary, 24);

  // The initialiser: x0 = the rebased pointer, then a tail call through the bound slot.
  w.at(kCode);
  w.put<uint32_t>(0xf0000008);  // adrp x8, __DATA (3 pages on)
  w.put<uint32_t>(0xf9400100);  // ldr  x0, [x8]
  w.put<uint32_t>(0xf9400510);  // ldr  x16, [x8, #8]
  w.put<uint32_t>(0xd61f0200);  // br   x16
  w.at(kMessage);
  w.name(kMessageText, sizeof kMessageText);
  w.at(kDataAddress);
  w.put<uint64_t>(kMessage);  // rebased
  w.put<uint64_t>(0);         // bound
  w.put<uint64_t>(kCode);     // rebased: the initialiser
  w.at(kDataAddress + kDataSize - 8);
  w.put<uint64_t>(0);
  w.at(opcodes);
  w.raw(rebases);
  w.at(opcodes + 64);
  w.raw(binds);
  return w.bytes;
}

macho::Image imageOf(const std::vector<uint8_t>& bytes) {
  // One file per process: CTest runs the cases of this suite in parallel.
  std::string path = testing::TempDir() + "tiny-" + std::to_string(getpid()) + ".dylib";
  FILE* file = fopen(path.c_str(), "wb");
  fwrite(bytes.data(), 1, bytes.size(), file);
  fclose(file);
  macho::Image image = macho::readFile(path).at(0);
  std::remove(path.c_str());
  return image;
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

}  // namespace

namespace {

// An arm64e slice (made only with Apple's toolchain) needs a CPU that authenticates pointers.
TEST(EmulatedArm64e, SlicesLoadAndRunTheirInitialisersWhenTheCpuAuthenticatesPointers) {
  SKIP_WITHOUT_DEVICE_BUILD();
  int found = 0;
  for (const device::Deliverable& d : {device::kTweak, device::kPane}) {
    for (const macho::Image& image : device::slicesOf(d)) {
      if (image.cpuSubtype != macho::kCpuSubtypeArm64e) continue;
      ++found;
      emu::Machine probe;
      if (!emu::supportsPointerAuthentication(probe)) {
        unsigned major = 0, minor = 0;
        uc_version(&major, &minor);
        GTEST_SKIP() << "the emulator (Unicorn " << major << "." << minor
                     << ") does not implement pointer authentication, so the arm64e slice cannot run";
      }
      emu::Process process({d.file == device::kTweak.file ? "SpringBoard" : "Preferences", true});
      process.load(image, d.file == device::kTweak.file ? emulated::kTweakPath : emulated::kPanePath);
    }
  }
  if (found == 0) GTEST_SKIP() << "no arm64e slice was built (it needs Apple's toolchain: package/README.md)";
}

}  // namespace
