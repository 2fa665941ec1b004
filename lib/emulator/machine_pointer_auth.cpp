#include "machine.h"

#include <unicorn/unicorn.h>

#include "machine_internal.h"

namespace emu {

using namespace internal;

namespace {

constexpr uint64_t kBootCode = 0x6ff000000;  // mapped only while the CPU is being configured
constexpr uint32_t kMsrSctlrEl1X0 = 0xd5181000;
constexpr uint32_t kIsb = 0xd5033fdf;

// System registers: (op0, op1, CRn, CRm, op2).
struct SystemRegister {
  uint32_t op0, op1, crn, crm, op2;
};
constexpr SystemRegister kSctlrEl1{3, 0, 1, 0, 0};
constexpr SystemRegister kTcrEl1{3, 0, 2, 0, 2};
constexpr SystemRegister kHcrEl2{3, 4, 1, 1, 0};
constexpr SystemRegister kScrEl3{3, 6, 1, 1, 0};
// APIAKeyLo_EL1 ... APGAKeyHi_EL1: CRm 1 (IA, IB), 2 (DA, DB), 3 (GA); op2 0/1 low/high of A, 2/3 of B.
constexpr SystemRegister keyRegister(int key, bool high) {
  return {3, 0, 2, static_cast<uint32_t>(1 + key / 2), static_cast<uint32_t>((key % 2) * 2 + (high ? 1 : 0))};
}

void writeSystemRegister(uc_struct* uc, SystemRegister r, uint64_t value) {
  uc_arm64_cp_reg reg{r.crn, r.crm, r.op0, r.op1, r.op2, value};
  check(uc_reg_write(uc, UC_ARM64_REG_CP_REG, &reg), "writing a system register");
}

uint64_t readSystemRegister(uc_struct* uc, SystemRegister r) {
  uc_arm64_cp_reg reg{r.crn, r.crm, r.op0, r.op1, r.op2, 0};
  check(uc_reg_read(uc, UC_ARM64_REG_CP_REG, &reg), "reading a system register");
  return reg.val;
}

}  // namespace

void Machine::enablePointerAuthentication() {
  // Pointer authentication is trapped to EL2 and EL3 unless both let EL1 use it (API, APK), and
  // Unicorn's CPU starts in secure EL1, where EL2's controls read as zero: run non-secure (NS), with
  // AArch64 below (RW).
  writeSystemRegister(uc_, kScrEl3, (1u << 0) | (1u << 10) | (1u << 16) | (1u << 17));
  writeSystemRegister(uc_, kHcrEl2, (1ull << 31) | (1ull << 40) | (1ull << 41));
  // A 39-bit address space in both halves, no top-byte tagging, as iOS gives a process.
  const uint64_t sizeField = 64 - PointerAuth::kAddressBits;
  writeSystemRegister(uc_, kTcrEl1, sizeField | (sizeField << 16));
  for (int key = 0; key < 4; ++key) {
    writeSystemRegister(uc_, keyRegister(key, false), pointerAuth_.key(static_cast<PacKey>(key)).low);
    writeSystemRegister(uc_, keyRegister(key, true), pointerAuth_.key(static_cast<PacKey>(key)).high);
  }
  writeSystemRegister(uc_, keyRegister(4, false), pointerAuth_.genericKey().low);
  writeSystemRegister(uc_, keyRegister(4, true), pointerAuth_.genericKey().high);
  // SCTLR_EL1's EnIA, EnIB, EnDA and EnDB take effect only when written by the emulated CPU itself
  // (Unicorn rebuilds its cached translation flags on an MSR, not on uc_reg_write).
  const uint64_t enable = (1ull << 31) | (1ull << 30) | (1ull << 27) | (1ull << 13);
  const uint32_t boot[] = {kMsrSctlrEl1X0, kIsb};
  map(kBootCode, 0x1000, kRead | kExecute);
  write(kBootCode, boot, sizeof boot);
  uint64_t sctlr = readSystemRegister(uc_, kSctlrEl1) | enable;
  uc_reg_write(uc_, UC_ARM64_REG_X0, &sctlr);
  check(uc_emu_start(uc_, kBootCode, kBootCode + sizeof boot, 0, 0), "enabling pointer authentication");
  check(uc_mem_unmap(uc_, kBootCode, 0x1000), "unmapping the boot code");
  if ((readSystemRegister(uc_, kSctlrEl1) & enable) != enable) throw Error("the CPU did not enable pointer authentication");
  uc_hook hook;
  check(uc_hook_add(uc_, &hook, UC_HOOK_BLOCK, reinterpret_cast<void*>(&Machine::onBlock), this, 1, 0),
        "adding the block hook");
  pointerAuthentication_ = true;
}

void Machine::onBlock(uc_struct*, uint64_t address, uint32_t size, void* self) {
  auto* machine = static_cast<Machine*>(self);
  machine->lastBlock_ = address;
  machine->lastBlockSize_ = size;
}

std::string Machine::authenticationFailure(uint64_t site, uint64_t pointer, const char* use) const {
  PacKey key = PacKey::IA;
  pointerAuth_.poisoned(pointer, &key);
  std::string family = key == PacKey::IA ? "IA or DA" : "IB or DB";
  return "pointer authentication failed at " + describe(site) + ": " + use + " " +
         describe(pointerAuth_.strip(pointer)) + " through a pointer that did not authenticate (key " + family + ")";
}

uint64_t Machine::sign(uint64_t pointer, PacKey key, uint64_t modifier) const {
  return pointerAuthentication_ ? pointerAuth_.sign(pointer, key, modifier) : pointer;
}

std::optional<uint64_t> Machine::authenticate(uint64_t pointer, PacKey key, uint64_t modifier) const {
  if (!pointerAuthentication_) return pointer;
  return pointerAuth_.authenticate(pointer, key, modifier);
}

uint64_t Machine::strip(uint64_t pointer) const {
  return pointerAuthentication_ ? pointerAuth_.strip(pointer) : pointer;
}

uint64_t Machine::authenticateFunction(uint64_t pointer, const std::string& what) {
  std::optional<uint64_t> plain = authenticate(pointer, PacKey::IA, 0);
  if (plain) return *plain;
  uint64_t address = strip(pointer);
  fail("pointer authentication failed at " + describe(address) + ": " + what +
       (address == pointer ? " is unsigned" : " is not signed with key IA and discriminator 0") + " (" + hex(pointer) +
       ")");
}

uint64_t Machine::authenticateIsa(uint64_t object, const std::string& what) {
  constexpr uint16_t kIsaDiscriminator = 0x6ae1;  // ptrauth_string_discriminator("isa")
  uint64_t isa = load<uint64_t>(object);
  std::optional<uint64_t> plain = authenticate(isa, PacKey::DA, blendDiscriminator(object, kIsaDiscriminator));
  if (plain) return *plain;
  fail("pointer authentication failed at " + describe(object) + ": " + what +
       (strip(isa) == isa ? " is unsigned" : " is not signed with key DA, its address and discriminator 0x6ae1") +
       " (" + hex(isa) + "), and objc_msgSend authenticates it");
}

}  // namespace emu
