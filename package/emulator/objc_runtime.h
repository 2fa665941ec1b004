// The Objective-C runtime of the emulated process, as Apple's libobjc behaves for the calls our
// binaries make: classes and metaclasses in emulated memory (isa first), registered selectors (unique
// C strings), run-time class building, ivar offsets, reference counting, and objc_msgSend /
// objc_msgSendSuper dispatching to harness-side (native) methods or to implementations the binary
// registered or hooked. A message nobody implements stops the run: "unrecognized selector".
// Implementations (IMPs) are kept as the device's runtime hands them out, signed as C function
// pointers in an arm64e process (key IA, discriminator 0), and authenticated before each call.
#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <string>
#include <unordered_map>
#include <vector>

#include "arm64_abi.h"
#include "imports.h"
#include "machine.h"
#include "selectors.h"

namespace emu {

using abi::boolArgument;
using abi::kUnspecifiedUpperBits;
using abi::returnBool;

struct MethodInfo {
  std::string selector;
  uint64_t imp = 0;
  std::string types;
};

struct IvarInfo {
  std::string name;
  std::string types;
  uint64_t offset = 0;
  uint64_t size = 0;
  uint64_t handle = 0;  // the Ivar pointer class_getInstanceVariable answers
};

class ObjcRuntime {
 public:
  ObjcRuntime(Machine& machine, Imports& imports);

  // ---- selectors ----
  uint64_t sel(const std::string& name);
  // The name of a registered selector; stops the run for anything else.
  std::string selName(uint64_t sel);

  // ---- classes ----
  // Defines and registers a harness-side class with raw ivars (name, size in bytes, 8-byte aligned).
  uint64_t defineClass(const std::string& name, const std::string& superclass,
                       const std::vector<std::pair<std::string, uint64_t>>& ivars = {});
  using Native = std::function<void(Cpu&)>;  // self in x0, _cmd in x1, arguments from x2 / d0
  void method(const std::string& className, const std::string& selector, const std::string& types, Native native);
  void classMethod(const std::string& className, const std::string& selector, const std::string& types,
                   Native native);

  uint64_t getClass(const std::string& name) const;  // registered classes only; 0 when absent
  uint64_t classOf(uint64_t object);                  // its isa
  uint64_t superclassOf(uint64_t cls) const;
  uint64_t metaclassOf(uint64_t cls) const;
  bool isMetaclass(uint64_t cls) const;
  bool isClass(uint64_t address) const;
  std::string className(uint64_t cls) const;
  uint64_t lookup(uint64_t cls, uint64_t sel) const;  // the IMP, searching superclasses; 0 if none
  uint64_t ownImp(uint64_t cls, uint64_t sel) const;  // only the class's own method; 0 if none
  // Sets the class's own method; `imp` as the runtime keeps it (signed in an arm64e process).
  void setOwnImp(uint64_t cls, uint64_t sel, uint64_t imp, const std::string& types);
  bool isKindOf(uint64_t object, uint64_t cls);
  bool registered(uint64_t cls) const;
  std::vector<MethodInfo> methods(uint64_t cls) const;  // the class's own, in the order added
  std::vector<IvarInfo> ivars(uint64_t cls) const;      // the class's own
  uint64_t instanceSize(uint64_t cls) const;

  // ---- objects ----
  // A new zeroed instance (+1), isa set.
  uint64_t createInstance(uint64_t cls);
  // Tracks an object made elsewhere (a bridged CoreFoundation object) with `references` owned by
  // the emulated code; `dies` says whether reaching zero ends it.
  void adopt(uint64_t object, int64_t references, bool dies);
  bool known(uint64_t object) const { return objects_.count(object) != 0; }
  bool alive(uint64_t object) const;
  // Stops the run when `object` was deallocated.
  void checkAlive(uint64_t object, const char* use);
  int64_t references(uint64_t object) const;
  void retain(uint64_t object);
  // Drops one reference; true when it was the last one and the object must be deallocated.
  bool release(uint64_t object);
  void markDead(uint64_t object);
  void autorelease(uint64_t object) { pool_.push_back(object); }
  // Releases what was autoreleased (the end of a run-loop turn); objects that reach zero die, and
  // those of the binary's classes run their -dealloc.
  void drainPool();

  // ---- messaging from the harness (the role of SpringBoard or the Settings app) ----
  Result send(uint64_t receiver, const std::string& selector, const std::vector<uint64_t>& x = {},
              const std::vector<double>& d = {});
  // Runs the implementation `imp` as the method it is (self, _cmd, arguments...), after
  // authenticating it as the runtime would.
  Result callImp(uint64_t imp, uint64_t receiver, const std::string& selector, const std::vector<uint64_t>& x = {},
                 const std::vector<double>& d = {});

  // "-[Class selector]" or "+[Class selector]".
  std::string describeMethod(uint64_t cls, uint64_t sel);

 private:
  struct ClassRecord {
    std::string name;
    uint64_t superclass = 0, metaclass = 0;
    bool meta = false, isRegistered = false;
    std::map<uint64_t, MethodInfo> methods;
    std::vector<uint64_t> methodOrder;
    std::vector<IvarInfo> ivars;
    uint64_t instanceSize = 8;
  };
  struct ObjectRecord {
    int64_t references = 1;
    bool alive = true;
    bool dies = true;
  };

  Machine::Handler checked(const std::string& selector, Native native);
  uint64_t newClassPair(uint64_t superclass, const std::string& name);
  ClassRecord& record(uint64_t cls);
  const ClassRecord* find(uint64_t cls) const;
  void exportRuntime(Imports& imports);
  void defineRootClass();
  void dispatch(Cpu& cpu, uint64_t receiver, uint64_t startClass);

  Machine& machine_;
  std::unordered_map<uint64_t, ClassRecord> classes_;
  std::map<std::string, uint64_t> classesByName_;
  Selectors selectors_;
  std::unordered_map<uint64_t, ObjectRecord> objects_;
  std::vector<uint64_t> pool_;
};

}  // namespace emu
