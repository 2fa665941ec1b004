// NSArray / NSMutableArray / CFArray.
#include "cf_internal.h"

#include <climits>
#include <cstdio>
#include <cstdlib>

namespace cf {
namespace {

constexpr long kNotFound = LONG_MAX;  // NSNotFound

const void* retainValue(const ArrayBox& a, const void* v) {
  return a.callbacks.retain ? a.callbacks.retain(nullptr, v) : v;
}
bool valuesEqual(const ArrayBox& a, const void* x, const void* y) {
  if (x == y) return true;
  return a.callbacks.equal && x && y && a.callbacks.equal(x, y);
}

ArrayBox* emptyBox(const CFArrayCallBacks* callbacks) {
  auto* box = new ArrayBox;
  if (callbacks) box->callbacks = *callbacks;
  return box;
}

Class classOf(id cls) { return reinterpret_cast<Class>(cls); }
bool mutableClass(Class c) {
  for (; c != Nil; c = class_getSuperclass(c))
    if (c == classes().mutableArray) return true;
  return false;
}

ArrayBox& mutableArrayOf(id array, const char* what) {
  if (!host::isKindOf(array, classes().mutableArray))
    fatal("%s: mutating method sent to immutable object", what);
  return arrayOf(array);
}

void checkIndex(const ArrayBox& a, long index, const char* what, bool allowEnd = false) {
  long limit = static_cast<long>(a.items.size()) + (allowEnd ? 1 : 0);
  if (index < 0 || index >= limit) {
    std::fprintf(stderr,
                 "*** Terminating app due to uncaught exception 'NSRangeException', reason: '*** %s: index %ld beyond "
                 "bounds [0 .. %ld]'\n",
                 what, index, static_cast<long>(a.items.size()) - 1);
    std::fflush(stderr);
    std::abort();
  }
}

id copyOf(id source, Class cls) {
  const ArrayBox& from = arrayOf(source);
  ArrayBox* box = emptyBox(&from.callbacks);
  for (const void* v : from.items) box->items.push_back(retainValue(*box, v));
  return newObject(cls, box);
}

// ---- class methods ----
id arrayEmpty(id cls, SEL) { return host::autorelease(newObject(classOf(cls), emptyBox(&kCFTypeArrayCallBacks))); }
id arrayWithCapacity(id cls, SEL, unsigned long) { return arrayEmpty(cls, nullptr); }
id arrayWithObjectsCount(id cls, SEL, const id* objects, unsigned long count) {
  ArrayBox* box = emptyBox(&kCFTypeArrayCallBacks);
  for (unsigned long i = 0; i < count; ++i) {
    if (objects[i] == nullptr) fatal("+[NSArray arrayWithObjects:count:]: attempt to insert nil object");
    box->items.push_back(retainValue(*box, objects[i]));
  }
  return host::autorelease(newObject(classOf(cls), box));
}
id arrayWithObject(id cls, SEL, id object) { return arrayWithObjectsCount(cls, nullptr, &object, 1); }
id arrayWithArray(id cls, SEL, id other) {
  if (other == nullptr) return arrayEmpty(cls, nullptr);
  return host::autorelease(copyOf(other, classOf(cls)));
}
id arrayWithContentsOfFile(id cls, SEL, id path) {
  if (path == nullptr) return nullptr;
  id list = readPropertyListFileOf(text(path), Family::Array);
  if (list == nullptr) return nullptr;
  if (!mutableClass(classOf(cls))) return host::autorelease(list);
  id result = copyOf(list, classOf(cls));
  host::release(list);
  return host::autorelease(result);
}

// ---- instance methods ----
id initEmpty(id self, SEL) {
  setBox(self, emptyBox(&kCFTypeArrayCallBacks));
  return self;
}
id initWithArray(id self, SEL, id other) {
  ArrayBox* box = emptyBox(&kCFTypeArrayCallBacks);
  if (other != nullptr)
    for (const void* v : arrayOf(other).items) box->items.push_back(retainValue(*box, v));
  setBox(self, box);
  return self;
}
id initWithContentsOfFile(id self, SEL, id path) {
  id list = path ? readPropertyListFileOf(text(path), Family::Array) : nullptr;
  if (list == nullptr) {
    host::release(self);
    return nullptr;
  }
  initWithArray(self, nullptr, list);
  host::release(list);
  return self;
}
unsigned long count(id self, SEL) { return arrayOf(self).items.size(); }
id objectAtIndex(id self, SEL, unsigned long index) {
  const ArrayBox& a = arrayOf(self);
  checkIndex(a, static_cast<long>(index), "-[NSArray objectAtIndex:]");
  return toId(a.items[index]);
}
id firstObject(id self, SEL) {
  const ArrayBox& a = arrayOf(self);
  return a.items.empty() ? nullptr : toId(a.items.front());
}
id lastObject(id self, SEL) {
  const ArrayBox& a = arrayOf(self);
  return a.items.empty() ? nullptr : toId(a.items.back());
}
unsigned long indexOfObject(id self, SEL, id object) {
  const ArrayBox& a = arrayOf(self);
  for (size_t i = 0; i < a.items.size(); ++i)
    if (valuesEqual(a, a.items[i], object)) return i;
  return kNotFound;
}
unsigned long indexOfObjectIdenticalTo(id self, SEL, id object) {
  const ArrayBox& a = arrayOf(self);
  for (size_t i = 0; i < a.items.size(); ++i)
    if (a.items[i] == object) return i;
  return kNotFound;
}
BOOL containsObject(id self, SEL, id object) {
  return indexOfObject(self, nullptr, object) != static_cast<unsigned long>(kNotFound) ? YES : NO;
}
BOOL isEqualToArray(id self, SEL, id other) {
  if (familyOf(other) != Family::Array) return NO;
  const ArrayBox& a = arrayOf(self);
  const ArrayBox& b = arrayOf(other);
  if (a.items.size() != b.items.size()) return NO;
  for (size_t i = 0; i < a.items.size(); ++i)
    if (!valuesEqual(a, a.items[i], b.items[i])) return NO;
  return YES;
}
unsigned long hashOf(id self, SEL) { return arrayOf(self).items.size(); }
id description(id self, SEL) { return autoreleasedString(describe(self)); }
id copyArray(id self, SEL) {
  if (!isMutable(self)) return host::retain(self);
  return copyOf(self, classes().array);
}
id mutableCopyArray(id self, SEL) { return copyOf(self, classes().mutableArray); }
BOOL writeToFile(id self, SEL, id path, BOOL) {
  std::string bytes;
  if (path == nullptr || !serializePropertyList(self, false, bytes)) return NO;
  return writeFileAtomically(text(path), bytes) ? YES : NO;
}
id componentsJoined(id self, SEL, id separator) {
  std::string out;
  const ArrayBox& a = arrayOf(self);
  for (size_t i = 0; i < a.items.size(); ++i) {
    if (i) out += text(separator);
    id item = toId(a.items[i]);
    out += familyOf(item) == Family::String ? text(item) : text(host::send(item, "description"));
  }
  return autoreleasedString(out);
}

// ---- mutable ----
void addObject(id self, SEL, id object) {
  ArrayBox& a = mutableArrayOf(self, "-[NSMutableArray addObject:]");
  if (object == nullptr) fatal("-[NSMutableArray addObject:]: object cannot be nil");
  a.items.push_back(retainValue(a, object));
}
void insertObject(id self, SEL, id object, unsigned long index) {
  ArrayBox& a = mutableArrayOf(self, "-[NSMutableArray insertObject:atIndex:]");
  if (object == nullptr) fatal("-[NSMutableArray insertObject:atIndex:]: object cannot be nil");
  checkIndex(a, static_cast<long>(index), "-[NSMutableArray insertObject:atIndex:]", true);
  a.items.insert(a.items.begin() + static_cast<long>(index), retainValue(a, object));
}
void removeObjectAtIndex(id self, SEL, unsigned long index) {
  ArrayBox& a = mutableArrayOf(self, "-[NSMutableArray removeObjectAtIndex:]");
  checkIndex(a, static_cast<long>(index), "-[NSMutableArray removeObjectAtIndex:]");
  const void* old = a.items[index];
  a.items.erase(a.items.begin() + static_cast<long>(index));
  if (a.callbacks.release) a.callbacks.release(nullptr, old);
}
void removeLastObject(id self, SEL) {
  ArrayBox& a = mutableArrayOf(self, "-[NSMutableArray removeLastObject]");
  if (!a.items.empty()) removeObjectAtIndex(self, nullptr, a.items.size() - 1);
}
void removeAllObjects(id self, SEL) {
  ArrayBox& a = mutableArrayOf(self, "-[NSMutableArray removeAllObjects]");
  std::vector<const void*> old;
  old.swap(a.items);
  if (a.callbacks.release)
    for (const void* v : old) a.callbacks.release(nullptr, v);
}
void removeObject(id self, SEL, id object) {
  ArrayBox& a = mutableArrayOf(self, "-[NSMutableArray removeObject:]");
  for (size_t i = a.items.size(); i-- > 0;)
    if (valuesEqual(a, a.items[i], object)) removeObjectAtIndex(self, nullptr, i);
}
void replaceObject(id self, SEL, unsigned long index, id object) {
  ArrayBox& a = mutableArrayOf(self, "-[NSMutableArray replaceObjectAtIndex:withObject:]");
  if (object == nullptr) fatal("-[NSMutableArray replaceObjectAtIndex:withObject:]: object cannot be nil");
  checkIndex(a, static_cast<long>(index), "-[NSMutableArray replaceObjectAtIndex:withObject:]");
  const void* old = a.items[index];
  a.items[index] = retainValue(a, object);
  if (a.callbacks.release) a.callbacks.release(nullptr, old);
}
void setObjectAtIndexedSubscript(id self, SEL, id object, unsigned long index) {
  if (index == arrayOf(self).items.size()) addObject(self, nullptr, object);
  else replaceObject(self, nullptr, index, object);
}
void addObjectsFromArray(id self, SEL, id other) {
  ArrayBox& a = mutableArrayOf(self, "-[NSMutableArray addObjectsFromArray:]");
  if (other == nullptr) return;
  std::vector<const void*> items = arrayOf(other).items;  // other may be self
  for (const void* v : items) a.items.push_back(retainValue(a, v));
}

}  // namespace

ArrayBox::~ArrayBox() {
  if (callbacks.release)
    for (const void* v : items) callbacks.release(nullptr, v);
}

void defineArrayClasses(Classes& c) {
  c.array = host::ClassBuilder("NSArray", c.object)
                .ivar("_cfBox", sizeof(void*), alignof(void*), "^v")
                .classMethod("array", &arrayEmpty)
                .classMethod("arrayWithObject:", &arrayWithObject)
                .classMethod("arrayWithObjects:count:", &arrayWithObjectsCount)
                .classMethod("arrayWithArray:", &arrayWithArray)
                .classMethod("arrayWithContentsOfFile:", &arrayWithContentsOfFile)
                .method("init", &initEmpty)
                .method("initWithArray:", &initWithArray)
                .method("initWithContentsOfFile:", &initWithContentsOfFile)
                .method("count", &count)
                .method("objectAtIndex:", &objectAtIndex)
                .method("objectAtIndexedSubscript:", &objectAtIndex)
                .method("firstObject", &firstObject)
                .method("lastObject", &lastObject)
                .method("indexOfObject:", &indexOfObject)
                .method("indexOfObjectIdenticalTo:", &indexOfObjectIdenticalTo)
                .method("containsObject:", &containsObject)
                .method("isEqual:", &isEqualToArray)
                .method("isEqualToArray:", &isEqualToArray)
                .method("hash", &hashOf)
                .method("description", &description)
                .method("componentsJoinedByString:", &componentsJoined)
                .method("copy", &copyArray)
                .method("mutableCopy", &mutableCopyArray)
                .method("writeToFile:atomically:", &writeToFile)
                .registerClass();
  addFamilyBasics(c.array);
  c.mutableArray = host::ClassBuilder("NSMutableArray", c.array)
                       .classMethod("arrayWithCapacity:", &arrayWithCapacity)
                       .method("addObject:", &addObject)
                       .method("insertObject:atIndex:", &insertObject)
                       .method("removeObjectAtIndex:", &removeObjectAtIndex)
                       .method("removeLastObject", &removeLastObject)
                       .method("removeAllObjects", &removeAllObjects)
                       .method("removeObject:", &removeObject)
                       .method("replaceObjectAtIndex:withObject:", &replaceObject)
                       .method("setObject:atIndexedSubscript:", &setObjectAtIndexedSubscript)
                       .method("addObjectsFromArray:", &addObjectsFromArray)
                       .registerClass();
}

ArrayBox& arrayOf(id array) {
  if (familyOf(array) != Family::Array)
    fatal("-[%s count]: not an array", array ? object_getClassName(array) : "nil");
  ArrayBox* box = boxOf<ArrayBox>(array);
  if (box == nullptr) {
    box = emptyBox(&kCFTypeArrayCallBacks);
    boxSlot(array) = box;
  }
  return *box;
}

id newArray(const std::vector<id>& items, bool isMutable) {
  ArrayBox* box = emptyBox(&kCFTypeArrayCallBacks);
  for (id item : items) box->items.push_back(retainValue(*box, item));
  return newObject(isMutable ? classes().mutableArray : classes().array, box);
}

void arrayAppend(id array, const void* value) {
  ArrayBox& a = arrayOf(array);
  a.items.push_back(retainValue(a, value));
}

}  // namespace cf

using namespace cf;

namespace {

ArrayBox& checkedArray(CFArrayRef array) { return arrayOf(toId(array)); }
ArrayBox& checkedMutable(CFMutableArrayRef array, const char* what) {
  if (!host::isKindOf(toId(array), classes().mutableArray)) fatal("%s: the array is immutable", what);
  return arrayOf(toId(array));
}
void checkRange(const ArrayBox& a, CFRange range, const char* what) {
  if (range.location < 0 || range.length < 0 || range.location + range.length > static_cast<CFIndex>(a.items.size()))
    fatal("%s: range {%ld, %ld} out of bounds (%zu)", what, range.location, range.length, a.items.size());
}
const void* retainFor(const ArrayBox& a, const void* v) { return a.callbacks.retain ? a.callbacks.retain(nullptr, v) : v; }
void releaseFor(const ArrayBox& a, const void* v) {
  if (a.callbacks.release) a.callbacks.release(nullptr, v);
}
bool equalFor(const ArrayBox& a, const void* x, const void* y) {
  return x == y || (a.callbacks.equal && x && y && a.callbacks.equal(x, y));
}

}  // namespace

CFTypeID CFArrayGetTypeID(void) { return 19; }

CFArrayRef CFArrayCreate(CFAllocatorRef, const void** values, CFIndex numValues, const CFArrayCallBacks* callBacks) {
  auto* box = new ArrayBox;
  if (callBacks) box->callbacks = *callBacks;
  for (CFIndex i = 0; i < numValues; ++i) box->items.push_back(retainFor(*box, values[i]));
  return toCF<CFArrayRef>(newObject(classes().array, box));
}

CFArrayRef CFArrayCreateCopy(CFAllocatorRef, CFArrayRef theArray) {
  return toCF<CFArrayRef>(host::send(toId(theArray), "copy"));
}

CFMutableArrayRef CFArrayCreateMutable(CFAllocatorRef, CFIndex, const CFArrayCallBacks* callBacks) {
  auto* box = new ArrayBox;
  if (callBacks) box->callbacks = *callBacks;
  return toCF<CFMutableArrayRef>(newObject(classes().mutableArray, box));
}

CFMutableArrayRef CFArrayCreateMutableCopy(CFAllocatorRef, CFIndex, CFArrayRef theArray) {
  return toCF<CFMutableArrayRef>(host::send(toId(theArray), "mutableCopy"));
}

CFIndex CFArrayGetCount(CFArrayRef theArray) { return static_cast<CFIndex>(checkedArray(theArray).items.size()); }

const void* CFArrayGetValueAtIndex(CFArrayRef theArray, CFIndex idx) {
  ArrayBox& a = checkedArray(theArray);
  if (idx < 0 || idx >= static_cast<CFIndex>(a.items.size()))
    fatal("CFArrayGetValueAtIndex: index (%ld) out of bounds (%zu)", idx, a.items.size());
  return a.items[static_cast<size_t>(idx)];
}

void CFArrayGetValues(CFArrayRef theArray, CFRange range, const void** values) {
  ArrayBox& a = checkedArray(theArray);
  checkRange(a, range, "CFArrayGetValues");
  for (CFIndex i = 0; i < range.length; ++i) values[i] = a.items[static_cast<size_t>(range.location + i)];
}

CFIndex CFArrayGetFirstIndexOfValue(CFArrayRef theArray, CFRange range, const void* value) {
  ArrayBox& a = checkedArray(theArray);
  checkRange(a, range, "CFArrayGetFirstIndexOfValue");
  for (CFIndex i = range.location; i < range.location + range.length; ++i)
    if (equalFor(a, a.items[static_cast<size_t>(i)], value)) return i;
  return kCFNotFound;
}

Boolean CFArrayContainsValue(CFArrayRef theArray, CFRange range, const void* value) {
  return CFArrayGetFirstIndexOfValue(theArray, range, value) != kCFNotFound;
}

CFIndex CFArrayGetCountOfValue(CFArrayRef theArray, CFRange range, const void* value) {
  ArrayBox& a = checkedArray(theArray);
  checkRange(a, range, "CFArrayGetCountOfValue");
  CFIndex n = 0;
  for (CFIndex i = range.location; i < range.location + range.length; ++i)
    if (equalFor(a, a.items[static_cast<size_t>(i)], value)) ++n;
  return n;
}

void CFArrayApplyFunction(CFArrayRef theArray, CFRange range, CFArrayApplierFunction applier, void* context) {
  ArrayBox& a = checkedArray(theArray);
  checkRange(a, range, "CFArrayApplyFunction");
  std::vector<const void*> items(a.items.begin() + range.location, a.items.begin() + range.location + range.length);
  for (const void* v : items) applier(v, context);
}

void CFArrayAppendValue(CFMutableArrayRef theArray, const void* value) {
  ArrayBox& a = checkedMutable(theArray, "CFArrayAppendValue");
  a.items.push_back(retainFor(a, value));
}

void CFArrayInsertValueAtIndex(CFMutableArrayRef theArray, CFIndex idx, const void* value) {
  ArrayBox& a = checkedMutable(theArray, "CFArrayInsertValueAtIndex");
  if (idx < 0 || idx > static_cast<CFIndex>(a.items.size())) fatal("CFArrayInsertValueAtIndex: index (%ld) out of bounds", idx);
  a.items.insert(a.items.begin() + idx, retainFor(a, value));
}

void CFArraySetValueAtIndex(CFMutableArrayRef theArray, CFIndex idx, const void* value) {
  ArrayBox& a = checkedMutable(theArray, "CFArraySetValueAtIndex");
  if (idx < 0 || idx > static_cast<CFIndex>(a.items.size())) fatal("CFArraySetValueAtIndex: index (%ld) out of bounds", idx);
  const void* retained = retainFor(a, value);
  if (idx == static_cast<CFIndex>(a.items.size())) {
    a.items.push_back(retained);
    return;
  }
  const void* old = a.items[static_cast<size_t>(idx)];
  a.items[static_cast<size_t>(idx)] = retained;
  releaseFor(a, old);
}

void CFArrayRemoveValueAtIndex(CFMutableArrayRef theArray, CFIndex idx) {
  ArrayBox& a = checkedMutable(theArray, "CFArrayRemoveValueAtIndex");
  if (idx < 0 || idx >= static_cast<CFIndex>(a.items.size())) fatal("CFArrayRemoveValueAtIndex: index (%ld) out of bounds", idx);
  const void* old = a.items[static_cast<size_t>(idx)];
  a.items.erase(a.items.begin() + idx);
  releaseFor(a, old);
}

void CFArrayRemoveAllValues(CFMutableArrayRef theArray) {
  ArrayBox& a = checkedMutable(theArray, "CFArrayRemoveAllValues");
  std::vector<const void*> old;
  old.swap(a.items);
  for (const void* v : old) releaseFor(a, v);
}

void CFArrayAppendArray(CFMutableArrayRef theArray, CFArrayRef otherArray, CFRange otherRange) {
  ArrayBox& a = checkedMutable(theArray, "CFArrayAppendArray");
  ArrayBox& b = checkedArray(otherArray);
  checkRange(b, otherRange, "CFArrayAppendArray");
  std::vector<const void*> items(b.items.begin() + otherRange.location,
                                 b.items.begin() + otherRange.location + otherRange.length);
  for (const void* v : items) a.items.push_back(retainFor(a, v));
}
