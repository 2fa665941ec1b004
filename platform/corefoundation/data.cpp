// NSData / NSMutableData / CFData.
#include "cf_internal.h"

#include <cstdio>
#include <cstring>

namespace cf {
namespace {

Class classOf(id cls) { return reinterpret_cast<Class>(cls); }

DataBox* makeBox(const void* bytes, size_t length) {
  auto* box = new DataBox;
  if (length > 0) box->bytes.assign(static_cast<const uint8_t*>(bytes), static_cast<const uint8_t*>(bytes) + length);
  return box;
}

id dataEmpty(id cls, SEL) { return host::autorelease(newObject(classOf(cls), makeBox(nullptr, 0))); }
id dataWithBytes(id cls, SEL, const void* bytes, unsigned long length) {
  return host::autorelease(newObject(classOf(cls), makeBox(bytes, length)));
}
// The file's bytes, or nil when it cannot be read (a folder, missing, no permission).
id dataWithContentsOfFile(id cls, SEL, id path) {
  if (path == nullptr) return nullptr;
  std::string bytes;
  if (!readWholeFile(text(path), bytes)) return nullptr;
  return host::autorelease(newObject(classOf(cls), makeBox(bytes.data(), bytes.size())));
}
id initEmpty(id self, SEL) {
  setBox(self, makeBox(nullptr, 0));
  return self;
}
id initWithBytes(id self, SEL, const void* bytes, unsigned long length) {
  setBox(self, makeBox(bytes, length));
  return self;
}
unsigned long length(id self, SEL) { return dataOf(self).bytes.size(); }
const void* bytes(id self, SEL) {
  const DataBox& d = dataOf(self);
  return d.bytes.empty() ? nullptr : d.bytes.data();
}
BOOL isEqual(id self, SEL, id other) {
  return familyOf(other) == Family::Data && dataOf(self).bytes == dataOf(other).bytes ? YES : NO;
}
unsigned long hashOf(id self, SEL) {
  uint64_t h = 1469598103934665603ULL;
  for (uint8_t b : dataOf(self).bytes) h = (h ^ b) * 1099511628211ULL;
  return h;
}
id description(id self, SEL) { return autoreleasedString(describe(self)); }
id copyData(id self, SEL) {
  if (!isMutable(self)) return host::retain(self);
  const DataBox& d = dataOf(self);
  return newData(d.bytes.data(), d.bytes.size(), false);
}
id mutableCopyData(id self, SEL) {
  const DataBox& d = dataOf(self);
  return newData(d.bytes.data(), d.bytes.size(), true);
}
BOOL writeToFile(id self, SEL, id path, BOOL) {
  if (path == nullptr) return NO;
  const DataBox& d = dataOf(self);
  return writeFileAtomically(text(path), std::string(d.bytes.begin(), d.bytes.end())) ? YES : NO;
}
void appendBytes(id self, SEL, const void* bytes, unsigned long length) {
  if (length > 0) {
    DataBox& d = dataOf(self);
    d.bytes.insert(d.bytes.end(), static_cast<const uint8_t*>(bytes), static_cast<const uint8_t*>(bytes) + length);
  }
}
void setLength(id self, SEL, unsigned long length) { dataOf(self).bytes.resize(length, 0); }

}  // namespace

void defineDataClasses(Classes& c) {
  c.data = host::ClassBuilder("NSData", c.object)
               .ivar("_cfBox", sizeof(void*), alignof(void*), "^v")
               .classMethod("data", &dataEmpty)
               .classMethod("dataWithBytes:length:", &dataWithBytes)
               .classMethod("dataWithContentsOfFile:", &dataWithContentsOfFile)
               .method("init", &initEmpty)
               .method("initWithBytes:length:", &initWithBytes)
               .method("length", &length)
               .method("bytes", &bytes)
               .method("isEqual:", &isEqual)
               .method("isEqualToData:", &isEqual)
               .method("hash", &hashOf)
               .method("description", &description)
               .method("copy", &copyData)
               .method("mutableCopy", &mutableCopyData)
               .method("writeToFile:atomically:", &writeToFile)
               .registerClass();
  addFamilyBasics(c.data);
  c.mutableData = host::ClassBuilder("NSMutableData", c.data)
                      .method("appendBytes:length:", &appendBytes)
                      .method("setLength:", &setLength)
                      .registerClass();
}

DataBox& dataOf(id data) {
  if (familyOf(data) != Family::Data) fatal("-[%s length]: not a data object", data ? object_getClassName(data) : "nil");
  DataBox* box = boxOf<DataBox>(data);
  if (box == nullptr) {
    box = new DataBox;
    boxSlot(data) = box;
  }
  return *box;
}

id newData(const void* bytes, size_t length, bool isMutable) {
  return newObject(isMutable ? classes().mutableData : classes().data, makeBox(bytes, length));
}

}  // namespace cf

using namespace cf;

namespace {
DataBox& checkedMutable(CFMutableDataRef data, const char* what) {
  if (!host::isKindOf(toId(data), classes().mutableData)) fatal("%s: the data is immutable", what);
  return dataOf(toId(data));
}
}  // namespace

CFTypeID CFDataGetTypeID(void) { return 20; }

CFDataRef CFDataCreate(CFAllocatorRef, const UInt8* bytes, CFIndex length) {
  if (length < 0 || (bytes == nullptr && length > 0)) return nullptr;
  return toCF<CFDataRef>(newData(bytes, static_cast<size_t>(length), false));
}

CFDataRef CFDataCreateCopy(CFAllocatorRef, CFDataRef theData) { return toCF<CFDataRef>(host::send(toId(theData), "copy")); }

CFMutableDataRef CFDataCreateMutable(CFAllocatorRef, CFIndex) {
  return toCF<CFMutableDataRef>(newData(nullptr, 0, true));
}

CFMutableDataRef CFDataCreateMutableCopy(CFAllocatorRef, CFIndex, CFDataRef theData) {
  return toCF<CFMutableDataRef>(host::send(toId(theData), "mutableCopy"));
}

CFIndex CFDataGetLength(CFDataRef theData) { return static_cast<CFIndex>(dataOf(toId(theData)).bytes.size()); }

const UInt8* CFDataGetBytePtr(CFDataRef theData) {
  const DataBox& d = dataOf(toId(theData));
  return d.bytes.empty() ? nullptr : d.bytes.data();
}

UInt8* CFDataGetMutableBytePtr(CFMutableDataRef theData) {
  DataBox& d = checkedMutable(theData, "CFDataGetMutableBytePtr");
  return d.bytes.empty() ? nullptr : d.bytes.data();
}

void CFDataGetBytes(CFDataRef theData, CFRange range, UInt8* buffer) {
  const DataBox& d = dataOf(toId(theData));
  if (range.location < 0 || range.length < 0 || range.location + range.length > static_cast<CFIndex>(d.bytes.size()))
    fatal("CFDataGetBytes: range {%ld, %ld} out of bounds (%zu)", range.location, range.length, d.bytes.size());
  if (range.length > 0) std::memcpy(buffer, d.bytes.data() + range.location, static_cast<size_t>(range.length));
}

void CFDataSetLength(CFMutableDataRef theData, CFIndex length) {
  if (length < 0) fatal("CFDataSetLength: negative length");
  checkedMutable(theData, "CFDataSetLength").bytes.resize(static_cast<size_t>(length), 0);
}

void CFDataAppendBytes(CFMutableDataRef theData, const UInt8* bytes, CFIndex length) {
  DataBox& d = checkedMutable(theData, "CFDataAppendBytes");
  if (length > 0) d.bytes.insert(d.bytes.end(), bytes, bytes + length);
}
