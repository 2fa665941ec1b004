// Private to the CoreFoundation stand-in: how its objects are laid out and made.
//
// Every CF/Foundation object here is an Objective-C object of the host runtime whose class family root
// (NSString, NSNumber, NSArray, ...) is a direct subclass of NSObject with one ivar, _cfBox, holding a
// C++ Box with the object's contents. Dealloc deletes the box.
#pragma once

#include <CoreFoundation/CoreFoundation.h>

#include "host/objc.h"

#include <sys/stat.h>

#include <cstdint>
#include <string>
#include <vector>

namespace cf {

[[noreturn]] void fatal(const char* format, ...) __attribute__((format(printf, 1, 2)));

struct Box {
  virtual ~Box() = default;
};

// The box slot of an object of one of the families below.
Box*& boxSlot(id object);
template <typename T>
T* boxOf(id object) {
  return static_cast<T*>(boxSlot(object));
}
// Replaces the object's box, deleting the old one.
void setBox(id object, Box* box);

struct Classes {
  Class object;
  Class string, constantString;
  Class number, boolean;
  Class array, mutableArray;
  Class dictionary, mutableDictionary;
  Class data, mutableData;
  Class date, url, error, bundle;
  Class null, set, mutableSet, uid;
};
// The classes, registered on first use.
const Classes& classes();

// Defines each family (called once, in order, by classes()).
void defineStringClasses(Classes& c);
void defineNumberClasses(Classes& c);
void defineArrayClasses(Classes& c);
void defineDictionaryClasses(Classes& c);
void defineDataClasses(Classes& c);
void defineDateClass(Classes& c);
void defineURLClass(Classes& c);
void defineErrorClass(Classes& c);
void defineBundleClass(Classes& c);
void defineKeyedArchiveClasses(Classes& c);

// Adds the methods every family root shares (dealloc deleting the box).
void addFamilyBasics(Class familyRoot);
// Makes a class's instances immortal: retain/release/autorelease do nothing.
void makeImmortal(Class cls);

enum class Family { None, String, Number, Boolean, Array, Dictionary, Data, Date, URL, Error, Bundle, Null, Set, UID };
Family familyOf(id object);
bool isMutable(id object);

inline id toId(CFTypeRef cf) { return reinterpret_cast<id>(const_cast<void*>(cf)); }
template <typename T>
T toCF(id object) {
  return reinterpret_cast<T>(object);
}

// A new (+1) instance of cls with the given box.
id newObject(Class cls, Box* box);

// ---- strings ----
struct StringBox : Box {
  std::string utf8;
  size_t utf16Length = 0;
};
// Returns the text of an NSString ("" for nil).
const std::string& text(id string);
id newString(std::string utf8);  // +1; the bytes must be valid UTF-8
id autoreleasedString(std::string utf8);
bool isValidUTF8(const std::string& bytes);
std::string sanitizeUTF8(const std::string& bytes);
size_t utf16Length(const std::string& utf8);

// ---- numbers ----
struct NumberBox : Box {
  enum Kind { Signed, Unsigned, Real } kind = Signed;
  int64_t i = 0;   // Signed
  uint64_t u = 0;  // Unsigned (above INT64_MAX)
  double d = 0;    // Real
  CFNumberType type = kCFNumberSInt64Type;  // canonical storage type
};
const NumberBox& numberOf(id number);
id newSigned(int64_t value, CFNumberType type = kCFNumberSInt64Type);  // +1
id newUnsigned(uint64_t value);                                          // +1, any value
id newReal(double value, CFNumberType type = kCFNumberFloat64Type);      // +1
id booleanObject(bool value);                                            // immortal
long long numberToLongLong(const NumberBox& n);  // truncated toward zero, saturating, NaN -> 0
int numberToInt(const NumberBox& n);
double numberToDouble(const NumberBox& n);
bool numberToBool(const NumberBox& n);
int compareNumbers(const NumberBox& a, const NumberBox& b);  // -1 0 1; NaN orders below everything
std::string formatDouble(double value);  // shortest text that reads back the same

// ---- arrays ----
struct ArrayBox : Box {
  std::vector<const void*> items;
  CFArrayCallBacks callbacks{};
  ~ArrayBox() override;
};
ArrayBox& arrayOf(id array);
id newArray(const std::vector<id>& items, bool isMutable);  // +1, retains items
void arrayAppend(id array, const void* value);

// ---- dictionaries ----
// Entries in insertion order, with a hash index over them once there are more than a few, so that
// lookup and insertion cost O(1) and building a dictionary of n keys O(n).
struct DictionaryBox : Box {
  struct Entry {
    const void* key;
    const void* value;
    CFHashCode hash;
  };
  std::vector<Entry> entries;  // read freely; change only through set/remove/removeAll
  CFDictionaryKeyCallBacks keyCallbacks{};
  CFDictionaryValueCallBacks valueCallbacks{};
  ~DictionaryBox() override;
  long find(const void* key) const;  // index into entries, or -1
  void set(const void* key, const void* value);  // retains per callbacks
  void remove(const void* key);
  void removeAll();

 private:
  CFHashCode hashOf(const void* key) const;
  bool matches(const Entry& e, const void* key, CFHashCode hash) const;
  void index(size_t entry);
  void reindex();
  std::vector<uint32_t> slots_;  // open addressing: entry index + 1, 0 for an empty slot
};
DictionaryBox& dictionaryOf(id dictionary);
id newDictionary(bool isMutable);  // +1, CF-type callbacks

// ---- data, dates, URLs, errors ----
struct DataBox : Box {
  std::vector<uint8_t> bytes;
};
DataBox& dataOf(id data);
id newData(const void* bytes, size_t length, bool isMutable);  // +1
double dateOf(id date);                                         // seconds since 2001
id newDate(double absoluteTime);                                // +1
std::string formatDate(double absoluteTime);                    // 2001-01-01 00:00:00 +0000
id newFileURL(const std::string& path, bool isDirectory);       // +1
std::string urlString(id url);                                  // the absolute string
id newError(id domain, long code, const std::string& description);  // +1

// ---- what binary property lists may hold beyond the property-list types ----
id nullObject();                                            // kCFNull, immortal
// +1; equal members are kept once (the first). Equal as on the device, where numbers and booleans are
// NSNumbers compared by value: true and 1 are one member (CoreFoundation on Linux keeps them apart).
id newSet(const std::vector<id>& members, bool isMutable);
std::vector<id> setMembers(id set);
id newUID(uint32_t value);  // +1, a keyed-archiver UID
uint32_t uidOf(id uid);

// ---- property lists ----
// The deepest nesting the device's binary and XML readers accept (the iOS limit; macOS allows 512): an
// object more than this many levels below the root (arrays and dictionaries each add one) makes the
// whole list unreadable, keys beside it included. OpenStep text has its own limit (512).
constexpr size_t kMaxPlistDepth = 128;
bool isBinaryPropertyList(const void* bytes, size_t length);  // "bplist0" at the start
// A binary property list (+1), or NULL when malformed or too deep.
id parseBinaryPropertyList(const void* bytes, size_t length, CFOptionFlags mutability);
// The binary property list of `root`; false when it is not a property list or nests too deep.
bool writeBinaryPropertyList(id root, std::string& out);
// The XML property list of `root`, as the device writes it; false as for binary.
bool writeXMLPropertyList(id root, std::string& out);
// Reads property-list bytes as the device does (+1), or NULL: binary, else XML, else OpenStep text
// (whitespace alone is an empty dictionary). *format, when given, tells which it was.
id parsePropertyList(const void* bytes, size_t length, CFOptionFlags mutability, CFPropertyListFormat* format);
// Serialises, or false when the object is not a property list (kCFNull and sets never are).
bool serializePropertyList(id object, bool binary, std::string& out);
id readPropertyListFile(const std::string& path, CFOptionFlags mutability);  // +1 or NULL
// The immutable property list in the file when its root is of `family`: +1, or NULL when the file is
// missing, unreadable, not a property list, or holds another kind of root.
id readPropertyListFileOf(const std::string& path, Family family);
// A regular file's bytes; false when it is missing, unreadable or not a regular file (a folder, FIFO,
// device or socket is refused without waiting on it). *info, when given, is the file's status as read.
bool readWholeFile(const std::string& path, std::string& out, struct stat* info = nullptr);
// Writes beside the target (a temporary "<name>.tmp.XXXXXX") and renames over it, so a reader sees the
// old file or the new one, never a part of either. False with *error (the failing call's reason).
bool writeFileAtomically(const std::string& path, const std::string& bytes, std::string* error = nullptr);

// ---- descriptions ----
std::string describe(id object);

// ---- readings of strings (Foundation's NSString numeric readings) ----
bool stringBoolValue(const std::string& s);
long long stringLongLongValue(const std::string& s);
int stringIntValue(const std::string& s);
double stringDoubleValue(const std::string& s);

}  // namespace cf
