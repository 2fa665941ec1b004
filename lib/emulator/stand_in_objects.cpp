#include "stand_in_objects.h"

#include <CoreFoundation/CoreFoundation.h>

#include <cstdio>
#include <vector>

#include "constant_string.h"
#include "host/corefoundation.h"
#include "host/objc.h"

namespace emu {
namespace {

bool descendsFrom(Class cls, Class ancestor) {
  for (Class c = cls; c != Nil; c = class_getSuperclass(c))
    if (c == ancestor) return true;
  return false;
}

}  // namespace

StandInObjects::StandInObjects(Machine& machine) : machine_(machine), table_(machine), selectors_(machine) {
  constantStringClass_ = toEmu(object_getClass(reinterpret_cast<id>(const_cast<__CFString*>(CFSTR("")))));
  host::setDeallocObserver(&StandInObjects::objectDied, this);
}

StandInObjects::~StandInObjects() { host::setDeallocObserver(nullptr, nullptr); }

void StandInObjects::objectDied(id object, void* self) { static_cast<StandInObjects*>(self)->table_.forget(object); }

// ---- objects and classes ----

bool StandInObjects::isClass(id object) const { return object != nullptr && class_isMetaClass(object_getClass(object)); }

uint64_t StandInObjects::makeClassHandle(Class cls) {
  uint64_t handle = table_.handleFor(cls, 0);
  machine_.store<uint64_t>(handle, toEmu(object_getClass(reinterpret_cast<id>(cls))));
  machine_.store<uint64_t>(handle + 8, toEmu(class_getSuperclass(cls)));
  return handle;
}

uint64_t StandInObjects::toEmu(id object) {
  if (object == nullptr) return 0;
  if (uint64_t handle = table_.find(object)) return handle;
  if (isClass(object)) return makeClassHandle(reinterpret_cast<Class>(object));
  Class cls = object_getClass(object);
  uint64_t size = fieldsOf(cls) != nullptr ? class_getInstanceSize(cls) : 16;
  uint64_t handle = table_.handleFor(object, toEmu(cls), size);
  if (size > 16) copyFieldsToEmu(handle, object);
  return handle;
}

id StandInObjects::constantString(uint64_t handle) {
  CFStringRef host = hostStringOfConstant(machine_, handle);
  table_.add(handle, host);  // kept for the life of the process, as the image's constant is
  return reinterpret_cast<id>(const_cast<__CFString*>(host));
}

id StandInObjects::toHost(uint64_t handle) {
  if (handle == 0) return nullptr;
  if (const void* host = table_.hostOf(handle)) return reinterpret_cast<id>(const_cast<void*>(host));
  if (table_.isDead(handle)) machine_.fail("a message to or use of a deallocated object at " + hex(handle));
  uint64_t isa = 0;
  if ((handle & 7) == 0) {
    try {
      isa = machine_.load<uint64_t>(handle);
    } catch (const Error&) {
    }
  }
  // A CFSTR constant of a loaded image, met for the first time (its isa is signed on arm64e).
  if (isa != 0 && machine_.strip(isa) == constantStringClass_) return constantString(handle);
  machine_.fail("not an object: " + machine_.describe(handle));
}

Class StandInObjects::hostClass(uint64_t handle) {
  id object = toHost(handle);
  if (object != nullptr && !isClass(object)) machine_.fail("not a class: " + machine_.describe(handle));
  return reinterpret_cast<Class>(object);
}

std::string StandInObjects::describeMessage(id receiver, const std::string& selector) const {
  bool isClassObject = isClass(receiver);
  const char* name = isClassObject ? class_getName(reinterpret_cast<Class>(receiver))
                                   : class_getName(object_getClass(receiver));
  return std::string(isClassObject ? "+[" : "-[") + name + " " + selector + "]";
}

std::string StandInObjects::describeMethod(Class cls, SEL selector) {
  return std::string(class_isMetaClass(cls) ? "+[" : "-[") + class_getName(cls) + " " + sel_getName(selector) + "]";
}

// ---- instance variables ----

const std::vector<StandInObjects::Field>* StandInObjects::fieldsOf(Class cls) const {
  for (Class c = cls; c != Nil; c = class_getSuperclass(c)) {
    auto it = exposed_.find(c);
    if (it != exposed_.end()) return &it->second;
  }
  return nullptr;
}

void StandInObjects::exposeIvar(Class cls, Ivar ivar) {
  for (const void* host : table_.hosts()) {
    id object = reinterpret_cast<id>(const_cast<void*>(host));
    if (!isClass(object) && descendsFrom(object_getClass(object), cls) && fieldsOf(object_getClass(object)) == nullptr)
      machine_.fail(std::string("the emulated code asked for ") + ivar_getName(ivar) + " of " + class_getName(cls) +
                    " after an instance was handed to it");
  }
  // Every class below `cls` sees the fields of its ancestors too: gather them under `cls`.
  std::vector<Field> fields;
  if (const std::vector<Field>* inherited = fieldsOf(cls)) fields = *inherited;
  const char* types = ivar_getTypeEncoding(ivar);
  if (types == nullptr || types[0] != '@') {
    machine_.fail(std::string("the emulated code reaches the field ") + ivar_getName(ivar) + " of " +
                  class_getName(cls) + ", which is not an object (" + (types ? types : "?") + "): not modelled");
  }
  for (const Field& f : fields)
    if (f.offset == ivar_getOffset(ivar)) return;
  fields.push_back({ivar_getOffset(ivar), ivar_getName(ivar)});
  exposed_[cls] = fields;
}

void StandInObjects::copyFieldsToEmu(uint64_t handle, const void* host) {
  const char* object = static_cast<const char*>(host);
  for (const Field& f : *fieldsOf(object_getClass(reinterpret_cast<id>(const_cast<char*>(object))))) {
    machine_.store<uint64_t>(handle + f.offset, toEmu(*reinterpret_cast<const id*>(object + f.offset)));
  }
}

void StandInObjects::syncToEmu() {
  for (const auto& [handle, host] : table_.wideHandles()) copyFieldsToEmu(handle, host);
}

void StandInObjects::syncToHost() {
  for (const auto& [handle, host] : table_.wideHandles()) {
    char* object = static_cast<char*>(const_cast<void*>(host));
    Class cls = object_getClass(reinterpret_cast<id>(object));
    for (const Field& f : *fieldsOf(cls)) {
      uint64_t value = machine_.load<uint64_t>(handle + f.offset);
      id hostValue = nullptr;
      try {
        hostValue = toHost(value);
      } catch (const Error&) {
        machine_.fail("the field " + f.name + " of a " + class_getName(cls) + " holds " + hex(value) +
                      ", which is not an object");
      }
      *reinterpret_cast<id*>(object + f.offset) = hostValue;
    }
  }
}

}  // namespace emu
