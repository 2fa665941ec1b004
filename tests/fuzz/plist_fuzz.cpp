// libFuzzer target: property-list bytes as the preferences store or the fallback file might hold them,
// read as CoreFoundation reads them (binary, XML or OpenStep text), every value read as the tweak reads
// settings, and whatever was read written back and read again. No input may crash, hang or leak.
#include <CoreFoundation/CoreFoundation.h>

#include <stddef.h>
#include <stdint.h>
#include <stdlib.h>

#include <string>

#include "host/corefoundation.h"
#include "host/objc.h"
#include "tweak/values.h"

namespace {

// The tweak's readings of one value, and of everything inside it.
void readEverything(CFTypeRef value, int depth) {
  bool on = false;
  int32_t sound = 0;
  readSwitchValue(value, &on);
  readSoundValue(value, &sound);
  (void)host::cf::describe(value).size();
  if (depth > 520) abort();  // binary and XML lists keep to 128 levels, OpenStep text to 512
  CFTypeID type = CFGetTypeID(value);
  if (type == CFDictionaryGetTypeID()) {
    auto dict = static_cast<CFDictionaryRef>(value);
    CFIndex n = CFDictionaryGetCount(dict);
    std::basic_string<const void*> keys(static_cast<size_t>(n), nullptr), values(static_cast<size_t>(n), nullptr);
    CFDictionaryGetKeysAndValues(dict, keys.data(), values.data());
    for (CFIndex i = 0; i < n; ++i) {
      if (CFDictionaryGetValue(dict, keys[static_cast<size_t>(i)]) == nullptr) abort();  // every key is found
      readEverything(values[static_cast<size_t>(i)], depth + 1);
    }
  } else if (type == CFArrayGetTypeID()) {
    auto array = static_cast<CFArrayRef>(value);
    for (CFIndex i = 0; i < CFArrayGetCount(array); ++i) readEverything(CFArrayGetValueAtIndex(array, i), depth + 1);
  }
}

// What was read can be written in either format and reads back the same.
void roundTrip(CFPropertyListRef list) {
  for (CFPropertyListFormat format : {kCFPropertyListBinaryFormat_v1_0, kCFPropertyListXMLFormat_v1_0}) {
    CFDataRef written = CFPropertyListCreateData(nullptr, list, format, 0, nullptr);
    if (written == nullptr) continue;  // XML cannot hold every date or string a binary list can
    CFPropertyListRef back = CFPropertyListCreateWithData(nullptr, written, kCFPropertyListImmutable, nullptr, nullptr);
    if (back == nullptr && format == kCFPropertyListBinaryFormat_v1_0) abort();
    if (back != nullptr) CFRelease(back);
    CFRelease(written);
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* bytes, size_t size) {
  host::AutoreleasePool pool;
  CFDataRef data = CFDataCreate(nullptr, bytes, static_cast<CFIndex>(size));
  for (CFOptionFlags mutability : {kCFPropertyListImmutable, kCFPropertyListMutableContainersAndLeaves}) {
    CFPropertyListRef list = CFPropertyListCreateWithData(nullptr, data, mutability, nullptr, nullptr);
    if (list == nullptr) continue;
    readEverything(list, 0);
    if (mutability == kCFPropertyListImmutable) roundTrip(list);
    CFRelease(list);
  }
  // The bytes as a stored string, read as a number and as a switch.
  CFStringRef text = CFStringCreateWithBytes(nullptr, bytes, static_cast<CFIndex>(size), kCFStringEncodingUTF8, false);
  if (text != nullptr) {
    readEverything(text, 0);
    CFRelease(text);
  }
  CFRelease(data);
  return 0;
}
