// The stand-ins' Objective-C world as the emulated code sees it: the objects, classes and selectors of
// this process's runtime (GCC's) under emulated addresses, through the one ObjectTable. A class gets a handle like any
// object (its isa the metaclass's handle, then its superclass's); a selector is a unique C string in
// emulated memory, as on the device. Instance variables the emulated code reaches directly (through
// class_getInstanceVariable and ivar_getOffset) live in the object's handle at the host's offsets and
// are kept in step with the host object's whenever the emulated code starts or stops running.
#pragma once

#include <objc/runtime.h>

#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include "machine.h"
#include "object_table.h"
#include "selectors.h"

namespace emu {

class StandInObjects {
 public:
  explicit StandInObjects(Machine& machine);
  ~StandInObjects();
  StandInObjects(const StandInObjects&) = delete;
  StandInObjects& operator=(const StandInObjects&) = delete;

  // ---- selectors ----
  uint64_t sel(const std::string& name) { return selectors_.sel(name); }
  uint64_t sel(SEL selector) { return selector == nullptr ? 0 : sel(sel_getName(selector)); }
  // The name of a registered selector; stops the run for anything else.
  std::string selName(uint64_t selector) { return selectors_.name(selector); }
  SEL hostSel(uint64_t selector) { return selector == 0 ? nullptr : sel_registerName(selName(selector).c_str()); }

  // ---- objects and classes ----
  // The handle of a host object or class (0 for nil).
  uint64_t toEmu(id object);
  uint64_t toEmu(Class cls) { return toEmu(reinterpret_cast<id>(cls)); }
  // The host object behind a handle or a CFSTR constant (nil for 0). Anything else stops the run,
  // naming it: a dead object's handle, an address that was never an object.
  id toHost(uint64_t handle);
  // The same for a value that must be a class.
  Class hostClass(uint64_t handle);
  bool isClass(id object) const;
  // "-[Class selector]" or "+[Class selector]" for a message to `receiver`.
  std::string describeMessage(id receiver, const std::string& selector) const;
  // "-[Class selector]" for a method of `cls`, "+[...]" when `cls` is a metaclass.
  static std::string describeMethod(Class cls, SEL selector);

  // The class every CFSTR constant of a loaded image names as its isa (___CFConstantStringClassReference).
  uint64_t constantStringClass() const { return constantStringClass_; }

  // ---- instance variables the emulated code reaches directly ----
  // The emulated code learnt where `ivar` of `cls` is: instances of `cls` and its subclasses carry
  // it in their handles from now on. Stops the run when such an instance already has a handle
  // without it.
  void exposeIvar(Class cls, Ivar ivar);
  // Copies those fields host -> emulated memory (before emulated code runs) and back (after).
  void syncToEmu();
  void syncToHost();

 private:
  struct Field {  // an object field the emulated code reaches
    ptrdiff_t offset;
    std::string name;
  };
  static void objectDied(id object, void* self);
  uint64_t makeClassHandle(Class cls);
  void copyFieldsToEmu(uint64_t handle, const void* host);
  const std::vector<Field>* fieldsOf(Class cls) const;
  id constantString(uint64_t handle);

  Machine& machine_;
  ObjectTable table_;
  Selectors selectors_;
  std::map<Class, std::vector<Field>> exposed_;  // by the class the emulated code asked
  uint64_t constantStringClass_ = 0;
};

}  // namespace emu
