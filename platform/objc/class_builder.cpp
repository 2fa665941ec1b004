// Defining Objective-C classes from C++, and the ivar and selector helpers stand-ins use.
#include "host/objc.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <string>
#include <unordered_map>

namespace host {
namespace {

[[noreturn]] void fail(const char* what, const char* name) {
  std::fprintf(stderr, "host objc: %s: %s\n", what, name);
  std::abort();
}

// "_name" for a getter "name" or a setter "setName:".
std::string ivarNameForAccessor(const char* selector) {
  std::string s = selector;
  if (s.size() > 4 && s.compare(0, 3, "set") == 0 && s.back() == ':') {
    s = s.substr(3, s.size() - 4);
    s[0] = static_cast<char>(std::tolower(static_cast<unsigned char>(s[0])));
  }
  return "_" + s;
}

id& propertySlot(id self, SEL cmd) {
  static std::mutex mutex;
  static auto* offsets = new std::unordered_map<std::string, ptrdiff_t>;
  Class cls = object_getClass(self);
  std::string key = std::string(class_getName(cls)) + "/" + sel_getName(cmd);
  ptrdiff_t offset;
  {
    std::lock_guard lock(mutex);
    auto it = offsets->find(key);
    if (it == offsets->end()) it = offsets->emplace(key, ivarOffset(cls, ivarNameForAccessor(sel_getName(cmd)).c_str())).first;
    offset = it->second;
  }
  return *reinterpret_cast<id*>(reinterpret_cast<char*>(self) + offset);
}

id propertyGet(id self, SEL cmd) { return propertySlot(self, cmd); }
void propertySetStrong(id self, SEL cmd, id value) { assignStrong(propertySlot(self, cmd), value); }
void propertySetAssign(id self, SEL cmd, id value) { propertySlot(self, cmd) = value; }

std::string setterName(const char* property) {
  std::string s = "set";
  s += static_cast<char>(std::toupper(static_cast<unsigned char>(property[0])));
  s += property + 1;
  s += ':';
  return s;
}

}  // namespace

ClassBuilder::ClassBuilder(const char* name, const char* superclassName)
    : ClassBuilder(name, objc_getClass(superclassName) ? objc_getClass(superclassName)
                                                       : (fail("missing superclass", superclassName), Nil)) {}

ClassBuilder::ClassBuilder(const char* name, Class superclass) {
  if (superclass == Nil) fail("missing superclass for", name);
  if (objc_getClass(name) != Nil) fail("class already defined", name);
  cls_ = objc_allocateClassPair(superclass, name, 0);
  if (cls_ == Nil) fail("cannot allocate class", name);
}

ClassBuilder& ClassBuilder::ivar(const char* name, size_t size, size_t alignment, const char* type) {
  unsigned char log2 = 0;
  while ((size_t{1} << log2) < alignment) ++log2;
  if (!class_addIvar(cls_, name, size, log2, type)) fail("cannot add ivar", name);
  return *this;
}

ClassBuilder& ClassBuilder::strongProperty(const char* name) {
  std::string ivarName = std::string("_") + name;
  ivar(ivarName.c_str(), sizeof(id), alignof(id), "@");
  method(name, &propertyGet);
  method(setterName(name).c_str(), &propertySetStrong);
  strongIvars_.push_back(ivarName);
  return *this;
}

ClassBuilder& ClassBuilder::assignProperty(const char* name) {
  std::string ivarName = std::string("_") + name;
  ivar(ivarName.c_str(), sizeof(id), alignof(id), "@");
  method(name, &propertyGet);
  method(setterName(name).c_str(), &propertySetAssign);
  return *this;
}

ClassBuilder& ClassBuilder::addMethod(bool onMetaclass, const char* selector, IMP imp, const char* types) {
  Class target = onMetaclass ? object_getClass(reinterpret_cast<id>(cls_)) : cls_;
  if (!class_addMethod(target, sel_registerName(selector), imp, types)) fail("cannot add method", selector);
  return *this;
}

Class ClassBuilder::registerClass() {
  if (!registered_) {
    objc_registerClassPair(cls_);
    registered_ = true;
    for (const std::string& name : strongIvars_) releaseIvarAtDealloc(cls_, name.c_str());
  }
  return cls_;
}

ptrdiff_t ivarOffset(Class cls, const char* name) {
  for (Class c = cls; c != Nil; c = class_getSuperclass(c)) {
    if (Ivar v = class_getInstanceVariable(c, name)) return ivar_getOffset(v);
  }
  fail("no such ivar", name);
}

SEL sel(const char* name) { return sel_registerName(name); }

Class requireClass(const char* name) {
  Class cls = objc_getClass(name);
  if (cls == Nil) fail("class not defined", name);
  return cls;
}

}  // namespace host
