// The object model: class registry, boxes, and the polymorphic CF functions (CFRetain, CFGetTypeID...).
#include "cf_internal.h"

#include "host/corefoundation.h"

#include <climits>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>

const CFAllocatorRef kCFAllocatorDefault = nullptr;

namespace cf {

void fatal(const char* format, ...) {
  std::fprintf(stderr, "*** CoreFoundation: ");
  va_list args;
  va_start(args, format);
  std::vfprintf(stderr, format, args);
  va_end(args);
  std::fprintf(stderr, "\n");
  std::fflush(stderr);
  std::abort();
}

namespace {

ptrdiff_t boxOffset = -1;

void familyDealloc(id self, SEL) {
  setBox(self, nullptr);
  host::sendSuper<void>(self, classes().object, "dealloc");
}

id immortalRetain(id self, SEL) { return self; }
void immortalRelease(id, SEL) {}
unsigned long immortalRetainCount(id, SEL) { return ULONG_MAX; }

const Classes& registerAll() {
  static Classes c{};
  c.object = host::requireClass("NSObject");
  defineStringClasses(c);
  boxOffset = host::ivarOffset(c.string, "_cfBox");  // the define functions below may make objects
  defineNumberClasses(c);
  defineArrayClasses(c);
  defineDictionaryClasses(c);
  defineDataClasses(c);
  defineDateClass(c);
  defineURLClass(c);
  defineErrorClass(c);
  defineBundleClass(c);
  defineKeyedArchiveClasses(c);
  for (Class family : {c.number, c.array, c.dictionary, c.data, c.date, c.url, c.error, c.bundle, c.null, c.set, c.uid}) {
    if (host::ivarOffset(family, "_cfBox") != boxOffset) fatal("class layouts differ");
  }
  for (Class cls : {c.string, c.constantString, c.number, c.boolean, c.array, c.mutableArray, c.dictionary,
                    c.mutableDictionary, c.data, c.mutableData, c.date, c.url, c.error, c.bundle, c.null, c.set,
                    c.mutableSet, c.uid}) {
    host::cf::markCompiledClass(cls);
  }
  return c;
}

__attribute__((constructor)) void registerAtLoad() { classes(); }

}  // namespace

const Classes& classes() {
  static const Classes& c = registerAll();
  return c;
}

Box*& boxSlot(id object) {
  if (boxOffset < 0) classes();
  return *reinterpret_cast<Box**>(reinterpret_cast<char*>(object) + boxOffset);
}

void setBox(id object, Box* box) {
  Box*& slot = boxSlot(object);
  Box* old = slot;
  slot = box;
  delete old;
}

void addFamilyBasics(Class familyRoot) {
  class_addMethod(familyRoot, sel_registerName("dealloc"), reinterpret_cast<IMP>(familyDealloc), "v@:");
}

void makeImmortal(Class cls) {
  class_addMethod(cls, sel_registerName("retain"), reinterpret_cast<IMP>(immortalRetain), "@@:");
  class_addMethod(cls, sel_registerName("autorelease"), reinterpret_cast<IMP>(immortalRetain), "@@:");
  class_addMethod(cls, sel_registerName("release"), reinterpret_cast<IMP>(immortalRelease), "v@:");
  class_addMethod(cls, sel_registerName("retainCount"), reinterpret_cast<IMP>(immortalRetainCount), "Q@:");
}

id newObject(Class cls, Box* box) {
  id object = host::send(cls, "alloc");
  boxSlot(object) = box;
  return object;
}

Family familyOf(id object) {
  if (object == nullptr) return Family::None;
  const Classes& c = classes();
  for (Class k = object_getClass(object); k != Nil; k = class_getSuperclass(k)) {
    if (k == c.string) return Family::String;
    if (k == c.boolean) return Family::Boolean;
    if (k == c.number) return Family::Number;
    if (k == c.array) return Family::Array;
    if (k == c.dictionary) return Family::Dictionary;
    if (k == c.data) return Family::Data;
    if (k == c.date) return Family::Date;
    if (k == c.url) return Family::URL;
    if (k == c.error) return Family::Error;
    if (k == c.bundle) return Family::Bundle;
    if (k == c.null) return Family::Null;
    if (k == c.set) return Family::Set;
    if (k == c.uid) return Family::UID;
  }
  return Family::None;
}

bool isMutable(id object) {
  const Classes& c = classes();
  return host::isKindOf(object, c.mutableArray) || host::isKindOf(object, c.mutableDictionary) ||
         host::isKindOf(object, c.mutableData) || host::isKindOf(object, c.mutableSet);
}

}  // namespace cf

using cf::Family;

CFTypeRef CFRetain(CFTypeRef object) {
  if (object == nullptr) cf::fatal("CFRetain() called with NULL");
  host::retain(cf::toId(object));
  return object;
}

void CFRelease(CFTypeRef object) {
  if (object == nullptr) cf::fatal("CFRelease() called with NULL");
  host::release(cf::toId(object));
}

CFTypeRef CFAutorelease(CFTypeRef object) {
  if (object == nullptr) cf::fatal("CFAutorelease() called with NULL");
  host::autorelease(cf::toId(object));
  return object;
}

CFIndex CFGetRetainCount(CFTypeRef object) {
  if (object == nullptr) cf::fatal("CFGetRetainCount() called with NULL");
  unsigned long count = host::retainCount(cf::toId(object));
  return count > static_cast<unsigned long>(LONG_MAX) ? LONG_MAX : static_cast<CFIndex>(count);
}

CFTypeID CFGetTypeID(CFTypeRef object) {
  if (object == nullptr) cf::fatal("CFGetTypeID() called with NULL");
  switch (cf::familyOf(cf::toId(object))) {
    case Family::String: return CFStringGetTypeID();
    case Family::Number: return CFNumberGetTypeID();
    case Family::Boolean: return CFBooleanGetTypeID();
    case Family::Array: return CFArrayGetTypeID();
    case Family::Dictionary: return CFDictionaryGetTypeID();
    case Family::Data: return CFDataGetTypeID();
    case Family::Date: return CFDateGetTypeID();
    case Family::URL: return CFURLGetTypeID();
    case Family::Error: return CFErrorGetTypeID();
    case Family::Null: return CFNullGetTypeID();
    case Family::Set: return CFSetGetTypeID();
    case Family::UID: return 41;  // CFKeyedArchiverUID
    default: return 1;
  }
}

Boolean CFEqual(CFTypeRef a, CFTypeRef b) {
  if (a == nullptr || b == nullptr) cf::fatal("CFEqual() called with NULL");
  if (a == b) return true;
  return host::send<BOOL>(cf::toId(a), "isEqual:", cf::toId(b)) ? true : false;
}

CFHashCode CFHash(CFTypeRef object) {
  if (object == nullptr) cf::fatal("CFHash() called with NULL");
  return host::send<unsigned long>(cf::toId(object), "hash");
}

CFStringRef CFCopyDescription(CFTypeRef object) {
  if (object == nullptr) return nullptr;
  return cf::toCF<CFStringRef>(cf::newString(cf::describe(cf::toId(object))));
}

CFStringRef CFCopyTypeIDDescription(CFTypeID typeID) {
  const char* name = "CFType";
  if (typeID == CFStringGetTypeID()) name = "CFString";
  else if (typeID == CFNumberGetTypeID()) name = "CFNumber";
  else if (typeID == CFBooleanGetTypeID()) name = "CFBoolean";
  else if (typeID == CFArrayGetTypeID()) name = "CFArray";
  else if (typeID == CFDictionaryGetTypeID()) name = "CFDictionary";
  else if (typeID == CFDataGetTypeID()) name = "CFData";
  else if (typeID == CFDateGetTypeID()) name = "CFDate";
  else if (typeID == CFURLGetTypeID()) name = "CFURL";
  else if (typeID == CFErrorGetTypeID()) name = "CFError";
  else if (typeID == CFNullGetTypeID()) name = "CFNull";
  else if (typeID == CFSetGetTypeID()) name = "CFSet";
  else if (typeID == 41) name = "CFKeyedArchiverUID";
  return cf::toCF<CFStringRef>(cf::newString(name));
}
