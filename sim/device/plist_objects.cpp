#include "device/plist_objects.h"

#include <vector>

#include "host/corefoundation.h"

namespace sim::device {

CFPropertyListRef newPropertyList(const values::Value& value) {
  using values::Value;
  switch (value.kind) {
    case Value::Bool: return CFRetain(value.boolean ? kCFBooleanTrue : kCFBooleanFalse);
    case Value::Integer: return CFNumberCreate(nullptr, kCFNumberLongLongType, &value.integer);
    case Value::Real: return CFNumberCreate(nullptr, kCFNumberDoubleType, &value.number);
    case Value::String: return host::cf::makeString(value.bytes);
    case Value::Date: return CFDateCreate(nullptr, value.number);
    case Value::Data:
      return CFDataCreate(nullptr, reinterpret_cast<const UInt8*>(value.bytes.data()),
                          static_cast<CFIndex>(value.bytes.size()));
    case Value::Array: {
      CFMutableArrayRef array = CFArrayCreateMutable(nullptr, 0, &kCFTypeArrayCallBacks);
      for (const Value& item : value.items) {
        CFPropertyListRef object = newPropertyList(item);
        CFArrayAppendValue(array, object);
        CFRelease(object);
      }
      return array;
    }
    case Value::Dict: {
      CFMutableDictionaryRef dict =
          CFDictionaryCreateMutable(nullptr, 0, &kCFTypeDictionaryKeyCallBacks, &kCFTypeDictionaryValueCallBacks);
      for (const auto& [keyText, item] : value.entries) {
        CFStringRef key = host::cf::makeString(keyText);
        CFPropertyListRef object = newPropertyList(item);
        CFDictionarySetValue(dict, key, object);
        CFRelease(object);
        CFRelease(key);
      }
      return dict;
    }
  }
  return nullptr;
}

std::string shownKey(const std::string& key) {
  for (unsigned char c : key) {
    if (c > ' ') continue;
    CFStringRef string = host::cf::makeString(key);
    std::string quoted = host::cf::describe(string);
    CFRelease(string);
    return quoted;
  }
  return key;
}

}  // namespace sim::device
