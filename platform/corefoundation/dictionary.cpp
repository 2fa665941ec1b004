// NSDictionary / NSMutableDictionary / CFDictionary. Entries keep their insertion order; lookups go
// through a hash index (cf_internal.h).
#include "cf_internal.h"

namespace cf {
namespace {

Class classOf(id cls) { return reinterpret_cast<Class>(cls); }
bool mutableClass(Class c) {
  for (; c != Nil; c = class_getSuperclass(c))
    if (c == classes().mutableDictionary) return true;
  return false;
}

DictionaryBox* emptyBox(const CFDictionaryKeyCallBacks* keys, const CFDictionaryValueCallBacks* values) {
  auto* box = new DictionaryBox;
  if (keys) box->keyCallbacks = *keys;
  if (values) box->valueCallbacks = *values;
  return box;
}
DictionaryBox* typeBox() { return emptyBox(&kCFTypeDictionaryKeyCallBacks, &kCFTypeDictionaryValueCallBacks); }

DictionaryBox& mutableOf(id dict, const char* what) {
  if (!host::isKindOf(dict, classes().mutableDictionary)) fatal("%s: mutating method sent to immutable object", what);
  return dictionaryOf(dict);
}

id copyOf(id source, Class cls) {
  const DictionaryBox& from = dictionaryOf(source);
  DictionaryBox* box = emptyBox(&from.keyCallbacks, &from.valueCallbacks);
  for (const auto& e : from.entries) box->set(e.key, e.value);
  return newObject(cls, box);
}

// ---- class methods ----
id dictionaryEmpty(id cls, SEL) { return host::autorelease(newObject(classOf(cls), typeBox())); }
id dictionaryWithCapacity(id cls, SEL, unsigned long) { return dictionaryEmpty(cls, nullptr); }
id dictionaryWithObjectsForKeys(id cls, SEL, const id* objects, const id* keys, unsigned long count) {
  DictionaryBox* box = typeBox();
  for (unsigned long i = 0; i < count; ++i) {
    if (objects[i] == nullptr || keys[i] == nullptr) fatal("+[NSDictionary dictionaryWithObjects:forKeys:count:]: nil");
    id key = host::send(keys[i], "copy");
    box->set(key, objects[i]);
    host::release(key);
  }
  return host::autorelease(newObject(classOf(cls), box));
}
id dictionaryWithObjectForKey(id cls, SEL, id object, id key) {
  return dictionaryWithObjectsForKeys(cls, nullptr, &object, &key, 1);
}
id dictionaryWithDictionary(id cls, SEL, id other) {
  if (other == nullptr) return dictionaryEmpty(cls, nullptr);
  return host::autorelease(copyOf(other, classOf(cls)));
}
// A dictionary read from a property-list file (XML or binary), or nil when the file is missing,
// unreadable, not a property list, or its root is not a dictionary.
id dictionaryWithContentsOfFile(id cls, SEL, id path) {
  if (path == nullptr) return nullptr;
  id list = readPropertyListFileOf(text(path), Family::Dictionary);
  if (list == nullptr) return nullptr;
  if (!mutableClass(classOf(cls))) return host::autorelease(list);
  id result = copyOf(list, classOf(cls));
  host::release(list);
  return host::autorelease(result);
}

// ---- instance methods ----
id initEmpty(id self, SEL) {
  setBox(self, typeBox());
  return self;
}
id initWithDictionary(id self, SEL, id other) {
  DictionaryBox* box = typeBox();
  if (other != nullptr)
    for (const auto& e : dictionaryOf(other).entries) box->set(e.key, e.value);
  setBox(self, box);
  return self;
}
id initWithContentsOfFile(id self, SEL, id path) {
  id list = path ? readPropertyListFileOf(text(path), Family::Dictionary) : nullptr;
  if (list == nullptr) {
    host::release(self);
    return nullptr;
  }
  initWithDictionary(self, nullptr, list);
  host::release(list);
  return self;
}
unsigned long count(id self, SEL) { return dictionaryOf(self).entries.size(); }
id objectForKey(id self, SEL, id key) {
  if (key == nullptr) return nullptr;
  const DictionaryBox& d = dictionaryOf(self);
  long i = d.find(key);
  return i < 0 ? nullptr : toId(d.entries[static_cast<size_t>(i)].value);
}
id allKeys(id self, SEL) {
  std::vector<id> keys;
  for (const auto& e : dictionaryOf(self).entries) keys.push_back(toId(e.key));
  return host::autorelease(newArray(keys, false));
}
id allValues(id self, SEL) {
  std::vector<id> values;
  for (const auto& e : dictionaryOf(self).entries) values.push_back(toId(e.value));
  return host::autorelease(newArray(values, false));
}
BOOL isEqualToDictionary(id self, SEL, id other) {
  if (familyOf(other) != Family::Dictionary) return NO;
  const DictionaryBox& a = dictionaryOf(self);
  const DictionaryBox& b = dictionaryOf(other);
  if (a.entries.size() != b.entries.size()) return NO;
  for (const auto& e : a.entries) {
    long j = b.find(e.key);
    if (j < 0) return NO;
    const void* v = b.entries[static_cast<size_t>(j)].value;
    if (v != e.value && !(a.valueCallbacks.equal && a.valueCallbacks.equal(e.value, v))) return NO;
  }
  return YES;
}
unsigned long hashOf(id self, SEL) { return dictionaryOf(self).entries.size(); }
id description(id self, SEL) { return autoreleasedString(describe(self)); }
id copyDictionary(id self, SEL) {
  if (!isMutable(self)) return host::retain(self);
  return copyOf(self, classes().dictionary);
}
id mutableCopyDictionary(id self, SEL) { return copyOf(self, classes().mutableDictionary); }
BOOL writeToFile(id self, SEL, id path, BOOL) {
  std::string bytes;
  if (path == nullptr || !serializePropertyList(self, false, bytes)) return NO;
  return writeFileAtomically(text(path), bytes) ? YES : NO;
}

// ---- mutable ----
void setObjectForKey(id self, SEL, id object, id key) {
  DictionaryBox& d = mutableOf(self, "-[NSMutableDictionary setObject:forKey:]");
  if (object == nullptr) fatal("-[NSMutableDictionary setObject:forKey:]: object cannot be nil (key: %s)", describe(key).c_str());
  if (key == nullptr) fatal("-[NSMutableDictionary setObject:forKey:]: key cannot be nil");
  id copied = host::send(key, "copy");
  d.set(copied, object);
  host::release(copied);
}
void removeObjectForKey(id self, SEL, id key) {
  DictionaryBox& d = mutableOf(self, "-[NSMutableDictionary removeObjectForKey:]");
  if (key == nullptr) fatal("-[NSMutableDictionary removeObjectForKey:]: key cannot be nil");
  d.remove(key);
}
// setObject:forKeyedSubscript: and setValue:forKey: remove the key for a nil object.
void setOrRemove(id self, SEL, id object, id key) {
  if (object == nullptr) removeObjectForKey(self, nullptr, key);
  else setObjectForKey(self, nullptr, object, key);
}
void removeAllObjects(id self, SEL) {
  mutableOf(self, "-[NSMutableDictionary removeAllObjects]").removeAll();
}
void addEntriesFromDictionary(id self, SEL, id other) {
  DictionaryBox& d = mutableOf(self, "-[NSMutableDictionary addEntriesFromDictionary:]");
  if (other == nullptr || other == self) return;
  for (const auto& e : dictionaryOf(other).entries) d.set(e.key, e.value);
}

}  // namespace

DictionaryBox::~DictionaryBox() {
  for (const auto& e : entries) {
    if (keyCallbacks.release) keyCallbacks.release(nullptr, e.key);
    if (valueCallbacks.release) valueCallbacks.release(nullptr, e.value);
  }
}

namespace {

// Dictionaries this small are searched in order; larger ones get the hash index.
constexpr size_t kLinearLimit = 8;

// Spreads the bits of a hash code (pointers and small numbers hash to themselves).
size_t mix(CFHashCode h) {
  uint64_t x = static_cast<uint64_t>(h);
  x ^= x >> 33;
  x *= 0xff51afd7ed558ccdULL;
  x ^= x >> 33;
  x *= 0xc4ceb9fe1a85ec53ULL;
  x ^= x >> 33;
  return static_cast<size_t>(x);
}

}  // namespace

CFHashCode DictionaryBox::hashOf(const void* key) const {
  return keyCallbacks.hash ? keyCallbacks.hash(key) : reinterpret_cast<CFHashCode>(key);
}

bool DictionaryBox::matches(const Entry& e, const void* key, CFHashCode hash) const {
  return e.key == key || (e.hash == hash && keyCallbacks.equal && keyCallbacks.equal(e.key, key));
}

long DictionaryBox::find(const void* key) const {
  CFHashCode h = hashOf(key);
  if (slots_.empty()) {
    for (size_t i = 0; i < entries.size(); ++i)
      if (matches(entries[i], key, h)) return static_cast<long>(i);
    return -1;
  }
  const size_t mask = slots_.size() - 1;
  for (size_t s = mix(h) & mask; slots_[s] != 0; s = (s + 1) & mask) {
    size_t i = slots_[s] - 1;
    if (matches(entries[i], key, h)) return static_cast<long>(i);
  }
  return -1;
}

void DictionaryBox::index(size_t entry) {
  const size_t mask = slots_.size() - 1;
  size_t s = mix(entries[entry].hash) & mask;
  while (slots_[s] != 0) s = (s + 1) & mask;
  slots_[s] = static_cast<uint32_t>(entry + 1);
}

// Rebuilds the index for the current entries: at most half full, or none while the dictionary is small.
void DictionaryBox::reindex() {
  slots_.clear();
  if (entries.size() <= kLinearLimit) return;
  size_t capacity = 16;
  while (capacity < entries.size() * 2) capacity *= 2;
  slots_.assign(capacity, 0);
  for (size_t i = 0; i < entries.size(); ++i) index(i);
}

void DictionaryBox::set(const void* key, const void* value) {
  const void* newValue = valueCallbacks.retain ? valueCallbacks.retain(nullptr, value) : value;
  long i = find(key);
  if (i >= 0) {
    const void* old = entries[static_cast<size_t>(i)].value;
    entries[static_cast<size_t>(i)].value = newValue;
    if (valueCallbacks.release) valueCallbacks.release(nullptr, old);
    return;
  }
  const void* newKey = keyCallbacks.retain ? keyCallbacks.retain(nullptr, key) : key;
  entries.push_back({newKey, newValue, hashOf(newKey)});
  if (entries.size() * 2 > slots_.size()) reindex();
  else index(entries.size() - 1);
}

void DictionaryBox::remove(const void* key) {
  long i = find(key);
  if (i < 0) return;
  Entry e = entries[static_cast<size_t>(i)];
  entries.erase(entries.begin() + i);
  reindex();
  if (keyCallbacks.release) keyCallbacks.release(nullptr, e.key);
  if (valueCallbacks.release) valueCallbacks.release(nullptr, e.value);
}

void DictionaryBox::removeAll() {
  std::vector<Entry> removed;
  removed.swap(entries);
  slots_.clear();
  for (const Entry& e : removed) {
    if (keyCallbacks.release) keyCallbacks.release(nullptr, e.key);
    if (valueCallbacks.release) valueCallbacks.release(nullptr, e.value);
  }
}

void defineDictionaryClasses(Classes& c) {
  c.dictionary = host::ClassBuilder("NSDictionary", c.object)
                     .ivar("_cfBox", sizeof(void*), alignof(void*), "^v")
                     .classMethod("dictionary", &dictionaryEmpty)
                     .classMethod("dictionaryWithObject:forKey:", &dictionaryWithObjectForKey)
                     .classMethod("dictionaryWithObjects:forKeys:count:", &dictionaryWithObjectsForKeys)
                     .classMethod("dictionaryWithDictionary:", &dictionaryWithDictionary)
                     .classMethod("dictionaryWithContentsOfFile:", &dictionaryWithContentsOfFile)
                     .method("init", &initEmpty)
                     .method("initWithDictionary:", &initWithDictionary)
                     .method("initWithContentsOfFile:", &initWithContentsOfFile)
                     .method("count", &count)
                     .method("objectForKey:", &objectForKey)
                     .method("objectForKeyedSubscript:", &objectForKey)
                     .method("valueForKey:", &objectForKey)
                     .method("allKeys", &allKeys)
                     .method("allValues", &allValues)
                     .method("isEqual:", &isEqualToDictionary)
                     .method("isEqualToDictionary:", &isEqualToDictionary)
                     .method("hash", &hashOf)
                     .method("description", &description)
                     .method("copy", &copyDictionary)
                     .method("mutableCopy", &mutableCopyDictionary)
                     .method("writeToFile:atomically:", &writeToFile)
                     .registerClass();
  addFamilyBasics(c.dictionary);
  c.mutableDictionary = host::ClassBuilder("NSMutableDictionary", c.dictionary)
                            .classMethod("dictionaryWithCapacity:", &dictionaryWithCapacity)
                            .method("setObject:forKey:", &setObjectForKey)
                            .method("setObject:forKeyedSubscript:", &setOrRemove)
                            .method("setValue:forKey:", &setOrRemove)
                            .method("removeObjectForKey:", &removeObjectForKey)
                            .method("removeAllObjects", &removeAllObjects)
                            .method("addEntriesFromDictionary:", &addEntriesFromDictionary)
                            .registerClass();
}

DictionaryBox& dictionaryOf(id dictionary) {
  if (familyOf(dictionary) != Family::Dictionary)
    fatal("-[%s objectForKey:]: not a dictionary", dictionary ? object_getClassName(dictionary) : "nil");
  DictionaryBox* box = boxOf<DictionaryBox>(dictionary);
  if (box == nullptr) {
    box = typeBox();
    boxSlot(dictionary) = box;
  }
  return *box;
}

id newDictionary(bool isMutable) {
  return newObject(isMutable ? classes().mutableDictionary : classes().dictionary, typeBox());
}

}  // namespace cf

using namespace cf;

namespace {

DictionaryBox& checked(CFDictionaryRef dict) { return dictionaryOf(toId(dict)); }
DictionaryBox& checkedMutable(CFMutableDictionaryRef dict, const char* what) {
  if (!host::isKindOf(toId(dict), classes().mutableDictionary)) fatal("%s: the dictionary is immutable", what);
  return dictionaryOf(toId(dict));
}

}  // namespace

CFTypeID CFDictionaryGetTypeID(void) { return 18; }

CFDictionaryRef CFDictionaryCreate(CFAllocatorRef, const void** keys, const void** values, CFIndex numValues,
                                   const CFDictionaryKeyCallBacks* keyCallBacks,
                                   const CFDictionaryValueCallBacks* valueCallBacks) {
  DictionaryBox* box = emptyBox(keyCallBacks, valueCallBacks);
  for (CFIndex i = 0; i < numValues; ++i) box->set(keys[i], values[i]);
  return toCF<CFDictionaryRef>(newObject(classes().dictionary, box));
}

CFDictionaryRef CFDictionaryCreateCopy(CFAllocatorRef, CFDictionaryRef theDict) {
  return toCF<CFDictionaryRef>(host::send(toId(theDict), "copy"));
}

CFMutableDictionaryRef CFDictionaryCreateMutable(CFAllocatorRef, CFIndex, const CFDictionaryKeyCallBacks* keyCallBacks,
                                                 const CFDictionaryValueCallBacks* valueCallBacks) {
  return toCF<CFMutableDictionaryRef>(newObject(classes().mutableDictionary, emptyBox(keyCallBacks, valueCallBacks)));
}

CFMutableDictionaryRef CFDictionaryCreateMutableCopy(CFAllocatorRef, CFIndex, CFDictionaryRef theDict) {
  return toCF<CFMutableDictionaryRef>(host::send(toId(theDict), "mutableCopy"));
}

CFIndex CFDictionaryGetCount(CFDictionaryRef theDict) { return static_cast<CFIndex>(checked(theDict).entries.size()); }

CFIndex CFDictionaryGetCountOfKey(CFDictionaryRef theDict, const void* key) {
  return checked(theDict).find(key) >= 0 ? 1 : 0;
}

CFIndex CFDictionaryGetCountOfValue(CFDictionaryRef theDict, const void* value) {
  const DictionaryBox& d = checked(theDict);
  CFIndex n = 0;
  for (const auto& e : d.entries)
    if (e.value == value || (d.valueCallbacks.equal && value && d.valueCallbacks.equal(e.value, value))) ++n;
  return n;
}

Boolean CFDictionaryContainsKey(CFDictionaryRef theDict, const void* key) { return checked(theDict).find(key) >= 0; }
Boolean CFDictionaryContainsValue(CFDictionaryRef theDict, const void* value) {
  return CFDictionaryGetCountOfValue(theDict, value) > 0;
}

const void* CFDictionaryGetValue(CFDictionaryRef theDict, const void* key) {
  const DictionaryBox& d = checked(theDict);
  long i = d.find(key);
  return i < 0 ? nullptr : d.entries[static_cast<size_t>(i)].value;
}

Boolean CFDictionaryGetValueIfPresent(CFDictionaryRef theDict, const void* key, const void** value) {
  const DictionaryBox& d = checked(theDict);
  long i = d.find(key);
  if (i < 0) return false;
  if (value) *value = d.entries[static_cast<size_t>(i)].value;
  return true;
}

void CFDictionaryGetKeysAndValues(CFDictionaryRef theDict, const void** keys, const void** values) {
  const DictionaryBox& d = checked(theDict);
  for (size_t i = 0; i < d.entries.size(); ++i) {
    if (keys) keys[i] = d.entries[i].key;
    if (values) values[i] = d.entries[i].value;
  }
}

void CFDictionaryApplyFunction(CFDictionaryRef theDict, CFDictionaryApplierFunction applier, void* context) {
  std::vector<DictionaryBox::Entry> entries = checked(theDict).entries;
  for (const auto& e : entries) applier(e.key, e.value, context);
}

void CFDictionaryAddValue(CFMutableDictionaryRef theDict, const void* key, const void* value) {
  DictionaryBox& d = checkedMutable(theDict, "CFDictionaryAddValue");
  if (d.find(key) < 0) d.set(key, value);
}

void CFDictionarySetValue(CFMutableDictionaryRef theDict, const void* key, const void* value) {
  checkedMutable(theDict, "CFDictionarySetValue").set(key, value);
}

void CFDictionaryReplaceValue(CFMutableDictionaryRef theDict, const void* key, const void* value) {
  DictionaryBox& d = checkedMutable(theDict, "CFDictionaryReplaceValue");
  if (d.find(key) >= 0) d.set(key, value);
}

void CFDictionaryRemoveValue(CFMutableDictionaryRef theDict, const void* key) {
  checkedMutable(theDict, "CFDictionaryRemoveValue").remove(key);
}

void CFDictionaryRemoveAllValues(CFMutableDictionaryRef theDict) {
  checkedMutable(theDict, "CFDictionaryRemoveAllValues").removeAll();
}
