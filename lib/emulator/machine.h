// An arm64 CPU with memory (Unicorn), as the emulated device's processes run on: mapped regions with
// protections, a heap, a stack, traps (addresses whose execution runs C++ instead of machine code),
// calls into the emulated code that run until the callee returns, and, for an arm64e process, pointer
// authentication enforced by the CPU itself. Its implementation is split by job: machine.cpp (the CPU's
// registers and memory), traps.cpp (traps and calls), machine_pointer_auth.cpp (pointer
// authentication), watchdog.h (the time limit) and code_names.h (naming addresses in errors).
#pragma once

#include <cstdint>
#include <functional>
#include <initializer_list>
#include <memory>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

#include "code_names.h"
#include "macho_reader.h"
#include "pointer_auth.h"

struct uc_struct;

namespace emu {

class Watchdog;
using macho::hex;

// A run that stopped: a fault, a missing import or method, a misuse of the emulated system. The
// message says what and where.
struct Error : std::runtime_error {
  using std::runtime_error::runtime_error;
};

enum Protection : int { kRead = 1, kWrite = 2, kExecute = 4 };

class Machine;

// The registers of the code that reached a trap. How arguments and results travel in them under
// Apple's arm64 calling convention is arm64_abi.h's business; this is the raw register file.
class Cpu {
 public:
  explicit Cpu(Machine& machine) : machine_(machine) {}
  uint64_t x(int n) const;
  void setX(int n, uint64_t value);
  // The low 64 bits of vector register n, as a double (d<n>) or as raw bits.
  double d(int n) const;
  uint64_t v(int n) const;
  // Writes all 128 bits of vector register n.
  void setV(int n, uint64_t low, uint64_t high = 0);
  uint64_t sp() const;
  uint64_t lr() const;
  // Continues at `address` instead of returning to the caller: a tail call that keeps x0-x7, d0-d7
  // and the link register, as objc_msgSend enters an implementation.
  void jump(uint64_t address);
  Machine& machine() { return machine_; }

 private:
  Machine& machine_;
};

// What a call left in the result registers.
struct Result {
  uint64_t x0 = 0, x1 = 0;
  double d[4] = {0, 0, 0, 0};
};

// The CPU a process runs on: arm64 (A11 and older: no pointer authentication, the PAC instructions
// in hint space do nothing and the others are undefined) or arm64e (A12 and later: the CPU signs and
// authenticates pointers with the process's keys).
enum class Architecture { Arm64, Arm64e };

class Machine {
 public:
  explicit Machine(Architecture architecture = Architecture::Arm64);
  ~Machine();
  Machine(const Machine&) = delete;
  Machine& operator=(const Machine&) = delete;

  // ---- memory ----
  void map(uint64_t address, uint64_t size, int protection);
  void unmap(uint64_t address, uint64_t size);
  void protect(uint64_t address, uint64_t size, int protection);
  void write(uint64_t address, const void* data, size_t size);
  void read(uint64_t address, void* data, size_t size);
  template <typename T>
  T load(uint64_t address) {
    T value{};
    read(address, &value, sizeof value);
    return value;
  }
  template <typename T>
  void store(uint64_t address, T value) {
    write(address, &value, sizeof value);
  }
  // A NUL-terminated string; a missing terminator within `limit` bytes is an error.
  std::string cString(uint64_t address, size_t limit = 4096);

  // Zeroed heap memory, never freed (the emulated processes are short-lived). `alignment` is a power
  // of two. allocate() stops the run when the heap cannot hold `size` bytes more; tryAllocate()
  // answers 0 instead, as malloc does. Either leaves the heap as it was when it refuses.
  uint64_t allocate(uint64_t size, uint64_t alignment = 16);
  uint64_t tryAllocate(uint64_t size, uint64_t alignment = 16);
  uint64_t allocateString(const std::string& text);

  // ---- traps ----
  using Handler = std::function<void(Cpu&)>;
  // A new address that, when called or branched to, runs `handler` and returns to the link register
  // (unless the handler jumps elsewhere). `name` identifies it in errors.
  uint64_t trap(const std::string& name, Handler handler);

  // ---- pointer authentication (arm64e) ----
  // In an arm64e machine the CPU's PAC instructions sign and authenticate with the process's keys,
  // and a branch, return or load through a pointer that failed authentication stops the run with
  // "pointer authentication failed at SYMBOL+OFFSET: ...".
  bool pointerAuthentication() const { return pointerAuthentication_; }
  // The process's pointer signing, or the plain pointer in an arm64 process: sign() and strip() as
  // PointerAuth has them; authenticate() answers nothing when the signature does not match.
  uint64_t sign(uint64_t pointer, PacKey key, uint64_t modifier) const;
  std::optional<uint64_t> authenticate(uint64_t pointer, PacKey key, uint64_t modifier) const;
  uint64_t strip(uint64_t pointer) const;
  // A C function pointer as the device's libraries hand one over (dlsym, the runtime's IMPs, the
  // previous implementation of a hook): signed with key IA and discriminator 0.
  uint64_t signFunction(uint64_t address) const { return sign(address, PacKey::IA, 0); }
  // The address a C function pointer handed over by the emulated code points to, after checking it is
  // signed with key IA and discriminator 0, as the device's runtime and libraries authenticate one
  // before calling or storing it. Stops the run otherwise: "pointer authentication failed at
  // SYMBOL+OFFSET: <what> is unsigned" (or "signed otherwise"). NULL passes as NULL.
  uint64_t authenticateFunction(uint64_t pointer, const std::string& what);
  // The class an object's isa (its first word) points to, after authenticating it as objc_msgSend
  // does in the runtime's AUTH mode, iOS's for arm64e (objc4's ExtractISA: autda with the object's
  // address blended with discriminator 0x6AE1). Stops the run otherwise: "pointer authentication
  // failed at OBJECT: <what> is unsigned" (or "signed otherwise"). In an arm64 process, the isa.
  uint64_t authenticateIsa(uint64_t object, const std::string& what);

  // ---- running ----
  // Calls the emulated function at `address` and runs until it returns. `setUp` loads the arguments:
  // registers through the Cpu, and stack arguments in memory from the stack pointer it is given up
  // (kOutgoingStackBytes of room). A trap handler may call again (a host function calling back into
  // emulated code): the inner call runs on the stack below the interrupted code's, whose registers
  // are restored afterwards. Throws Error when the run stops for any other reason.
  static constexpr uint64_t kOutgoingStackBytes = 512;
  Result call(uint64_t address, const std::function<void(Cpu&, uint64_t stackPointer)>& setUp);
  // The same with up to eight integer arguments in x0-x7.
  Result call(uint64_t address, std::initializer_list<uint64_t> x);
  // Stops the current run with an error (from a trap handler).
  [[noreturn]] void fail(const std::string& why);

  // Called each time emulated code is about to run (a call starts or resumes after a trap) and each
  // time it stops running (a trap is reached or the call returns): where a bridge keeps memory the
  // two worlds share in step.
  void setCrossingHooks(std::function<void()> entering, std::function<void()> leaving);

  // Names a code address in errors (CodeNames): the loader registers its images, labelled by their
  // functions and sections. describe() answers the region's name for an address in one, the trap's
  // name for a trap, else the address.
  void nameRegion(uint64_t start, uint64_t size, const std::string& name,
                  std::vector<std::pair<uint64_t, std::string>> labels);
  std::string describe(uint64_t address) const;

 private:
  friend class Cpu;
  // The name of the trap at `address`, or "" when it is none.
  std::string trapName(uint64_t address) const;
  static void onInterrupt(uc_struct* uc, uint32_t number, void* self);
  static bool onBadAccess(uc_struct* uc, int type, uint64_t address, int size, int64_t value, void* self);
  static void onBlock(uc_struct* uc, uint64_t address, uint32_t size, void* self);
  void enablePointerAuthentication();
  std::string authenticationFailure(uint64_t site, uint64_t pointer, const char* use) const;
  // Runs from `address` until the call at this depth returns, carrying out the traps it reaches.
  void runUntilReturn(uint64_t address);
  void runTrap(size_t index);

  uc_struct* uc_ = nullptr;
  uint64_t heapNext_;
  std::vector<Handler> handlers_;
  std::vector<std::string> trapNames_;
  CodeNames codeNames_;
  std::string pendingError_;
  long pendingTrap_ = -1;
  uint64_t faultAddress_ = 0;
  bool faulted_ = false;
  int depth_ = 0;
  std::function<void()> entering_, leaving_;
  std::unique_ptr<Watchdog> watchdog_;
  bool pointerAuthentication_ = false;
  PointerAuth pointerAuth_;
  uint64_t lastBlock_ = 0, lastBlockSize_ = 0;  // the block executing, to name a failed branch's site
};

}  // namespace emu
