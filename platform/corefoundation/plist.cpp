// Property lists: read as the device reads them (binary first, then XML, then OpenStep text, each
// reader in its own file), and written in binary or XML.
#include "cf_internal.h"
#include "plist_text.h"

#include "host/file_changes.h"
#include "host/files.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <filesystem>

namespace cf {
namespace {

bool containsUID(id object, size_t depth = 0) {
  if (depth > kMaxPlistDepth) return false;
  switch (familyOf(object)) {
    case Family::UID: return true;
    case Family::Array:
      for (const void* item : arrayOf(object).items)
        if (item != nullptr && containsUID(toId(item), depth + 1)) return true;
      return false;
    case Family::Dictionary:
      for (const auto& e : dictionaryOf(object).entries)
        if (e.value != nullptr && containsUID(toId(e.value), depth + 1)) return true;
      return false;
    default: return false;
  }
}

// Strings, data, arrays and dictionaries with string keys: all the OpenStep format holds.
bool isOpenStepList(id object, size_t depth = 0) {
  if (depth > kMaxPlistDepth) return false;
  switch (familyOf(object)) {
    case Family::String:
    case Family::Data: return true;
    case Family::Array:
      for (const void* item : arrayOf(object).items)
        if (item == nullptr || !isOpenStepList(toId(item), depth + 1)) return false;
      return true;
    case Family::Dictionary:
      for (const auto& e : dictionaryOf(object).entries)
        if (familyOf(toId(e.key)) != Family::String || e.value == nullptr || !isOpenStepList(toId(e.value), depth + 1))
          return false;
      return true;
    default: return false;
  }
}

}  // namespace

id parsePropertyList(const void* bytes, size_t length, CFOptionFlags mutability, CFPropertyListFormat* format) {
  if (bytes == nullptr || length == 0) return nullptr;
  auto found = [&](id list, CFPropertyListFormat kind) {
    if (list != nullptr && format != nullptr) *format = kind;
    return list;
  };
  // A damaged binary list is tried as text too, as on the device.
  if (isBinaryPropertyList(bytes, length)) {
    if (id list = parseBinaryPropertyList(bytes, length, mutability)) return found(list, kCFPropertyListBinaryFormat_v1_0);
  }
  PlistText text;
  if (!decodePlistText(static_cast<const uint8_t*>(bytes), length, text)) return nullptr;
  if (id list = parseXMLPropertyList(text.xml, text.xmlLength, mutability)) return found(list, kCFPropertyListXMLFormat_v1_0);
  if (!openStepUnits(text)) return nullptr;
  return found(parseOpenStepPropertyList(text.units, mutability), kCFPropertyListOpenStepFormat);
}

bool serializePropertyList(id object, bool binary, std::string& out) {
  return binary ? writeBinaryPropertyList(object, out) : writeXMLPropertyList(object, out);
}

bool readWholeFile(const std::string& path, std::string& out, struct stat* info) {
  return host::files::readRegular(path, out, info);
}

id readPropertyListFile(const std::string& path, CFOptionFlags mutability) {
  std::string bytes;
  if (!readWholeFile(path, bytes)) return nullptr;
  return parsePropertyList(bytes.data(), bytes.size(), mutability, nullptr);
}

id readPropertyListFileOf(const std::string& path, Family family) {
  id list = readPropertyListFile(path, kCFPropertyListImmutable);
  if (familyOf(list) == family) return list;
  host::release(list);
  return nullptr;
}

bool writeFileAtomically(const std::string& path, const std::string& bytes, std::string* error) {
  return host::files::replaceFile(path, bytes, 0644, true, error);
}

}  // namespace cf

using namespace cf;

namespace {
void reportError(CFErrorRef* error, const char* description) {
  if (error) {
    *error = toCF<CFErrorRef>(newError(toId(kCFErrorDomainCocoa), 3840, description));
  }
}
}  // namespace

CFPropertyListRef CFPropertyListCreateWithData(CFAllocatorRef, CFDataRef data, CFOptionFlags options,
                                               CFPropertyListFormat* format, CFErrorRef* error) {
  if (error) *error = nullptr;
  if (data == nullptr) {
    reportError(error, "Cannot parse a NULL or zero-length data");
    return nullptr;
  }
  const DataBox& d = dataOf(toId(data));
  id result = parsePropertyList(d.bytes.data(), d.bytes.size(), options, format);
  if (result == nullptr) reportError(error, "The data couldn't be read because it isn't in the correct format.");
  return result;
}

CFDataRef CFPropertyListCreateData(CFAllocatorRef, CFPropertyListRef propertyList, CFPropertyListFormat format,
                                   CFOptionFlags, CFErrorRef* error) {
  if (error) *error = nullptr;
  std::string bytes;
  bool binary = format == kCFPropertyListBinaryFormat_v1_0;
  if (format != kCFPropertyListXMLFormat_v1_0 && !binary) {
    reportError(error, "Property list format is not supported for writing.");
    return nullptr;
  }
  if (propertyList == nullptr || !serializePropertyList(toId(propertyList), binary, bytes)) {
    reportError(error, "Property list invalid for format.");
    return nullptr;
  }
  return toCF<CFDataRef>(newData(bytes.data(), bytes.size(), false));
}

Boolean CFPropertyListIsValid(CFPropertyListRef plist, CFPropertyListFormat format) {
  if (plist == nullptr) return false;
  if (format == kCFPropertyListOpenStepFormat) return isOpenStepList(toId(plist));
  if (format != kCFPropertyListXMLFormat_v1_0 && format != kCFPropertyListBinaryFormat_v1_0) return false;
  std::string ignored;
  return serializePropertyList(toId(plist), true, ignored);
}

CFPropertyListRef CFPropertyListCreateDeepCopy(CFAllocatorRef, CFPropertyListRef propertyList, CFOptionFlags mutabilityOption) {
  std::string bytes;
  if (propertyList == nullptr || containsUID(toId(propertyList))) return nullptr;  // the device copies no UID either
  if (!serializePropertyList(toId(propertyList), true, bytes)) return nullptr;
  return parsePropertyList(bytes.data(), bytes.size(), mutabilityOption, nullptr);
}
