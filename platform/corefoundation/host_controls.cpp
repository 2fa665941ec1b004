// Host controls for tests and the simulator (see host/corefoundation.h).
#include "cf_internal.h"

#include "host/corefoundation.h"

namespace host::cf {

CFStringRef makeString(const std::string& text) {
  return ::cf::toCF<CFStringRef>(::cf::newString(::cf::sanitizeUTF8(text)));
}

std::string toStdString(CFTypeRef value) {
  id object = ::cf::toId(value);
  if (object == nullptr) return "";
  if (::cf::familyOf(object) == ::cf::Family::String) return ::cf::text(object);
  return ::cf::describe(object);
}

std::string describe(CFTypeRef value) { return ::cf::describe(::cf::toId(value)); }

CFPropertyListRef readPlistFile(const std::string& path) {
  return ::cf::readPropertyListFile(path, kCFPropertyListImmutable);
}

bool writePlistFile(const std::string& path, CFPropertyListRef plist, bool binary, std::string* error) {
  std::string bytes;
  if (plist == nullptr || !::cf::serializePropertyList(::cf::toId(plist), binary, bytes)) {
    if (error != nullptr) *error = "not a property list";
    return false;
  }
  return ::cf::writeFileAtomically(path, bytes, error);
}

}  // namespace host::cf
