// NSString / CFString: immutable strings held as UTF-8, and CFSTR's interned constants.
#include "cf_internal.h"
#include "unicode.h"

#include <climits>
#include <cstring>
#include <mutex>
#include <unordered_map>

namespace cf {
namespace {

const std::string emptyText;

StringBox* makeBox(std::string utf8) {
  auto* box = new StringBox;
  box->utf16Length = utf16Length(utf8);
  box->utf8 = std::move(utf8);
  return box;
}

// NSStringEncoding values to CFStringEncoding.
CFStringEncoding fromNSEncoding(unsigned long ns) {
  switch (ns) {
    case 1: return kCFStringEncodingASCII;
    case 4: return kCFStringEncodingUTF8;
    case 5: return kCFStringEncodingISOLatin1;
    case 7: return kCFStringEncodingNonLossyASCII;
    case 10: return kCFStringEncodingUTF16;
    case 12: return kCFStringEncodingWindowsLatin1;
    case 30: return kCFStringEncodingMacRoman;
    default: return (ns & 0x80000000UL) ? static_cast<CFStringEncoding>(ns & 0x7FFFFFFFUL) : kCFStringEncodingInvalidId;
  }
}

CFHashCode hashText(const std::string& s) {
  uint64_t h = 1469598103934665603ULL;
  for (unsigned char c : s) h = (h ^ c) * 1099511628211ULL;
  return static_cast<CFHashCode>(h);
}

bool isString(id object) { return familyOf(object) == Family::String; }

// Sets the box of a freshly allocated string and returns it, or releases it and answers nil.
id initText(id self, bool ok, std::string utf8) {
  if (!ok) {
    host::release(self);
    return nullptr;
  }
  setBox(self, makeBox(std::move(utf8)));
  return self;
}

// ---- class methods ----
id stringEmpty(id cls, SEL) { return host::autorelease(newObject(reinterpret_cast<Class>(cls), makeBox(""))); }
id stringWithUTF8(id cls, SEL, const char* bytes) {
  if (bytes == nullptr) fatal("+[NSString stringWithUTF8String:]: NULL cString");
  std::string s = bytes;
  if (!isValidUTF8(s)) return nullptr;
  return host::autorelease(newObject(reinterpret_cast<Class>(cls), makeBox(std::move(s))));
}
id stringWithString(id cls, SEL, id other) {
  if (other == nullptr) fatal("+[NSString stringWithString:]: nil argument");
  return host::autorelease(newObject(reinterpret_cast<Class>(cls), makeBox(text(other))));
}
id stringWithCString(id cls, SEL, const char* bytes, unsigned long encoding) {
  if (bytes == nullptr) fatal("+[NSString stringWithCString:encoding:]: NULL cString");
  std::string s;
  if (!decodeBytes(reinterpret_cast<const uint8_t*>(bytes), std::strlen(bytes), fromNSEncoding(encoding), false, s))
    return nullptr;
  return host::autorelease(newObject(reinterpret_cast<Class>(cls), makeBox(std::move(s))));
}

// ---- initialisers ----
id initEmpty(id self, SEL) { return initText(self, true, ""); }
id initWithUTF8(id self, SEL, const char* bytes) {
  if (bytes == nullptr) fatal("-[NSString initWithUTF8String:]: NULL cString");
  std::string s = bytes;
  bool ok = isValidUTF8(s);
  return initText(self, ok, std::move(s));
}
id initWithString(id self, SEL, id other) {
  if (other == nullptr) fatal("-[NSString initWithString:]: nil argument");
  return initText(self, true, text(other));
}
id initWithBytes(id self, SEL, const void* bytes, unsigned long length, unsigned long encoding) {
  std::string s;
  bool ok = decodeBytes(static_cast<const uint8_t*>(bytes), length, fromNSEncoding(encoding), false, s);
  return initText(self, ok, std::move(s));
}
id initWithData(id self, SEL, id data, unsigned long encoding) {
  const DataBox& d = dataOf(data);
  std::string s;
  bool ok = decodeBytes(d.bytes.data(), d.bytes.size(), fromNSEncoding(encoding), false, s);
  return initText(self, ok, std::move(s));
}

// ---- queries ----
const char* utf8String(id self, SEL) { return text(self).c_str(); }
unsigned long length(id self, SEL) { return boxOf<StringBox>(self) ? boxOf<StringBox>(self)->utf16Length : 0; }
BOOL isEqualToString(id self, SEL, id other) {
  return other != nullptr && (other == self || text(self) == text(other)) ? YES : NO;
}
BOOL isEqual(id self, SEL, id other) { return isString(other) && text(self) == text(other) ? YES : NO; }
unsigned long hashOf(id self, SEL) { return hashText(text(self)); }
long compare(id self, SEL, id other) {
  if (other == nullptr) return kCFCompareGreaterThan;
  int r = text(self).compare(text(other));
  return r < 0 ? kCFCompareLessThan : r > 0 ? kCFCompareGreaterThan : kCFCompareEqualTo;
}
long caseInsensitiveCompare(id self, SEL, id other) {
  return CFStringCompare(toCF<CFStringRef>(self), toCF<CFStringRef>(other), kCFCompareCaseInsensitive);
}
BOOL hasPrefix(id self, SEL, id prefix) {
  const std::string& p = text(prefix);
  return !p.empty() && text(self).compare(0, p.size(), p) == 0 ? YES : NO;
}
BOOL hasSuffix(id self, SEL, id suffix) {
  const std::string& s = text(self);
  const std::string& p = text(suffix);
  return !p.empty() && s.size() >= p.size() && s.compare(s.size() - p.size(), p.size(), p) == 0 ? YES : NO;
}
BOOL containsString(id self, SEL, id other) {
  if (other == nullptr) fatal("-[NSString containsString:]: nil argument");
  return text(self).find(text(other)) != std::string::npos ? YES : NO;
}
id stringByAppending(id self, SEL, id other) {
  if (other == nullptr) fatal("-[NSString stringByAppendingString:]: nil argument");
  return autoreleasedString(text(self) + text(other));
}
id dataUsingEncoding(id self, SEL, unsigned long encoding) {
  std::string bytes;
  if (!encodeText(text(self), fromNSEncoding(encoding), 0, bytes)) return nullptr;
  return host::autorelease(newData(bytes.data(), bytes.size(), false));
}

// ---- readings ----
BOOL boolValue(id self, SEL) { return stringBoolValue(text(self)) ? YES : NO; }
long integerValue(id self, SEL) { return static_cast<long>(stringLongLongValue(text(self))); }
long long longLongValue(id self, SEL) { return stringLongLongValue(text(self)); }
int intValue(id self, SEL) { return stringIntValue(text(self)); }
double doubleValue(id self, SEL) { return stringDoubleValue(text(self)); }
float floatValue(id self, SEL) { return static_cast<float>(stringDoubleValue(text(self))); }

id selfDescription(id self, SEL) { return self; }
id copyRetained(id self, SEL) { return host::retain(self); }

// ---- constants ----
std::mutex constantsMutex;
std::unordered_map<std::string, id>& constants() {
  static auto* table = new std::unordered_map<std::string, id>;
  return *table;
}

}  // namespace

void defineStringPathMethods(Class cls);

void defineStringClasses(Classes& c) {
  c.string = host::ClassBuilder("NSString", c.object)
                 .ivar("_cfBox", sizeof(void*), alignof(void*), "^v")
                 .classMethod("string", &stringEmpty)
                 .classMethod("stringWithUTF8String:", &stringWithUTF8)
                 .classMethod("stringWithString:", &stringWithString)
                 .classMethod("stringWithCString:encoding:", &stringWithCString)
                 .method("init", &initEmpty)
                 .method("initWithUTF8String:", &initWithUTF8)
                 .method("initWithString:", &initWithString)
                 .method("initWithBytes:length:encoding:", &initWithBytes)
                 .method("initWithData:encoding:", &initWithData)
                 .method("UTF8String", &utf8String)
                 .method("fileSystemRepresentation", &utf8String)
                 .method("length", &length)
                 .method("isEqualToString:", &isEqualToString)
                 .method("isEqual:", &isEqual)
                 .method("hash", &hashOf)
                 .method("compare:", &compare)
                 .method("caseInsensitiveCompare:", &caseInsensitiveCompare)
                 .method("hasPrefix:", &hasPrefix)
                 .method("hasSuffix:", &hasSuffix)
                 .method("containsString:", &containsString)
                 .method("stringByAppendingString:", &stringByAppending)
                 .method("dataUsingEncoding:", &dataUsingEncoding)
                 .method("boolValue", &boolValue)
                 .method("integerValue", &integerValue)
                 .method("longLongValue", &longLongValue)
                 .method("intValue", &intValue)
                 .method("doubleValue", &doubleValue)
                 .method("floatValue", &floatValue)
                 .method("description", &selfDescription)
                 .method("copy", &copyRetained)
                 .registerClass();
  addFamilyBasics(c.string);
  defineStringPathMethods(c.string);
  c.constantString = host::ClassBuilder("__NSCFConstantString", c.string).registerClass();
  makeImmortal(c.constantString);
}

const std::string& text(id string) {
  if (string == nullptr) return emptyText;
  if (!isString(string)) fatal("-[%s UTF8String]: not a string", object_getClassName(string));
  StringBox* box = boxOf<StringBox>(string);
  return box ? box->utf8 : emptyText;
}

id newString(std::string utf8) { return newObject(classes().string, makeBox(std::move(utf8))); }
id autoreleasedString(std::string utf8) { return host::autorelease(newString(std::move(utf8))); }

}  // namespace cf

using namespace cf;

CFStringRef __CFStringMakeConstantString(const char* cStr) {
  if (cStr == nullptr) fatal("CFSTR() with NULL");
  std::lock_guard lock(constantsMutex);
  auto it = constants().find(cStr);
  if (it != constants().end()) return toCF<CFStringRef>(it->second);
  // Constants live for the whole process; they are made outside +alloc so they are not counted as
  // live objects.
  id object = class_createInstance(classes().constantString, 0);
  boxSlot(object) = makeBox(sanitizeUTF8(cStr));
  constants().emplace(cStr, object);
  return toCF<CFStringRef>(object);
}

CFTypeID CFStringGetTypeID(void) { return 7; }

CFStringRef CFStringCreateWithCString(CFAllocatorRef, const char* cStr, CFStringEncoding encoding) {
  if (cStr == nullptr) return nullptr;
  return CFStringCreateWithBytes(nullptr, reinterpret_cast<const UInt8*>(cStr), static_cast<CFIndex>(std::strlen(cStr)),
                                 encoding, false);
}

CFStringRef CFStringCreateWithBytes(CFAllocatorRef, const UInt8* bytes, CFIndex numBytes, CFStringEncoding encoding,
                                    Boolean isExternalRepresentation) {
  if (numBytes < 0 || (bytes == nullptr && numBytes > 0) || !isKnownEncoding(encoding)) return nullptr;
  std::string s;
  if (!decodeBytes(bytes, static_cast<size_t>(numBytes), encoding, isExternalRepresentation, s)) return nullptr;
  return toCF<CFStringRef>(newString(std::move(s)));
}

CFStringRef CFStringCreateCopy(CFAllocatorRef, CFStringRef theString) {
  return toCF<CFStringRef>(host::retain(toId(theString)));
}

CFStringRef CFStringCreateWithFileSystemRepresentation(CFAllocatorRef, const char* buffer) {
  if (buffer == nullptr) return nullptr;
  std::string s = buffer;
  if (!isValidUTF8(s)) return nullptr;
  return toCF<CFStringRef>(newString(std::move(s)));
}

CFIndex CFStringGetLength(CFStringRef theString) {
  StringBox* box = boxOf<StringBox>(toId(theString));
  text(toId(theString));  // aborts for a non-string
  return box ? static_cast<CFIndex>(box->utf16Length) : 0;
}

void CFStringGetCharacters(CFStringRef theString, CFRange range, UniChar* buffer) {
  std::string units;
  encodeText(text(toId(theString)), kCFStringEncodingUTF16LE, 0, units);
  if (range.location < 0 || range.length < 0 || 2 * static_cast<size_t>(range.location + range.length) > units.size())
    fatal("CFStringGetCharacters: range {%ld, %ld} out of bounds", range.location, range.length);
  for (CFIndex i = 0; i < range.length; ++i) {
    size_t at = 2 * static_cast<size_t>(range.location + i);
    buffer[i] = static_cast<UniChar>(static_cast<uint8_t>(units[at]) | (static_cast<uint8_t>(units[at + 1]) << 8));
  }
}

Boolean CFStringGetCString(CFStringRef theString, char* buffer, CFIndex bufferSize, CFStringEncoding encoding) {
  std::string bytes;
  if (buffer == nullptr || bufferSize <= 0 || !encodeText(text(toId(theString)), encoding, 0, bytes)) return false;
  if (static_cast<CFIndex>(bytes.size()) + 1 > bufferSize) return false;
  std::memcpy(buffer, bytes.data(), bytes.size());
  buffer[bytes.size()] = '\0';
  return true;
}

const char* CFStringGetCStringPtr(CFStringRef theString, CFStringEncoding encoding) {
  const std::string& s = text(toId(theString));
  if (encoding == kCFStringEncodingUTF8) return s.c_str();
  if (encoding == kCFStringEncodingASCII || encoding == kCFStringEncodingISOLatin1 ||
      encoding == kCFStringEncodingMacRoman || encoding == kCFStringEncodingWindowsLatin1) {
    for (unsigned char ch : s)
      if (ch >= 0x80) return nullptr;
    return s.c_str();
  }
  return nullptr;
}

CFIndex CFStringGetMaximumSizeForEncoding(CFIndex length, CFStringEncoding encoding) {
  if (length < 0) return kCFNotFound;
  CFIndex factor = 1;
  if (encoding == kCFStringEncodingUTF8) factor = 3;
  else if (isUTF16Family(encoding)) factor = 2;
  else if (isUTF32Family(encoding)) factor = 4;
  if (length > LONG_MAX / factor) return kCFNotFound;
  return length * factor;
}

CFIndex CFStringGetMaximumSizeOfFileSystemRepresentation(CFStringRef string) {
  CFIndex size = CFStringGetMaximumSizeForEncoding(CFStringGetLength(string), kCFStringEncodingUTF8);
  if (size == kCFNotFound) return kCFNotFound;
  return size + 1;
}

Boolean CFStringGetFileSystemRepresentation(CFStringRef string, char* buffer, CFIndex maxBufLen) {
  return CFStringGetCString(string, buffer, maxBufLen, kCFStringEncodingUTF8);
}

CFDataRef CFStringCreateExternalRepresentation(CFAllocatorRef, CFStringRef theString, CFStringEncoding encoding,
                                               UInt8 lossByte) {
  std::string bytes;
  if (!encodeText(text(toId(theString)), encoding, lossByte, bytes)) return nullptr;
  if (encoding == kCFStringEncodingUTF16) bytes.insert(0, "\xFF\xFE", 2);  // host order, marked
  return toCF<CFDataRef>(newData(bytes.data(), bytes.size(), false));
}

namespace {

char foldASCII(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; }
bool isDigitChar(char c) { return c >= '0' && c <= '9'; }

}  // namespace

CFComparisonResult CFStringCompare(CFStringRef theString1, CFStringRef theString2, CFStringCompareFlags options) {
  const std::string& a = text(toId(theString1));
  const std::string& b = text(toId(theString2));
  bool fold = options & kCFCompareCaseInsensitive;
  bool numeric = options & kCFCompareNumerically;
  size_t i = 0, j = 0;
  while (i < a.size() && j < b.size()) {
    if (numeric && isDigitChar(a[i]) && isDigitChar(b[j])) {
      size_t i0 = i, j0 = j;
      while (i0 < a.size() && a[i0] == '0') ++i0;
      while (j0 < b.size() && b[j0] == '0') ++j0;
      size_t i1 = i0, j1 = j0;
      while (i1 < a.size() && isDigitChar(a[i1])) ++i1;
      while (j1 < b.size() && isDigitChar(b[j1])) ++j1;
      if (i1 - i0 != j1 - j0) return (i1 - i0) < (j1 - j0) ? kCFCompareLessThan : kCFCompareGreaterThan;
      int r = a.compare(i0, i1 - i0, b, j0, j1 - j0);
      if (r != 0) return r < 0 ? kCFCompareLessThan : kCFCompareGreaterThan;
      i = i1, j = j1;
      continue;
    }
    unsigned char x = static_cast<unsigned char>(fold ? foldASCII(a[i]) : a[i]);
    unsigned char y = static_cast<unsigned char>(fold ? foldASCII(b[j]) : b[j]);
    if (x != y) return x < y ? kCFCompareLessThan : kCFCompareGreaterThan;
    ++i, ++j;
  }
  if (i < a.size()) return kCFCompareGreaterThan;
  if (j < b.size()) return kCFCompareLessThan;
  return kCFCompareEqualTo;
}

Boolean CFStringHasPrefix(CFStringRef theString, CFStringRef prefix) {
  return hasPrefix(toId(theString), nullptr, toId(prefix)) ? true : false;
}
Boolean CFStringHasSuffix(CFStringRef theString, CFStringRef suffix) {
  return hasSuffix(toId(theString), nullptr, toId(suffix)) ? true : false;
}
SInt32 CFStringGetIntValue(CFStringRef str) { return stringIntValue(text(toId(str))); }
double CFStringGetDoubleValue(CFStringRef str) { return stringDoubleValue(text(toId(str))); }
