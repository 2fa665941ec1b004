// Small helpers the UIKit and Preferences stand-in tests share.
#pragma once

#include <CoreGraphics/CGGeometry.h>

#include <string>
#include <vector>

#include "host/objc.h"

namespace uikit_testing {

inline id cls(const char* name) { return reinterpret_cast<id>(host::requireClass(name)); }

// A new (+1) view of `className` with `frame`.
inline id newView(const char* className, CGRect frame) {
  return host::send(host::send(cls(className), "alloc"), "initWithFrame:", frame);
}

inline id nsString(const std::string& text) { return host::send(cls("NSString"), "stringWithUTF8String:", text.c_str()); }

inline std::string text(id string) {
  const char* utf8 = host::send<const char*>(string, "UTF8String");
  return utf8 != nullptr ? utf8 : "";
}

inline std::vector<id> elements(id array) {
  std::vector<id> out;
  unsigned long count = host::send<unsigned long>(array, "count");
  for (unsigned long i = 0; i < count; ++i) out.push_back(host::send(array, "objectAtIndex:", i));
  return out;
}

inline id array(const std::vector<id>& objects) {
  return host::send(cls("NSArray"), "arrayWithObjects:count:", objects.data(), static_cast<unsigned long>(objects.size()));
}

inline bool yes(BOOL value) { return value != NO; }

}  // namespace uikit_testing
