#include "objc_runtime.h"

#include <cstdio>
#include <map>
#include <memory>
#include <utility>

namespace emu {
namespace {

constexpr uint64_t kClassObjectSize = 40;  // isa, superclass, cache, vtable, data: Apple's objc_class

}  // namespace

ObjcRuntime::ObjcRuntime(Machine& machine, Imports& imports) : machine_(machine), selectors_(machine) {
  defineRootClass();
  exportRuntime(imports);
}

// ---- selectors ----

uint64_t ObjcRuntime::sel(const std::string& name) { return selectors_.sel(name); }

std::string ObjcRuntime::selName(uint64_t sel) { return selectors_.name(sel); }

// ---- classes ----

uint64_t ObjcRuntime::newClassPair(uint64_t superclass, const std::string& name) {
  uint64_t cls = machine_.allocate(kClassObjectSize);
  uint64_t meta = machine_.allocate(kClassObjectSize);
  // The metaclass chain: a root class's metaclass inherits from the root class itself.
  uint64_t superMeta = superclass != 0 ? record(superclass).metaclass : cls;
  uint64_t rootMeta = meta;
  for (uint64_t c = superclass; c != 0; c = record(c).superclass) rootMeta = record(c).metaclass;
  machine_.store<uint64_t>(cls, meta);
  machine_.store<uint64_t>(cls + 8, superclass);
  machine_.store<uint64_t>(meta, rootMeta);
  machine_.store<uint64_t>(meta + 8, superMeta);
  ClassRecord& c = classes_[cls];
  c.name = name;
  c.superclass = superclass;
  c.metaclass = meta;
  c.instanceSize = superclass != 0 ? record(superclass).instanceSize : 8;
  ClassRecord& m = classes_[meta];
  m.name = name;
  m.superclass = superMeta;
  m.metaclass = rootMeta;
  m.meta = true;
  return cls;
}

ObjcRuntime::ClassRecord& ObjcRuntime::record(uint64_t cls) {
  auto it = classes_.find(cls);
  if (it == classes_.end()) machine_.fail("not a class: " + hex(cls));
  return it->second;
}

const ObjcRuntime::ClassRecord* ObjcRuntime::find(uint64_t cls) const {
  auto it = classes_.find(cls);
  return it == classes_.end() ? nullptr : &it->second;
}

uint64_t ObjcRuntime::defineClass(const std::string& name, const std::string& superclass,
                                  const std::vector<std::pair<std::string, uint64_t>>& ivars) {
  uint64_t super = superclass.empty() ? 0 : getClass(superclass);
  if (!superclass.empty() && super == 0) throw Error("defining " + name + ": no class " + superclass);
  uint64_t cls = newClassPair(super, name);
  ClassRecord& c = record(cls);
  for (const auto& [ivarName, size] : ivars) {
    uint64_t offset = (c.instanceSize + 7) & ~uint64_t{7};
    c.ivars.push_back({ivarName, "@", offset, size, machine_.allocateString(ivarName)});
    c.instanceSize = offset + size;
  }
  c.isRegistered = true;
  classesByName_[name] = cls;
  return cls;
}

// A native method checks the selector it is called with: an implementation called as another method
// (a wrapper passing the wrong _cmd to the previous implementation) stops the run.
Machine::Handler ObjcRuntime::checked(const std::string& selector, Native native) {
  return [this, selector, native](Cpu& cpu) {
    if (cpu.x(1) != sel(selector)) {
      machine_.fail("the implementation of " + selector + " called with _cmd " + selName(cpu.x(1)));
    }
    native(cpu);
  };
}

void ObjcRuntime::method(const std::string& className, const std::string& selector, const std::string& types,
                         Native native) {
  uint64_t cls = getClass(className);
  if (cls == 0) throw Error("no class " + className);
  uint64_t imp = machine_.trap("-[" + className + " " + selector + "]", checked(selector, std::move(native)));
  setOwnImp(cls, sel(selector), machine_.signFunction(imp), types);
}

void ObjcRuntime::classMethod(const std::string& className, const std::string& selector, const std::string& types,
                              Native native) {
  uint64_t cls = getClass(className);
  if (cls == 0) throw Error("no class " + className);
  uint64_t imp = machine_.trap("+[" + className + " " + selector + "]", checked(selector, std::move(native)));
  setOwnImp(record(cls).metaclass, sel(selector), machine_.signFunction(imp), types);
}

uint64_t ObjcRuntime::getClass(const std::string& name) const {
  auto it = classesByName_.find(name);
  return it == classesByName_.end() ? 0 : it->second;
}

uint64_t ObjcRuntime::classOf(uint64_t object) {
  // The harness's objects carry a plain isa; a signed one (a CFSTR constant of an arm64e image) is
  // authenticated as objc_msgSend does.
  uint64_t isa = machine_.load<uint64_t>(object);
  return machine_.strip(isa) == isa ? isa : machine_.authenticateIsa(object, "the isa of the object there");
}
uint64_t ObjcRuntime::superclassOf(uint64_t cls) const { return find(cls) ? find(cls)->superclass : 0; }
uint64_t ObjcRuntime::metaclassOf(uint64_t cls) const { return find(cls) ? find(cls)->metaclass : 0; }
bool ObjcRuntime::isMetaclass(uint64_t cls) const { return find(cls) && find(cls)->meta; }
bool ObjcRuntime::isClass(uint64_t address) const { return find(address) != nullptr; }
std::string ObjcRuntime::className(uint64_t cls) const { return find(cls) ? find(cls)->name : "?"; }
bool ObjcRuntime::registered(uint64_t cls) const { return find(cls) && find(cls)->isRegistered; }
uint64_t ObjcRuntime::instanceSize(uint64_t cls) const { return find(cls) ? find(cls)->instanceSize : 0; }

uint64_t ObjcRuntime::lookup(uint64_t cls, uint64_t sel) const {
  for (const ClassRecord* c = find(cls); c != nullptr; c = find(c->superclass)) {
    auto it = c->methods.find(sel);
    if (it != c->methods.end()) return it->second.imp;
    if (c->superclass == 0) break;
  }
  return 0;
}

uint64_t ObjcRuntime::ownImp(uint64_t cls, uint64_t sel) const {
  const ClassRecord* c = find(cls);
  if (c == nullptr) return 0;
  auto it = c->methods.find(sel);
  return it == c->methods.end() ? 0 : it->second.imp;
}

void ObjcRuntime::setOwnImp(uint64_t cls, uint64_t sel, uint64_t imp, const std::string& types) {
  ClassRecord& c = record(cls);
  auto it = c.methods.find(sel);
  if (it == c.methods.end()) {
    c.methods[sel] = {selectors_.name(sel), imp, types};
    c.methodOrder.push_back(sel);
  } else {
    it->second.imp = imp;
  }
}

bool ObjcRuntime::isKindOf(uint64_t object, uint64_t cls) {
  for (uint64_t c = classOf(object); c != 0; c = superclassOf(c)) {
    if (c == cls) return true;
  }
  return false;
}

std::vector<MethodInfo> ObjcRuntime::methods(uint64_t cls) const {
  std::vector<MethodInfo> out;
  if (const ClassRecord* c = find(cls)) {
    for (uint64_t s : c->methodOrder) out.push_back(c->methods.at(s));
  }
  return out;
}

std::vector<IvarInfo> ObjcRuntime::ivars(uint64_t cls) const { return find(cls) ? find(cls)->ivars : std::vector<IvarInfo>{}; }

std::string ObjcRuntime::describeMethod(uint64_t cls, uint64_t sel) {
  const std::string* name = selectors_.find(sel);
  return std::string(isMetaclass(cls) ? "+[" : "-[") + className(cls) + " " +
         (name == nullptr ? hex(sel) : *name) + "]";
}

// ---- objects ----

uint64_t ObjcRuntime::createInstance(uint64_t cls) {
  uint64_t object = machine_.allocate(record(cls).instanceSize);
  machine_.store<uint64_t>(object, cls);
  objects_[object] = ObjectRecord{};
  return object;
}

void ObjcRuntime::adopt(uint64_t object, int64_t references, bool dies) {
  objects_[object] = ObjectRecord{references, true, dies};
}

bool ObjcRuntime::alive(uint64_t object) const {
  auto it = objects_.find(object);
  return it == objects_.end() || it->second.alive;
}

void ObjcRuntime::checkAlive(uint64_t object, const char* use) {
  if (!alive(object)) machine_.fail(std::string(use) + " of a deallocated object " + hex(object));
}

int64_t ObjcRuntime::references(uint64_t object) const {
  auto it = objects_.find(object);
  return it == objects_.end() ? -1 : it->second.references;
}

void ObjcRuntime::retain(uint64_t object) {
  auto it = objects_.find(object);
  if (it == objects_.end()) return;  // constants and classes are not counted
  checkAlive(object, "retain");
  ++it->second.references;
}

bool ObjcRuntime::release(uint64_t object) {
  auto it = objects_.find(object);
  if (it == objects_.end()) return false;
  checkAlive(object, "release");
  if (--it->second.references < 0) machine_.fail("over-release of " + className(classOf(object)) + " " + hex(object));
  return it->second.references == 0 && it->second.dies;
}

void ObjcRuntime::markDead(uint64_t object) {
  auto it = objects_.find(object);
  if (it != objects_.end()) it->second.alive = false;
}

void ObjcRuntime::drainPool() {
  std::vector<uint64_t> pending;
  pending.swap(pool_);
  for (uint64_t object : pending) {
    if (release(object)) send(object, "dealloc");
  }
}

// ---- messaging ----

Result ObjcRuntime::send(uint64_t receiver, const std::string& selector, const std::vector<uint64_t>& x,
                         const std::vector<double>& d) {
  uint64_t cls = classOf(receiver);
  uint64_t imp = lookup(cls, sel(selector));
  if (imp == 0) throw Error("unrecognized selector sent to instance: " + describeMethod(cls, sel(selector)));
  return callImp(imp, receiver, selector, x, d);
}

Result ObjcRuntime::callImp(uint64_t imp, uint64_t receiver, const std::string& selector,
                            const std::vector<uint64_t>& x, const std::vector<double>& d) {
  std::vector<uint64_t> registers{receiver, sel(selector)};
  registers.insert(registers.end(), x.begin(), x.end());
  uint64_t entry = machine_.authenticateFunction(imp, "the implementation of " + selector);
  Result result = machine_.call(entry, registers, d);
  drainPool();  // the run-loop turn that sent the message ends
  return result;
}

void ObjcRuntime::dispatch(Cpu& cpu, uint64_t receiver, uint64_t startClass) {
  uint64_t selector = cpu.x(1);
  selName(selector);
  checkAlive(receiver, ("message " + selName(selector)).c_str());
  uint64_t imp = lookup(startClass, selector);
  if (imp == 0) {
    machine_.fail("unrecognized selector sent to instance: " + describeMethod(classOf(receiver), selector));
  }
  cpu.setX(0, receiver);
  cpu.jump(machine_.authenticateFunction(imp, "the implementation of " + describeMethod(startClass, selector)));
}

void ObjcRuntime::defineRootClass() {
  defineClass("NSObject", "");
  classMethod("NSObject", "alloc", "@@:", [this](Cpu& cpu) { cpu.setX(0, createInstance(cpu.x(0))); });
  method("NSObject", "init", "@@:", [](Cpu&) {});  // answers self, already in x0
  method("NSObject", "retain", "@@:", [this](Cpu& cpu) { retain(cpu.x(0)); });
  method("NSObject", "autorelease", "@@:", [this](Cpu& cpu) { autorelease(cpu.x(0)); });
  method("NSObject", "release", "v@:", [this](Cpu& cpu) {
    if (!release(cpu.x(0))) return;
    cpu.setX(1, sel("dealloc"));
    uint64_t dealloc = lookup(classOf(cpu.x(0)), sel("dealloc"));
    cpu.jump(machine_.authenticateFunction(dealloc, "the implementation of dealloc"));  // runs, then returns
  });
  method("NSObject", "dealloc", "v@:", [this](Cpu& cpu) { markDead(cpu.x(0)); });
  method("NSObject", "isKindOfClass:", "B@:#", [this](Cpu& cpu) { returnBool(cpu, isKindOf(cpu.x(0), cpu.x(2))); });
  method("NSObject", "class", "#@:", [this](Cpu& cpu) { cpu.setX(0, classOf(cpu.x(0))); });
  // Class objects answer the same root methods through the root metaclass.
}

void ObjcRuntime::exportRuntime(Imports& imports) {
  const std::string& lib = kLibObjc;
  imports.function(lib, "_objc_msgSend", [this](Cpu& cpu) {
    uint64_t receiver = cpu.x(0);
    if (receiver == 0) {  // a message to nil answers zero in every result register
      cpu.setX(0, 0);
      cpu.setX(1, 0);
      for (int i = 0; i < 4; ++i) cpu.setD(i, 0);
      return;
    }
    dispatch(cpu, receiver, classOf(receiver));
  });
  imports.function(lib, "_objc_msgSendSuper", [this](Cpu& cpu) {
    uint64_t super = cpu.x(0);  // struct objc_super { id receiver; Class super_class; }
    uint64_t receiver = machine_.load<uint64_t>(super);
    uint64_t startClass = machine_.load<uint64_t>(super + 8);
    if (receiver == 0) return cpu.setX(0, 0);
    if (!isClass(startClass)) machine_.fail("objc_msgSendSuper with a super_class that is not a class");
    dispatch(cpu, receiver, startClass);
  });
  imports.function(lib, "_sel_registerName", [this](Cpu& cpu) { cpu.setX(0, sel(machine_.cString(cpu.x(0)))); });
  imports.function(lib, "_objc_getClass", [this](Cpu& cpu) { cpu.setX(0, getClass(machine_.cString(cpu.x(0)))); });
  imports.function(lib, "_object_getClass", [this](Cpu& cpu) {
    cpu.setX(0, cpu.x(0) == 0 ? 0 : classOf(cpu.x(0)));
  });
  imports.function(lib, "_objc_allocateClassPair", [this](Cpu& cpu) {
    uint64_t super = cpu.x(0);
    std::string name = machine_.cString(cpu.x(1));
    if (super != 0 && (!isClass(super) || isMetaclass(super))) machine_.fail("superclass is not a class");
    if (getClass(name) != 0) return cpu.setX(0, 0);  // the name is taken
    for (const auto& [address, c] : classes_) {
      if (!c.meta && c.name == name) return cpu.setX(0, 0);  // allocated and not yet registered
    }
    cpu.setX(0, newClassPair(super, name));
  });
  imports.function(lib, "_class_addIvar", [this](Cpu& cpu) {
    ClassRecord& c = record(cpu.x(0));
    std::string name = machine_.cString(cpu.x(1));
    uint64_t size = cpu.x(2);
    uint64_t alignment = uint64_t{1} << static_cast<uint8_t>(cpu.x(3));
    std::string types = machine_.cString(cpu.x(4));
    if (c.meta || c.isRegistered) return returnBool(cpu, false);
    for (const IvarInfo& ivar : c.ivars) {
      if (ivar.name == name) return returnBool(cpu, false);
    }
    uint64_t offset = (c.instanceSize + alignment - 1) & ~(alignment - 1);
    c.ivars.push_back({name, types, offset, size, machine_.allocateString(name)});
    c.instanceSize = offset + size;
    returnBool(cpu, true);
  });
  imports.function(lib, "_class_addMethod", [this](Cpu& cpu) {
    uint64_t cls = cpu.x(0);
    uint64_t selector = cpu.x(1);
    selName(selector);
    if (ownImp(cls, selector) != 0) return returnBool(cpu, false);
    // The runtime authenticates the IMP as a C function pointer when it stores it in a method list.
    machine_.authenticateFunction(cpu.x(2), "the implementation of " + describeMethod(cls, selector) +
                                                " handed to class_addMethod");
    setOwnImp(cls, selector, cpu.x(2), machine_.cString(cpu.x(3)));
    returnBool(cpu, true);
  });
  imports.function(lib, "_objc_registerClassPair", [this](Cpu& cpu) {
    ClassRecord& c = record(cpu.x(0));
    c.isRegistered = true;
    classesByName_[c.name] = cpu.x(0);
  });
  imports.function(lib, "_class_getInstanceVariable", [this](Cpu& cpu) {
    std::string name = machine_.cString(cpu.x(1));
    for (const ClassRecord* c = find(cpu.x(0)); c != nullptr; c = find(c->superclass)) {
      for (const IvarInfo& ivar : c->ivars) {
        if (ivar.name == name) return cpu.setX(0, ivar.handle);
      }
      if (c->superclass == 0) break;
    }
    cpu.setX(0, 0);
  });
  imports.function(lib, "_ivar_getOffset", [this](Cpu& cpu) {
    for (const auto& [address, c] : classes_) {
      for (const IvarInfo& ivar : c.ivars) {
        if (ivar.handle == cpu.x(0)) return cpu.setX(0, ivar.offset);
      }
    }
    machine_.fail("ivar_getOffset of something that is not an Ivar");
  });
  // A Method is a token, one per class and selector it was asked for; nothing reads through it.
  auto methods = std::make_shared<std::map<std::pair<uint64_t, uint64_t>, uint64_t>>();
  imports.function(lib, "_class_getInstanceMethod", [this, methods](Cpu& cpu) {
    uint64_t cls = cpu.x(0), selector = cpu.x(1);
    if (cls == 0 || selector == 0 || lookup(cls, selector) == 0) return cpu.setX(0, 0);
    uint64_t& token = (*methods)[{cls, selector}];
    if (token == 0) token = machine_.allocate(16);
    cpu.setX(0, token);
  });
}

}  // namespace emu
