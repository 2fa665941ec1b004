// The Foundation objects the UIKit stand-in hands out or reads: arrays.
#include "uikit_internal.h"

namespace host::uikit::internal {

id makeArray(const std::vector<id>& objects) {
  return send(reinterpret_cast<id>(requireClass("NSArray")), "arrayWithObjects:count:", objects.data(),
              static_cast<unsigned long>(objects.size()));
}

std::vector<id> arrayElements(id array) {
  std::vector<id> elements;
  unsigned long count = send<unsigned long>(array, "count");
  for (unsigned long i = 0; i < count; ++i) elements.push_back(send(array, "objectAtIndex:", i));
  return elements;
}

}  // namespace host::uikit::internal
