#include "machine.h"

#include <unicorn/unicorn.h>

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstring>
#include <mutex>
#include <thread>

namespace emu {
namespace {

// The address space of one emulated process.
constexpr uint64_t kTrapBase = 0x700000000;
constexpr uint64_t kTrapSize = 0x20000;  // 16384 traps of 8 bytes
constexpr uint64_t kHeapBase = 0x800000000;
constexpr uint64_t kHeapSize = 16 << 20;
constexpr uint64_t kStackBase = 0x900000000;
constexpr uint64_t kStackSize = 1 << 20;
constexpr auto kRunTimeLimit = std::chrono::seconds(20);
constexpr int kDeepestNesting = 64;
constexpr uint64_t kRedZone = 128;  // below a leaf function's stack pointer, which it may use

constexpr uint64_t kBootCode = 0x6ff000000;  // mapped only while the CPU is being configured

constexpr uint32_t kSvc0 = 0xd4000001;
constexpr uint32_t kRet = 0xd65f03c0;
constexpr uint32_t kMsrSctlrEl1X0 = 0xd5181000;
constexpr uint32_t kIsb = 0xd5033fdf;

// The exceptions Unicorn reports through its interrupt hook (QEMU's numbering).
constexpr uint32_t kUndefinedInstruction = 1;
constexpr uint32_t kSupervisorCall = 2;
constexpr uint32_t kPrefetchAbort = 3;
constexpr uint32_t kBreakpoint = 7;
// clang's check after an AUT* whose result is not used by a branch: BRK #0xc470 + key.
constexpr uint32_t kBrkMask = 0xffe0001f, kBrk = 0xd4200000;
constexpr uint32_t kAuthCheckBrk = 0xc470;

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

void check(uc_err status, const std::string& what) {
  if (status != UC_ERR_OK) throw Error(what + ": " + uc_strerror(status));
}

int ucProtection(int protection) {
  return ((protection & kRead) ? UC_PROT_READ : 0) | ((protection & kWrite) ? UC_PROT_WRITE : 0) |
         ((protection & kExecute) ? UC_PROT_EXEC : 0);
}

int xRegister(int n) { return n == 29 ? UC_ARM64_REG_X29 : n == 30 ? UC_ARM64_REG_X30 : UC_ARM64_REG_X0 + n; }

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

std::string hex(uint64_t value) {
  char text[24];
  std::snprintf(text, sizeof text, "0x%llx", static_cast<unsigned long long>(value));
  return text;
}

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
void Cpu::setD(int n, double value) {
  // Writing the whole vector register clears the upper lanes, as a scalar FP result does.
  uint64_t lanes[2] = {0, 0};
  std::memcpy(&lanes[0], &value, sizeof value);
  uc_reg_write(machine_.uc_, UC_ARM64_REG_Q0 + n, lanes);
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

// Stops a call into emulated code that has not returned within kRunTimeLimit. One thread per machine,
// asleep until a deadline passes; it then asks Unicorn to stop until the call is over (a stop that
// lands while a trap runs host code is asked for again).
struct Machine::Watchdog {
  explicit Watchdog(uc_struct* uc) : uc(uc), thread([this] { watch(); }) {}
  ~Watchdog() {
    {
      std::lock_guard lock(mutex);
      quit = true;
    }
    wake.notify_all();
    thread.join();
  }
  void arm() {
    std::lock_guard lock(mutex);
    deadline = std::chrono::steady_clock::now() + kRunTimeLimit;
    armed = true;
    expired = false;
    wake.notify_all();
  }
  void disarm() {
    std::lock_guard lock(mutex);
    armed = false;
  }
  bool hasExpired() {
    std::lock_guard lock(mutex);
    return expired;
  }
  void watch() {
    std::unique_lock lock(mutex);
    while (!quit) {
      if (!armed) {
        wake.wait(lock);
      } else if (std::chrono::steady_clock::now() < deadline) {
        wake.wait_until(lock, deadline);
      } else {
        expired = true;
        uc_emu_stop(uc);
        wake.wait_for(lock, std::chrono::milliseconds(10));
      }
    }
  }

  uc_struct* uc;
  std::mutex mutex;
  std::condition_variable wake;
  std::chrono::steady_clock::time_point deadline;
  bool armed = false, expired = false, quit = false;
  std::thread thread;
};

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
  trap("(return to the harness)", [](Cpu&) {});
  if (architecture == Architecture::Arm64e) enablePointerAuthentication();
}

Machine::~Machine() {
  watchdog_.reset();
  uc_close(uc_);
}

void Machine::setCrossingHooks(std::function<void()> entering, std::function<void()> leaving) {
  entering_ = std::move(entering);
  leaving_ = std::move(leaving);
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

uint64_t Machine::allocateString(const std::string& text) {
  uint64_t address = allocate(text.size() + 1, 1);
  write(address, text.c_str(), text.size() + 1);
  return address;
}

uint64_t Machine::trap(const std::string& name, Handler handler) {
  if ((handlers_.size() + 1) * 8 > kTrapSize) throw Error("out of trap slots");
  handlers_.push_back(std::move(handler));
  trapNames_.push_back(name);
  return kTrapBase + 8 * (handlers_.size() - 1);
}

std::string Machine::trapName(uint64_t address) const {
  if (address < kTrapBase || address >= kTrapBase + 8 * trapNames_.size() || address % 8 != 0) return "";
  return trapNames_[(address - kTrapBase) / 8];
}

void Machine::nameRegion(uint64_t start, uint64_t size, const std::string& name,
                         std::vector<std::pair<uint64_t, std::string>> symbols) {
  std::sort(symbols.begin(), symbols.end());
  regions_.push_back({start, size, name, std::move(symbols)});
}

std::string Machine::describe(uint64_t address) const {
  for (const Region& r : regions_) {
    if (address < r.start || address - r.start >= r.size) continue;
    std::string text = r.name + "+" + hex(address - r.start);
    auto after = std::upper_bound(r.symbols.begin(), r.symbols.end(), address,
                                  [](uint64_t a, const std::pair<uint64_t, std::string>& label) { return a < label.first; });
    if (after != r.symbols.begin()) {
      const auto& [symbolAddress, symbol] = *(after - 1);
      text += " (" + symbol + "+" + hex(address - symbolAddress) + ")";
    }
    return text;
  }
  std::string trapped = trapName(address & ~uint64_t{7});
  return trapped.empty() ? hex(address) : trapped;
}

void Machine::fail(const std::string& why) { throw Error(why); }

// For a trap the hook only notes which one was reached and stops the CPU: the trap's C++ runs outside
// Unicorn, in runUntilReturn, so that it may call back into emulated code. Any other exception stops
// the run with what it was.
void Machine::onInterrupt(uc_struct* uc, uint32_t number, void* self) {
  auto* machine = static_cast<Machine*>(self);
  uint64_t pc = 0;
  uc_reg_read(uc, UC_ARM64_REG_PC, &pc);
  std::string& error = machine->pendingError_;
  if (number == kSupervisorCall) {
    uint64_t slot = pc - 4;  // the svc has been executed
    if (slot < kTrapBase || slot >= kTrapBase + 8 * machine->handlers_.size()) {
      error = "supervisor call outside the traps at " + machine->describe(slot);
    } else {
      machine->pendingTrap_ = static_cast<long>((slot - kTrapBase) / 8);
    }
  } else if (number == kPrefetchAbort) {
    // A branch or return to an address nothing can execute; with a failed authentication's error code
    // in it, the branch that authenticated it ends the block that ran last.
    uint64_t site = machine->lastBlock_ + machine->lastBlockSize_ - 4;
    if (machine->pointerAuthentication_ && machine->pointerAuth_.poisoned(pc)) {
      error = machine->authenticationFailure(site, pc, "a branch to");
    } else {
      error = "a branch to " + hex(pc) + ", which cannot be executed" +
              (machine->lastBlockSize_ != 0 ? ", from " + machine->describe(site) : "");
    }
  } else if (number == kBreakpoint) {
    uint32_t instruction = 0;
    uc_mem_read(uc, pc, &instruction, sizeof instruction);
    uint32_t immediate = (instruction >> 5) & 0xffff;
    if ((instruction & kBrkMask) == kBrk && immediate >= kAuthCheckBrk && immediate < kAuthCheckBrk + 4) {
      error = "pointer authentication failed at " + machine->describe(pc) + ": the check after authenticating with key " +
              keyName(static_cast<PacKey>(immediate - kAuthCheckBrk));
    } else {
      error = "breakpoint (brk #" + hex(immediate) + ") at " + machine->describe(pc);
    }
  } else if (number == kUndefinedInstruction) {
    error = "undefined instruction at " + machine->describe(pc);
  } else {
    error = "exception " + std::to_string(number) + " at " + machine->describe(pc);
  }
  uc_emu_stop(uc);
}

bool Machine::onBadAccess(uc_struct* uc, int, uint64_t address, int, int64_t, void* self) {
  auto* machine = static_cast<Machine*>(self);
  machine->faulted_ = true;
  machine->faultAddress_ = address;
  if (machine->pointerAuthentication_ && machine->pointerAuth_.poisoned(address) && machine->pendingError_.empty()) {
    uint64_t pc = 0;
    uc_reg_read(uc, UC_ARM64_REG_PC, &pc);
    machine->pendingError_ = machine->authenticationFailure(pc, address, "an access to");
  }
  return false;
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

void Machine::runTrap(size_t index) {
  Cpu cpu(*this);
  uint64_t caller = cpu.lr();
  try {
    handlers_[index](cpu);
  } catch (const std::exception& e) {
    std::string message = e.what();
    // An error from a nested call already says where it happened.
    if (message.find(" [in ") == std::string::npos)
      message += " [in " + trapNames_[index] + ", called from " + describe(caller - 4) + "]";
    throw Error(message);
  }
}

void Machine::runUntilReturn(uint64_t address) {
  uint64_t pc = address;
  for (;;) {
    if (entering_) entering_();
    pendingError_.clear();
    pendingTrap_ = -1;
    faulted_ = false;
    lastBlock_ = lastBlockSize_ = 0;
    uc_err status = uc_emu_start(uc_, pc, 0, 0, 0);
    if (leaving_) leaving_();
    uc_reg_read(uc_, UC_ARM64_REG_PC, &pc);
    if (watchdog_ && watchdog_->hasExpired())
      throw Error("emulated code did not return within the time limit (at " + describe(pc) + ")");
    if (!pendingError_.empty()) throw Error(pendingError_);
    if (status != UC_ERR_OK) {
      std::string where = " at " + describe(pc);
      if (faulted_) where += ", address " + hex(faultAddress_);
      throw Error(std::string("emulated code stopped: ") + uc_strerror(status) + where);
    }
    if (pendingTrap_ == 0) return;  // "(return to the harness)": this call is over
    if (pendingTrap_ < 0) throw Error("emulated code stopped without reaching a trap (at " + describe(pc) + ")");
    runTrap(static_cast<size_t>(pendingTrap_));
    uc_reg_read(uc_, UC_ARM64_REG_PC, &pc);  // after the svc, at the trap's ret, unless it jumped
  }
}

Result Machine::call(uint64_t address, std::initializer_list<uint64_t> x, std::initializer_list<double> d) {
  return call(address, std::vector<uint64_t>(x), std::vector<double>(d));
}

Result Machine::call(uint64_t address, const std::vector<uint64_t>& x, const std::vector<double>& d) {
  if (x.size() > 8 || d.size() > 8) throw Error("more arguments than registers");
  return call(address, [&](Cpu& cpu, uint64_t) {
    for (size_t i = 0; i < x.size(); ++i) cpu.setX(static_cast<int>(i), x[i]);
    for (size_t i = 0; i < d.size(); ++i) cpu.setD(static_cast<int>(i), d[i]);
  });
}

Result Machine::call(uint64_t address, const std::function<void(Cpu&, uint64_t)>& setUp) {
  if (depth_ >= kDeepestNesting) throw Error("calls into emulated code nested more than 64 deep");
  Cpu cpu(*this);
  // A nested call keeps the interrupted code's registers and runs below its stack frame.
  uc_context* interrupted = nullptr;
  uint64_t top = kStackBase + kStackSize - 0x100;
  if (depth_ > 0) {
    if (uc_context_alloc(uc_, &interrupted) != UC_ERR_OK || uc_context_save(uc_, interrupted) != UC_ERR_OK)
      throw Error("cannot save the emulated registers for a nested call");
    top = cpu.sp() - kRedZone;
  }
  uint64_t sp = (top - kOutgoingStackBytes) & ~uint64_t{15};
  if (sp < kStackBase + 0x1000) throw Error("the emulated stack is exhausted");
  struct Restore {
    Machine& m;
    uc_context* saved;
    ~Restore() {
      if (--m.depth_ == 0 && m.watchdog_) m.watchdog_->disarm();
      if (saved != nullptr) {
        uc_context_restore(m.uc_, saved);
        uc_context_free(saved);
      }
    }
  } restore{*this, interrupted};
  if (depth_++ == 0) {
    if (!watchdog_) watchdog_ = std::make_unique<Watchdog>(uc_);
    watchdog_->arm();
  }

  setUp(cpu, sp);
  uc_reg_write(uc_, UC_ARM64_REG_SP, &sp);
  cpu.setX(29, 0);
  cpu.setX(30, kTrapBase);  // the "(return to the harness)" trap
  runUntilReturn(address);

  Result result;
  result.x0 = cpu.x(0);
  result.x1 = cpu.x(1);
  for (int i = 0; i < 4; ++i) result.d[i] = cpu.d(i);
  return result;
}

}  // namespace emu
