// The Foundation objects the Preferences stand-in reads and makes.
#include "host/corefoundation.h"
#include "preferences_internal.h"

namespace host::preferences {

id string(const std::string& value) {
  return send(reinterpret_cast<id>(requireClass("NSString")), "stringWithUTF8String:", value.c_str());
}

bool isString(id object) { return isKindOf(object, requireClass("NSString")); }
bool isDictionary(id object) { return isKindOf(object, requireClass("NSDictionary")); }
bool isArray(id object) { return isKindOf(object, requireClass("NSArray")); }

std::string text(id value) {
  if (!isString(value)) return "";
  return host::cf::toStdString(reinterpret_cast<CFTypeRef>(value));
}

std::vector<id> elements(id array) {
  std::vector<id> out;
  if (!isArray(array)) return out;
  unsigned long count = send<unsigned long>(array, "count");
  for (unsigned long i = 0; i < count; ++i) out.push_back(send(array, "objectAtIndex:", i));
  return out;
}

id makeArray(const std::vector<id>& objects) {
  return send(reinterpret_cast<id>(requireClass("NSArray")), "arrayWithObjects:count:", objects.data(),
              static_cast<unsigned long>(objects.size()));
}

id property(id specifier, const char* key) { return send(specifier, "propertyForKey:", string(key)); }

void perform(id target, SEL action, id first, id second) {
  if (target == nullptr || action == nullptr) return;
  using Action = void (*)(id, SEL, id, id);
  reinterpret_cast<Action>(objc_msg_lookup(target, action))(target, action, first, second);
}

}  // namespace host::preferences
