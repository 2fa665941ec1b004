// Calls between the emulated code and the stand-ins (functions of this process, the host side, of
// any signature): arm64_abi.h reads and writes the emulated side, libffi calls and makes functions at
// the host's convention, and the values cross by their types (objects, classes and selectors through
// StandInObjects, C strings and the pointees of pointers copied). Every function pointer that crosses
// between the two worlds goes through here: a host function the emulated code may call gets an
// emulated address (a trap), an emulated function the host may call gets a host function pointer (a
// closure), and a pointer that comes back across is mapped to what it was. In an arm64e process the
// pointers cross as Apple's libraries hand them over and take them: a function pointer given to the
// emulated code is signed as a C function pointer (key IA, discriminator 0), and one taken from it is
// authenticated as such, where the library that takes it on the device authenticates it.
#pragma once

#include <cstdint>
#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "arm64_abi.h"
#include "stand_in_objects.h"
#include "machine.h"

namespace emu {

class StandInBridge {
 public:
  StandInBridge(Machine& machine, StandInObjects& objects);
  ~StandInBridge();
  StandInBridge(const StandInBridge&) = delete;
  StandInBridge& operator=(const StandInBridge&) = delete;

  // ---- function pointers ----
  // The emulated function pointer for the host function `function` with type encoding `types`
  // ("v@:B" for a method, "v@q" for a C function): a trap that calls it, signed as a C function
  // pointer in an arm64e process (what dlsym, method_getImplementation and a hooking library's
  // original hand out). `name` names it in errors. The same function with the same types always gives
  // the same pointer; a closure made by toHost gives the emulated function it runs, signed the same.
  uint64_t toEmu(void* function, const std::string& types, const std::string& name);
  // The same for a host function whose call needs more than its types say (a buffer the callee fills,
  // a check of the caller): `call` carries out each call from the emulated caller's registers. The
  // same function with the same name always gives the same pointer.
  uint64_t toEmu(void* function, const std::string& name, Machine::Handler call);
  // When a function pointer the emulated code hands over is authenticated (arm64e): where the taker
  // stores it (the runtime's class_addMethod, a hooking library), or each time it is called (a
  // notification centre keeps the pointer as it came and calls it with BLRAAZ).
  enum class Check { OnHandOver, OnEachCall };
  // The host function pointer for the emulated function pointer `pointer` with `types`: a closure
  // that runs it. A pointer toEmu made gives the host function it calls. In an arm64e process
  // `pointer` must be signed as a C function pointer (key IA, discriminator 0): one that is not stops
  // the run, at hand-over or at the call as `check` says, with "pointer authentication failed at
  // SYMBOL+OFFSET: <what> is unsigned" (or "is not signed with key IA and discriminator 0").
  void* toHost(uint64_t pointer, const std::string& types, const std::string& name, Check check,
               const std::string& what);
  // The plain entry address of the emulated function a closure runs, or 0 when `function` is none of
  // them. (The runtime calls a method through its own copy of the implementation, re-signed when it
  // was handed over; nothing the emulated code holds.)
  uint64_t emulatedFunctionOf(void* function) const;

  // ---- calls ----
  // Carries out, from a trap, the emulated code's call of the host `function` with `types`: reads the
  // arguments from the caller's registers, maps them, calls, maps the result back into the result
  // registers. `what` names the call in errors ("-[UIView initWithFrame:]").
  void callHost(Cpu& cpu, void* function, const std::string& types, const std::string& what);

  // What a closure does when the emulated code it runs stops (an Error): by default writes the
  // message to standard error and aborts, as the process would crash on the device.
  void setStopHandler(std::function<void(const std::string& message)> handler) { stop_ = std::move(handler); }

 private:
  struct Prepared;
  struct Closure;
  Prepared& prepare(const std::string& types);
  // Values crossing, argument by argument; `after` collects what to copy back once the call is over.
  std::vector<abi::Bytes> argumentsToHost(const Prepared& p, std::vector<abi::Bytes> values, const std::string& what,
                                          std::deque<std::string>& strings, std::deque<std::vector<uint8_t>>& buffers,
                                          std::vector<std::function<void()>>& after);
  abi::Bytes resultToEmu(const abi::Type& type, const abi::Bytes& value, const std::string& what);
  abi::Bytes valueToEmu(const abi::Type& type, const abi::Bytes& value, const std::string& what, bool argument);
  abi::Bytes resultToHost(const abi::Type& type, const abi::Bytes& value, const std::string& what);
  static void onClosure(void* cif, void* result, void** arguments, void* closure);
  void runClosure(Closure& closure, void* result, void** arguments);

  Machine& machine_;
  StandInObjects& objects_;
  std::map<std::string, std::unique_ptr<Prepared>> prepared_;
  std::map<std::pair<void*, std::string>, uint64_t> traps_;
  std::map<uint64_t, void*> trapFunctions_;
  std::map<std::pair<uint64_t, std::string>, std::unique_ptr<Closure>> closures_;
  std::map<void*, uint64_t> closureFunctions_;
  std::deque<std::string> returnedStrings_;  // C strings handed to host callers, kept a while
  std::map<const void*, std::pair<std::string, uint64_t>> constStrings_;  // const C strings handed to the emulated code
  std::function<void(const std::string&)> stop_;
};

}  // namespace emu
