#include "machine.h"

#include <unicorn/unicorn.h>

#include <algorithm>
#include <cstring>

#include "machine_internal.h"
#include "watchdog.h"

namespace emu {

using namespace internal;

namespace {

constexpr uint32_t kSvc0 = 0xd4000001;
constexpr uint32_t kRet = 0xd65f03c0;

int ucProtection(int protection) {
  return ((protection & kRead) ? UC_PROT_READ : 0) | ((protection & kWrite) ? UC_PROT_WRITE : 0) |
         ((protection & kExecute) ? UC_PROT_EXEC : 0);
}

int xRegister(int n) { return n == 29 ? UC_ARM64_REG_X29 : n == 30 ? UC_ARM64_REG_X30 : UC_ARM64_REG_X0 + n; }

}  // namespace

uint64_t Cpu::x(int n) const {
  uint64_t value = 0;
  uc_reg_read(machine_.uc_, xRegister(n), &value);
  return value;
}
void Cpu::setX(int n, uint64_t value) { uc_reg_write(machine_.uc_, xRegister(n), &value); }
double Cpu::d(int n) const {
  double value = 0;
  uc_reg_read(machine_.uc_, UC_ARM64_REG_D0 + n, &value);
  return value;
}
uint64_t Cpu::v(int n) const {
  uint64_t lanes[2] = {0, 0};
  uc_reg_read(machine_.uc_, UC_ARM64_REG_Q0 + n, lanes);
  return lanes[0];
}
void Cpu::setV(int n, uint64_t low, uint64_t high) {
  uint64_t lanes[2] = {low, high};
  uc_reg_write(machine_.uc_, UC_ARM64_REG_Q0 + n, lanes);
}
uint64_t Cpu::sp() const {
  uint64_t value = 0;
  uc_reg_read(machine_.uc_, UC_ARM64_REG_SP, &value);
  return value;
}
uint64_t Cpu::lr() const { return x(30); }
void Cpu::jump(uint64_t address) { uc_reg_write(machine_.uc_, UC_ARM64_REG_PC, &address); }

Machine::Machine(Architecture architecture) : heapNext_(kHeapBase) {
  check(uc_open(UC_ARCH_ARM64, UC_MODE_ARM, &uc_), "opening the arm64 emulator");
  // The one CPU model that decodes the ARMv8.3 pointer-authentication instructions.
  check(uc_ctl_set_cpu_model(uc_, UC_CPU_ARM64_MAX), "choosing the CPU model");
  map(kTrapBase, kTrapSize, kRead | kExecute);
  std::vector<uint32_t> slots(kTrapSize / 4);
  for (size_t i = 0; i < slots.size(); i += 2) {
    slots[i] = kSvc0;
    slots[i + 1] = kRet;
  }
  write(kTrapBase, slots.data(), kTrapSize);
  map(kHeapBase, kHeapSize, kRead | kWrite);
  map(kStackBase, kStackSize, kRead | kWrite);
  uc_hook hook;
  check(uc_hook_add(uc_, &hook, UC_HOOK_INTR, reinterpret_cast<void*>(&Machine::onInterrupt), this, 1, 0),
        "adding the trap hook");
  check(uc_hook_add(uc_, &hook, UC_HOOK_MEM_INVALID, reinterpret_cast<void*>(&Machine::onBadAccess), this, 1, 0),
        "adding the fault hook");
  // Floating-point and SIMD instructions are enabled (CPACR_EL1.FPEN), as for any user process.
  uc_arm64_cp_reg cpacr{};
  cpacr.crn = 1;
  cpacr.op0 = 3;
  cpacr.op2 = 2;
  cpacr.val = 3ull << 20;
  uc_reg_write(uc_, UC_ARM64_REG_CP_REG, &cpacr);
  // Return address of top-level calls: stops the run.
  trap("(return to the caller)", [](Cpu&) {});
  if (architecture == Architecture::Arm64e) enablePointerAuthentication();
}

Machine::~Machine() {
  watchdog_.reset();
  uc_close(uc_);
}

void Machine::map(uint64_t address, uint64_t size, int protection) {
  check(uc_mem_map(uc_, address, size, ucProtection(protection)), "mapping " + hex(address));
}

void Machine::unmap(uint64_t address, uint64_t size) {
  check(uc_mem_unmap(uc_, address, size), "unmapping " + hex(address));
}

void Machine::protect(uint64_t address, uint64_t size, int protection) {
  check(uc_mem_protect(uc_, address, size, ucProtection(protection)), "protecting " + hex(address));
}

void Machine::write(uint64_t address, const void* data, size_t size) {
  if (uc_mem_write(uc_, address, data, size) != UC_ERR_OK) fail("write to unmapped memory at " + hex(address));
}

void Machine::read(uint64_t address, void* data, size_t size) {
  if (uc_mem_read(uc_, address, data, size) != UC_ERR_OK) fail("read of unmapped memory at " + hex(address));
}

std::string Machine::cString(uint64_t address, size_t limit) {
  std::string text;
  for (size_t i = 0; i < limit; ++i) {
    char c = load<char>(address + i);
    if (c == '\0') return text;
    text += c;
  }
  fail("unterminated string at " + hex(address));
}

uint64_t Machine::tryAllocate(uint64_t size, uint64_t alignment) {
  if (alignment == 0 || (alignment & (alignment - 1)) != 0) fail("allocation alignment " + hex(alignment));
  const uint64_t end = kHeapBase + kHeapSize;
  if (alignment > kHeapSize) return 0;
  const uint64_t start = (heapNext_ + alignment - 1) & ~(alignment - 1);  // heapNext_ <= end: no wrap
  if (start > end || std::max<uint64_t>(size, 1) > end - start) return 0;
  heapNext_ = start + std::max<uint64_t>(size, 1);
  return start;
}

uint64_t Machine::allocate(uint64_t size, uint64_t alignment) {
  uint64_t address = tryAllocate(size, alignment);
  if (address == 0) fail("the emulated heap is full: no room for " + std::to_string(size) + " bytes");
  return address;
}

void Machine::fail(const std::string& why) { throw Error(why); }

uint64_t Machine::allocateString(const std::string& text) {
  uint64_t address = allocate(text.size() + 1, 1);
  write(address, text.c_str(), text.size() + 1);
  return address;
}

}  // namespace emu
