// The Foundation objects the UIKit stand-in hands out or reads: arrays. (Made through CoreFoundation,
// whose objects are the Foundation ones.)
#include <CoreFoundation/CoreFoundation.h>

#include "uikit_internal.h"

namespace host::uikit::internal {

id makeArray(const std::vector<id>& objects) {
  std::vector<const void*> values(objects.begin(), objects.end());
  CFArrayRef array = CFArrayCreate(nullptr, values.data(), static_cast<CFIndex>(values.size()), &kCFTypeArrayCallBacks);
  return autorelease(reinterpret_cast<id>(const_cast<__CFArray*>(array)));
}

std::vector<id> arrayElements(id array) {
  std::vector<id> elements;
  if (!isKindOf(array, requireClass("NSArray"))) return elements;
  auto cfArray = reinterpret_cast<CFArrayRef>(array);
  for (CFIndex i = 0, n = CFArrayGetCount(cfArray); i < n; ++i)
    elements.push_back(reinterpret_cast<id>(const_cast<void*>(CFArrayGetValueAtIndex(cfArray, i))));
  return elements;
}

}  // namespace host::uikit::internal
