// The root class NSObject: allocation, manual reference counting and introspection.
#include "host/objc.h"

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <mutex>
#include <unordered_map>
#include <vector>

namespace host {
namespace {

std::atomic<long> liveObjects{0};
ptrdiff_t refsOffset = 0;  // offset of the extra-retain counter in every object

long& extraRetains(id self) { return *reinterpret_cast<long*>(reinterpret_cast<char*>(self) + refsOffset); }

void (*deallocObserver)(id, void*) = nullptr;
void* deallocObserverContext = nullptr;

std::mutex strongMutex;
std::unordered_map<Class, std::vector<ptrdiff_t>>& strongIvars() {
  static auto* table = new std::unordered_map<Class, std::vector<ptrdiff_t>>;
  return *table;
}

// ---- class methods ----

id allocObject(id cls, SEL) {
  id object = class_createInstance(reinterpret_cast<Class>(cls), 0);
  liveObjects.fetch_add(1, std::memory_order_relaxed);
  return object;
}
id newObject(id cls, SEL) { return send(allocObject(cls, nullptr), "init"); }
id classSelf(id cls, SEL) { return cls; }
id classSuperclass(id cls, SEL) { return reinterpret_cast<id>(class_getSuperclass(reinterpret_cast<Class>(cls))); }
BOOL instancesRespond(id cls, SEL, SEL query) {
  return class_respondsToSelector(reinterpret_cast<Class>(cls), query);
}
BOOL isSubclassOf(id cls, SEL, Class other) {
  for (Class c = reinterpret_cast<Class>(cls); c != Nil; c = class_getSuperclass(c))
    if (c == other) return YES;
  return NO;
}
id classRetain(id cls, SEL) { return cls; }
void classRelease(id, SEL) {}

// ---- instance methods ----

id initObject(id self, SEL) { return self; }
id retainObject(id self, SEL) {
  __atomic_fetch_add(&extraRetains(self), 1, __ATOMIC_RELAXED);
  return self;
}
void releaseObject(id self, SEL) {
  if (__atomic_fetch_sub(&extraRetains(self), 1, __ATOMIC_ACQ_REL) == 0) send<void>(self, "dealloc");
}
id autoreleaseObject(id self, SEL) { return host::autorelease(self); }
unsigned long retainCountOf(id self, SEL) { return static_cast<unsigned long>(extraRetains(self)) + 1; }
void deallocObject(id self, SEL) {
  if (deallocObserver != nullptr) deallocObserver(self, deallocObserverContext);
  std::vector<ptrdiff_t> toRelease;
  {
    std::lock_guard lock(strongMutex);
    for (Class c = object_getClass(self); c != Nil; c = class_getSuperclass(c)) {
      auto it = strongIvars().find(c);
      if (it != strongIvars().end()) toRelease.insert(toRelease.end(), it->second.begin(), it->second.end());
    }
  }
  for (ptrdiff_t offset : toRelease) {
    id& slot = *reinterpret_cast<id*>(reinterpret_cast<char*>(self) + offset);
    id held = slot;
    slot = nullptr;
    host::release(held);
  }
  object_dispose(self);
  liveObjects.fetch_sub(1, std::memory_order_relaxed);
}
id objectClass(id self, SEL) { return reinterpret_cast<id>(object_getClass(self)); }
id objectSelf(id self, SEL) { return self; }
BOOL isKindOfClass(id self, SEL, Class cls) { return isKindOf(self, cls) ? YES : NO; }
BOOL isMemberOfClass(id self, SEL, Class cls) { return object_getClass(self) == cls ? YES : NO; }
BOOL respondsTo(id self, SEL, SEL query) { return class_respondsToSelector(object_getClass(self), query); }
unsigned long hashOf(id self, SEL) { return reinterpret_cast<uintptr_t>(self) >> 4; }
BOOL isEqualTo(id self, SEL, id other) { return self == other ? YES : NO; }

void addInstance(Class cls, const char* name, IMP imp, const char* types) {
  class_addMethod(cls, sel_registerName(name), imp, types);
}

__attribute__((constructor(101))) void defineNSObject() {
  if (objc_getClass("NSObject") != Nil) {
    std::fprintf(stderr, "host objc: NSObject is already defined\n");
    std::abort();
  }
  Class cls = objc_allocateClassPair(Nil, "NSObject", 0);
  // A root class starts with no ivars: isa must be declared or the first ivar would overwrite it.
  class_addIvar(cls, "isa", sizeof(Class), 3, "#");
  class_addIvar(cls, "_hostExtraRetains", sizeof(long), 3, "q");
  Class meta = object_getClass(reinterpret_cast<id>(cls));
  class_addMethod(meta, sel_registerName("alloc"), reinterpret_cast<IMP>(allocObject), "@@:");
  class_addMethod(meta, sel_registerName("new"), reinterpret_cast<IMP>(newObject), "@@:");
  class_addMethod(meta, sel_registerName("class"), reinterpret_cast<IMP>(classSelf), "#@:");
  class_addMethod(meta, sel_registerName("superclass"), reinterpret_cast<IMP>(classSuperclass), "#@:");
  class_addMethod(meta, sel_registerName("instancesRespondToSelector:"), reinterpret_cast<IMP>(instancesRespond), "C@::");
  class_addMethod(meta, sel_registerName("isSubclassOfClass:"), reinterpret_cast<IMP>(isSubclassOf), "C@:#");
  class_addMethod(meta, sel_registerName("retain"), reinterpret_cast<IMP>(classRetain), "@@:");
  class_addMethod(meta, sel_registerName("release"), reinterpret_cast<IMP>(classRelease), "v@:");
  class_addMethod(meta, sel_registerName("autorelease"), reinterpret_cast<IMP>(classRetain), "@@:");
  addInstance(cls, "init", reinterpret_cast<IMP>(initObject), "@@:");
  addInstance(cls, "retain", reinterpret_cast<IMP>(retainObject), "@@:");
  addInstance(cls, "release", reinterpret_cast<IMP>(releaseObject), "v@:");
  addInstance(cls, "autorelease", reinterpret_cast<IMP>(autoreleaseObject), "@@:");
  addInstance(cls, "retainCount", reinterpret_cast<IMP>(retainCountOf), "Q@:");
  addInstance(cls, "dealloc", reinterpret_cast<IMP>(deallocObject), "v@:");
  addInstance(cls, "class", reinterpret_cast<IMP>(objectClass), "#@:");
  addInstance(cls, "self", reinterpret_cast<IMP>(objectSelf), "@@:");
  addInstance(cls, "isKindOfClass:", reinterpret_cast<IMP>(isKindOfClass), "C@:#");
  addInstance(cls, "isMemberOfClass:", reinterpret_cast<IMP>(isMemberOfClass), "C@:#");
  addInstance(cls, "respondsToSelector:", reinterpret_cast<IMP>(respondsTo), "C@::");
  addInstance(cls, "hash", reinterpret_cast<IMP>(hashOf), "Q@:");
  addInstance(cls, "isEqual:", reinterpret_cast<IMP>(isEqualTo), "C@:@");
  objc_registerClassPair(cls);
  refsOffset = ivar_getOffset(class_getInstanceVariable(cls, "_hostExtraRetains"));
}

}  // namespace

void releaseIvarAtDealloc(Class cls, const char* ivarName) {
  ptrdiff_t offset = ivarOffset(cls, ivarName);
  std::lock_guard lock(strongMutex);
  strongIvars()[cls].push_back(offset);
}

id retain(id object) { return send(object, "retain"); }
void release(id object) { send<void>(object, "release"); }
unsigned long retainCount(id object) { return send<unsigned long>(object, "retainCount"); }

void assignStrong(id& slot, id value) {
  if (slot == value) return;
  retain(value);
  id old = slot;
  slot = value;
  release(old);
}

void setDeallocObserver(void (*observer)(id, void*), void* context) {
  deallocObserver = observer;
  deallocObserverContext = context;
}

long liveObjectCount() { return liveObjects.load(); }

bool isKindOf(id object, Class cls) {
  if (object == nullptr || cls == Nil) return false;
  for (Class c = object_getClass(object); c != Nil; c = class_getSuperclass(c))
    if (c == cls) return true;
  return false;
}

}  // namespace host
