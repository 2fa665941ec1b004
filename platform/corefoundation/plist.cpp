// Property lists: binary ones read and written by plist_binary*.cpp, XML ones through libplist.
// Both readers stop at the device's nesting limit: libplist's XML reader recurses per level, so its
// input is measured first (plist_xml_depth.cpp). libplist's quirks: output pointers must be NULL on
// entry; integers are unsigned 64-bit nodes (negative values are stored by their bits, and values above
// INT64_MAX are kept in a 16-byte form); strings it returns are freed with free().
#include "cf_internal.h"

#include "host/file_changes.h"
#include "host/files.h"

#include <plist/plist.h>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <memory>

namespace cf {
namespace {

struct PlistDeleter {
  void operator()(plist_t p) const { plist_free(p); }
};
using PlistPtr = std::unique_ptr<void, PlistDeleter>;

// Whether an integer node with its top bit set is the 16-byte unsigned form (a value above
// INT64_MAX) rather than a negative number. libplist keeps this only internally; its binary writer
// shows it in the integer's size marker.
bool isUnsignedHuge(plist_t node) {
  char* bytes = nullptr;
  uint32_t length = 0;
  plist_to_bin(node, &bytes, &length);
  bool huge = bytes != nullptr && length > 8 && static_cast<unsigned char>(bytes[8]) == 0x14;
  std::free(bytes);
  return huge;
}

plist_t newHugeUnsigned(uint64_t value) {
  std::string xml = "<plist version=\"1.0\"><integer>" + std::to_string(value) + "</integer></plist>";
  plist_t node = nullptr;
  plist_from_xml(xml.data(), static_cast<uint32_t>(xml.size()), &node);
  return node;
}

id fromNode(plist_t node, CFOptionFlags mutability);

id fromArray(plist_t node, CFOptionFlags mutability) {
  id array = newArray({}, mutability != kCFPropertyListImmutable);
  uint32_t n = plist_array_get_size(node);
  for (uint32_t i = 0; i < n; ++i) {
    id item = fromNode(plist_array_get_item(node, i), mutability);
    if (item == nullptr) {
      host::release(array);
      return nullptr;
    }
    arrayAppend(array, item);
    host::release(item);
  }
  return array;
}

id fromDictionary(plist_t node, CFOptionFlags mutability) {
  id dict = newDictionary(mutability != kCFPropertyListImmutable);
  plist_dict_iter it = nullptr;
  plist_dict_new_iter(node, &it);
  bool ok = true;
  while (ok && it != nullptr) {
    char* key = nullptr;
    plist_t value = nullptr;
    plist_dict_next_item(node, it, &key, &value);
    if (key == nullptr) break;
    if (value == nullptr || !isValidUTF8(key)) {
      ok = false;  // a key without a value: not a property list
    } else if (id object = fromNode(value, mutability)) {
      id keyString = newString(key);
      dictionaryOf(dict).set(keyString, object);
      host::release(keyString);
      host::release(object);
    } else {
      ok = false;
    }
    std::free(key);
  }
  std::free(it);
  if (!ok) {
    host::release(dict);
    return nullptr;
  }
  return dict;
}

id fromNode(plist_t node, CFOptionFlags mutability) {
  if (node == nullptr) return nullptr;
  switch (plist_get_node_type(node)) {
    case PLIST_BOOLEAN: {
      uint8_t v = 0;
      plist_get_bool_val(node, &v);
      return booleanObject(v != 0);
    }
    case PLIST_UINT:
    case PLIST_UID: {
      uint64_t v = 0;
      if (plist_get_node_type(node) == PLIST_UID) plist_get_uid_val(node, &v);
      else plist_get_uint_val(node, &v);
      if (v > static_cast<uint64_t>(INT64_MAX) && isUnsignedHuge(node)) return newUnsigned(v);
      return newSigned(static_cast<int64_t>(v));
    }
    case PLIST_REAL: {
      double v = 0;
      plist_get_real_val(node, &v);
      return newReal(v);
    }
    case PLIST_STRING:
    case PLIST_KEY: {
      uint64_t length = 0;
      const char* s = plist_get_string_ptr(node, &length);
      return newString(sanitizeUTF8(std::string(s ? s : "", s ? length : 0)));
    }
    case PLIST_DATA: {
      uint64_t length = 0;
      const char* bytes = plist_get_data_ptr(node, &length);
      return newData(bytes, bytes ? length : 0, mutability == kCFPropertyListMutableContainersAndLeaves);
    }
    case PLIST_DATE: {
      int32_t sec = 0, usec = 0;
      plist_get_date_val(node, &sec, &usec);
      return newDate(sec + usec / 1e6);
    }
    case PLIST_ARRAY: return fromArray(node, mutability);
    case PLIST_DICT: return fromDictionary(node, mutability);
    default: return nullptr;
  }
}

// A libplist tree of `object`, or NULL when it is not a property list or nests deeper than one can be
// read back (the writer recurses too).
plist_t toNode(id object, size_t depth = 0) {
  if (depth > kMaxPlistDepth) return nullptr;
  switch (familyOf(object)) {
    case Family::Boolean: return plist_new_bool(numberToBool(numberOf(object)) ? 1 : 0);
    case Family::Number: {
      const NumberBox& n = numberOf(object);
      if (n.kind == NumberBox::Real) return plist_new_real(n.d);
      if (n.kind == NumberBox::Unsigned) return newHugeUnsigned(n.u);
      return plist_new_uint(static_cast<uint64_t>(n.i));
    }
    case Family::String: {
      // XML cannot hold U+0000, not even as a character reference: refused rather than cut short.
      std::string s = text(object);
      return s.find('\0') == std::string::npos ? plist_new_string(s.c_str()) : nullptr;
    }
    case Family::Data: {
      const DataBox& d = dataOf(object);
      return plist_new_data(reinterpret_cast<const char*>(d.bytes.data()), d.bytes.size());
    }
    case Family::Date: {
      double t = dateOf(object);
      double whole = std::floor(t);
      if (!(whole >= INT32_MIN && whole <= INT32_MAX)) return nullptr;
      return plist_new_date(static_cast<int32_t>(whole), static_cast<int32_t>(std::lround((t - whole) * 1e6)));
    }
    case Family::Array: {
      const ArrayBox& a = arrayOf(object);
      if (a.callbacks.retain == nullptr && !a.items.empty()) return nullptr;
      plist_t array = plist_new_array();
      for (const void* item : a.items) {
        plist_t child = toNode(toId(item), depth + 1);
        if (child == nullptr) {
          plist_free(array);
          return nullptr;
        }
        plist_array_append_item(array, child);
      }
      return array;
    }
    case Family::Dictionary: {
      const DictionaryBox& d = dictionaryOf(object);
      if ((d.keyCallbacks.retain == nullptr || d.valueCallbacks.retain == nullptr) && !d.entries.empty()) return nullptr;
      plist_t dict = plist_new_dict();
      for (const auto& e : d.entries) {
        bool stringKey = familyOf(toId(e.key)) == Family::String;
        std::string key = stringKey ? text(toId(e.key)) : std::string();
        plist_t child = stringKey && key.find('\0') == std::string::npos ? toNode(toId(e.value), depth + 1) : nullptr;
        if (child == nullptr) {
          plist_free(dict);
          return nullptr;
        }
        plist_dict_set_item(dict, key.c_str(), child);
      }
      return dict;
    }
    default: return nullptr;
  }
}

}  // namespace

id parsePropertyList(const void* bytes, size_t length, CFOptionFlags mutability, bool* binary) {
  if (bytes == nullptr || length == 0) return nullptr;
  if (isBinaryPropertyList(bytes, length)) {
    id result = parseBinaryPropertyList(bytes, length, mutability);
    if (result != nullptr && binary) *binary = true;
    return result;
  }
  if (length > UINT32_MAX || !xmlNestingWithin(static_cast<const char*>(bytes), length, kMaxPlistDepth)) return nullptr;
  plist_t root = nullptr;
  plist_from_xml(static_cast<const char*>(bytes), static_cast<uint32_t>(length), &root);
  PlistPtr owner(root);
  if (root == nullptr) return nullptr;
  if (binary) *binary = false;
  return fromNode(root, mutability);
}

bool serializePropertyList(id object, bool binary, std::string& out) {
  if (binary) return writeBinaryPropertyList(object, out);
  PlistPtr root(toNode(object));
  if (!root) return false;
  char* bytes = nullptr;
  uint32_t length = 0;
  plist_to_xml(root.get(), &bytes, &length);
  if (bytes == nullptr) return false;
  out.assign(bytes, length);
  std::free(bytes);
  return true;
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
  bool binary = false;
  id result = parsePropertyList(d.bytes.data(), d.bytes.size(), options, &binary);
  if (result == nullptr) {
    reportError(error, "The data couldn't be read because it isn't in the correct format.");
    return nullptr;
  }
  if (format) *format = binary ? kCFPropertyListBinaryFormat_v1_0 : kCFPropertyListXMLFormat_v1_0;
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
  if (format != kCFPropertyListXMLFormat_v1_0 && format != kCFPropertyListBinaryFormat_v1_0) return false;
  std::string ignored;
  return serializePropertyList(toId(plist), true, ignored);
}

CFPropertyListRef CFPropertyListCreateDeepCopy(CFAllocatorRef, CFPropertyListRef propertyList, CFOptionFlags mutabilityOption) {
  std::string bytes;
  if (propertyList == nullptr || !serializePropertyList(toId(propertyList), true, bytes)) return nullptr;
  return parsePropertyList(bytes.data(), bytes.size(), mutabilityOption, nullptr);
}
