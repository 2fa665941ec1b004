#include "machine.h"

#include <unicorn/unicorn.h>

#include "machine_internal.h"
#include "watchdog.h"

namespace emu {

using namespace internal;

namespace {

constexpr auto kRunTimeLimit = std::chrono::seconds(20);
constexpr int kDeepestNesting = 64;
constexpr uint64_t kRedZone = 128;  // below a leaf function's stack pointer, which it may use

// The exceptions Unicorn reports through its interrupt hook (QEMU's numbering).
constexpr uint32_t kUndefinedInstruction = 1;
constexpr uint32_t kSupervisorCall = 2;
constexpr uint32_t kPrefetchAbort = 3;
constexpr uint32_t kBreakpoint = 7;
// clang's check after an AUT* whose result is not used by a branch: BRK #0xc470 + key.
constexpr uint32_t kBrkMask = 0xffe0001f, kBrk = 0xd4200000;
constexpr uint32_t kAuthCheckBrk = 0xc470;

}  // namespace

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
                         std::vector<std::pair<uint64_t, std::string>> labels) {
  codeNames_.add(start, size, name, std::move(labels));
}

std::string Machine::describe(uint64_t address) const {
  std::string named = codeNames_.name(address);
  if (!named.empty()) return named;
  std::string trapped = trapName(address & ~uint64_t{7});
  return trapped.empty() ? hex(address) : trapped;
}

void Machine::setCrossingHooks(std::function<void()> entering, std::function<void()> leaving) {
  entering_ = std::move(entering);
  leaving_ = std::move(leaving);
}

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
    if (pendingTrap_ == 0) return;  // "(return to the caller)": this call is over
    if (pendingTrap_ < 0) throw Error("emulated code stopped without reaching a trap (at " + describe(pc) + ")");
    runTrap(static_cast<size_t>(pendingTrap_));
    uc_reg_read(uc_, UC_ARM64_REG_PC, &pc);  // after the svc, at the trap's ret, unless it jumped
  }
}

Result Machine::call(uint64_t address, std::initializer_list<uint64_t> x) {
  if (x.size() > 8) throw Error("more arguments than registers");
  return call(address, [&](Cpu& cpu, uint64_t) {
    int n = 0;
    for (uint64_t value : x) cpu.setX(n++, value);
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
    if (!watchdog_) watchdog_ = std::make_unique<Watchdog>(uc_, kRunTimeLimit);
    watchdog_->arm();
  }

  setUp(cpu, sp);
  uc_reg_write(uc_, UC_ARM64_REG_SP, &sp);
  cpu.setX(29, 0);
  cpu.setX(30, kTrapBase);  // the "(return to the caller)" trap
  runUntilReturn(address);

  Result result;
  result.x0 = cpu.x(0);
  result.x1 = cpu.x(1);
  for (int i = 0; i < 4; ++i) result.d[i] = cpu.d(i);
  return result;
}

}  // namespace emu
