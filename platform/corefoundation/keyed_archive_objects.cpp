// The objects a binary property list may hold beyond the property-list types, as the device's reader
// gives them to a consumer: kCFNull (NSNull), sets (NSSet), and keyed-archiver UIDs (a private CF type
// whose instances are __NSCFType objects: they answer no NSNumber or NSString message, so a reader that
// checks types never takes one for a number).
#include "cf_internal.h"

#include "host/corefoundation.h"

#include <cstdio>

namespace cf {
namespace {

struct SetBox : Box {
  DictionaryBox members;  // each member is its own key; the value slot is unused
  SetBox() { members.keyCallbacks = kCFTypeDictionaryKeyCallBacks; }
};

struct UIDBox : Box {
  uint32_t value = 0;
};

SetBox& setOf(id set) {
  if (familyOf(set) != Family::Set) fatal("-[%s count]: not a set", set ? object_getClassName(set) : "nil");
  return *boxOf<SetBox>(set);
}

// ---- NSNull ----
id nullSingleton(id, SEL) { return nullObject(); }
id nullDescription(id, SEL) { return autoreleasedString("<null>"); }
unsigned long identityHash(id self, SEL) { return reinterpret_cast<unsigned long>(self); }
BOOL identical(id self, SEL, id other) { return self == other ? YES : NO; }

// ---- NSSet ----
unsigned long setCount(id self, SEL) { return setOf(self).members.entries.size(); }
BOOL setContains(id self, SEL, id object) { return object != nullptr && setOf(self).members.find(object) >= 0 ? YES : NO; }
id setAllObjects(id self, SEL) {
  std::vector<id> items;
  for (const auto& e : setOf(self).members.entries) items.push_back(toId(e.key));
  return host::autorelease(newArray(items, false));
}
BOOL setIsEqual(id self, SEL, id other) {
  if (familyOf(other) != Family::Set) return NO;
  const DictionaryBox& a = setOf(self).members;
  const DictionaryBox& b = setOf(other).members;
  if (a.entries.size() != b.entries.size()) return NO;
  for (const auto& e : a.entries)
    if (b.find(e.key) < 0) return NO;
  return YES;
}
unsigned long setHash(id self, SEL) { return setOf(self).members.entries.size(); }
id setDescription(id self, SEL) { return autoreleasedString(describe(self)); }
id retained(id self, SEL) { return host::retain(self); }

// ---- UIDs ----
// CF's UID type has no equality or hash callback: two UIDs of one value are two keys, two set members.
uint32_t uidValue(id uid) { return boxOf<UIDBox>(uid)->value; }
id uidDescription(id self, SEL) { return autoreleasedString(describe(self)); }

}  // namespace

void defineKeyedArchiveClasses(Classes& c) {
  c.null = host::ClassBuilder("NSNull", c.object)
               .ivar("_cfBox", sizeof(void*), alignof(void*), "^v")
               .classMethod("null", &nullSingleton)
               .method("isEqual:", &identical)
               .method("hash", &identityHash)
               .method("description", &nullDescription)
               .method("copy", &retained)
               .registerClass();
  makeImmortal(c.null);
  c.set = host::ClassBuilder("NSSet", c.object)
              .ivar("_cfBox", sizeof(void*), alignof(void*), "^v")
              .method("count", &setCount)
              .method("containsObject:", &setContains)
              .method("allObjects", &setAllObjects)
              .method("isEqual:", &setIsEqual)
              .method("isEqualToSet:", &setIsEqual)
              .method("hash", &setHash)
              .method("description", &setDescription)
              .method("copy", &retained)
              .registerClass();
  addFamilyBasics(c.set);
  // Sets are only ever made by the property-list reader; the mutable class answers what NSSet does.
  c.mutableSet = host::ClassBuilder("NSMutableSet", c.set).registerClass();
  c.uid = host::ClassBuilder("__NSCFType", c.object)
              .ivar("_cfBox", sizeof(void*), alignof(void*), "^v")
              .method("isEqual:", &identical)
              .method("hash", &identityHash)
              .method("description", &uidDescription)
              .method("copy", &retained)
              .registerClass();
  addFamilyBasics(c.uid);
}

id nullObject() {
  static id null = newObject(classes().null, nullptr);
  return null;
}

id newSet(const std::vector<id>& members, bool isMutable) {
  auto* box = new SetBox;
  for (id member : members)
    if (box->members.find(member) < 0) box->members.set(member, nullptr);
  return newObject(isMutable ? classes().mutableSet : classes().set, box);
}

std::vector<id> setMembers(id set) {
  std::vector<id> out;
  for (const auto& e : setOf(set).members.entries) out.push_back(toId(e.key));
  return out;
}

id newUID(uint32_t value) {
  auto* box = new UIDBox;
  box->value = value;
  return newObject(classes().uid, box);
}

uint32_t uidOf(id uid) {
  if (familyOf(uid) != Family::UID) fatal("_CFKeyedArchiverUIDGetValue: not a keyed-archiver UID");
  return uidValue(uid);
}

}  // namespace cf

using namespace cf;

const CFNullRef kCFNull = toCF<CFNullRef>(nullObject());
CFTypeID CFNullGetTypeID(void) { return 16; }

CFTypeID CFSetGetTypeID(void) { return 17; }
CFIndex CFSetGetCount(CFSetRef theSet) { return static_cast<CFIndex>(setOf(toId(theSet)).members.entries.size()); }
Boolean CFSetContainsValue(CFSetRef theSet, const void* value) {
  return value != nullptr && setOf(toId(theSet)).members.find(value) >= 0;
}
void CFSetGetValues(CFSetRef theSet, const void** values) {
  size_t i = 0;
  for (const auto& e : setOf(toId(theSet)).members.entries) values[i++] = e.key;
}

extern "C" {
CFTypeID _CFKeyedArchiverUIDGetTypeID(void) { return 41; }
uint32_t _CFKeyedArchiverUIDGetValue(CFTypeRef uid) { return uidOf(toId(uid)); }
CFTypeRef _CFKeyedArchiverUIDCreate(CFAllocatorRef, uint32_t value) { return toCF<CFTypeRef>(newUID(value)); }
}
