#include "device/fallback_file.h"

#include <sys/stat.h>

#include <cerrno>
#include <cstring>
#include <vector>

#include <CoreFoundation/CoreFoundation.h>

#include "device/plist_objects.h"
#include "host/corefoundation.h"
#include "host/file_changes.h"
#include "host/files.h"
#include "host/trace.h"

namespace sim::device {
namespace {

// The file's bytes when it is a regular file; nothing for no file; a problem for anything else, found
// without opening it (a FIFO in its place would block an open).
enum class Found { Nothing, File, Problem };
Found readFile(const std::string& path, std::string* bytes, std::string* problem) {
  struct stat st;
  if (stat(path.c_str(), &st) != 0) {
    if (errno == ENOENT) return Found::Nothing;
    *problem = "cannot read the fallback file: " + std::string(std::strerror(errno));
    return Found::Problem;
  }
  if (!S_ISREG(st.st_mode)) {
    const char* kind = S_ISFIFO(st.st_mode) ? "a FIFO" : S_ISDIR(st.st_mode) ? "a folder" : S_ISSOCK(st.st_mode) ? "a socket" : "a device";
    *problem = std::string("the fallback file is ") + kind + ", not a regular file (fallback delete removes it)";
    return Found::Problem;
  }
  if (!host::files::readRegular(path, *bytes)) {
    *problem = "cannot read the fallback file: " + std::string(std::strerror(errno));
    return Found::Problem;
  }
  return Found::File;
}

// The file's dictionary as a mutable copy (+1) and whether the file is binary; null with *problem set
// when the file is there but is not a property-list dictionary. No file gives an empty dictionary (and
// sets *missing, when given).
CFMutableDictionaryRef readDictionary(const std::string& path, bool* binary, std::string* problem, bool* missing = nullptr) {
  std::string bytes;
  *binary = false;
  Found found = readFile(path, &bytes, problem);
  if (missing != nullptr) *missing = found == Found::Nothing;
  switch (found) {
    case Found::Problem: return nullptr;
    case Found::Nothing:
      return CFDictionaryCreateMutable(nullptr, 0, &kCFTypeDictionaryKeyCallBacks, &kCFTypeDictionaryValueCallBacks);
    case Found::File: break;
  }
  CFDataRef data = CFDataCreate(nullptr, reinterpret_cast<const UInt8*>(bytes.data()), static_cast<CFIndex>(bytes.size()));
  CFPropertyListFormat format = kCFPropertyListXMLFormat_v1_0;
  CFPropertyListRef stored = CFPropertyListCreateWithData(nullptr, data, kCFPropertyListImmutable, &format, nullptr);
  CFRelease(data);
  if (stored == nullptr || CFGetTypeID(stored) != CFDictionaryGetTypeID()) {
    if (stored != nullptr) CFRelease(stored);
    *problem = "the fallback file is not a property-list dictionary (fallback delete starts afresh)";
    return nullptr;
  }
  *binary = format == kCFPropertyListBinaryFormat_v1_0;
  CFMutableDictionaryRef copy = CFDictionaryCreateMutableCopy(nullptr, 0, static_cast<CFDictionaryRef>(stored));
  CFRelease(stored);
  return copy;
}

// Whether a key or string anywhere in `value` holds a NUL character, which XML cannot.
bool holdsNul(CFTypeRef value) {
  CFTypeID type = CFGetTypeID(value);
  if (type == CFStringGetTypeID()) return host::cf::toStdString(value).find('\0') != std::string::npos;
  if (type == CFArrayGetTypeID()) {
    auto array = static_cast<CFArrayRef>(value);
    for (CFIndex i = 0; i < CFArrayGetCount(array); ++i)
      if (holdsNul(CFArrayGetValueAtIndex(array, i))) return true;
  }
  if (type == CFDictionaryGetTypeID()) {
    auto dict = static_cast<CFDictionaryRef>(value);
    std::vector<const void*> keys(static_cast<size_t>(CFDictionaryGetCount(dict))), values(keys.size());
    CFDictionaryGetKeysAndValues(dict, keys.data(), values.data());
    for (size_t i = 0; i < keys.size(); ++i)
      if (holdsNul(keys[i]) || holdsNul(values[i])) return true;
  }
  return false;
}

// Writes the file; `converting` when it is to change format (otherwise it keeps its own).
std::string write(const std::string& path, CFPropertyListRef plist, bool binary, bool converting = false) {
  std::string problem;
  if (!binary && holdsNul(plist))
    return std::string("XML cannot hold a NUL character in a key or string: nothing written ") +
           (converting ? "(the file stays binary)" : "(fallback format binary first)");
  if (!host::cf::writePlistFile(path, plist, binary, &problem)) return "the fallback file could not be written: " + problem;
  host::trace("file %s (%s) = %s", path.c_str(), binary ? "binary" : "xml", host::cf::describe(plist).c_str());
  return {};
}

}  // namespace

std::string removeFile(const std::string& path) {
  host::trace("$ rm -f %s", path.c_str());
  std::string problem;
  if (!host::files::removeEntry(path, false, &problem)) return "cannot remove " + path + ": " + problem;
  return {};
}

std::string editFallbackFile(const std::string& path, const std::vector<std::string>& words) {
  const std::string verb = words.empty() ? "" : words[0];
  if (verb == "delete" && words.size() == 1) return removeFile(path);
  bool binary = false;
  std::string problem;
  if (verb == "format" && words.size() == 2) {
    bool toBinary = words[1] == "binary";
    host::trace("$ plutil -convert %s %s", toBinary ? "binary1" : "xml1", path.c_str());
    bool missing = false;
    CFMutableDictionaryRef dict = readDictionary(path, &binary, &problem, &missing);
    if (dict == nullptr) return problem;
    if (missing) {
      CFRelease(dict);
      return "there is no fallback file to convert (fallback set writes one)";
    }
    problem = write(path, dict, toBinary, true);
    CFRelease(dict);
    return problem;
  }
  bool isSet = verb == "set" && words.size() == 4;
  if (!isSet && !(verb == "remove" && words.size() == 2)) return "the shell cannot edit the fallback file that way";

  values::Value value;
  values::Value::Kind kind = values::Value::String;
  if (isSet && (!values::kindNamed(words[2], &kind) || !values::parseTyped(kind, words[3], &value).empty()))
    return "no value of type " + words[2];
  CFPropertyListRef object = isSet ? newPropertyList(value) : nullptr;
  std::string key = shownKey(words[1]);
  if (isSet)
    host::trace("$ plutil -replace %s -%s %s %s", key.c_str(), words[2].c_str(), host::cf::describe(object).c_str(),
                path.c_str());
  else
    host::trace("$ plutil -remove %s %s", key.c_str(), path.c_str());

  CFMutableDictionaryRef dict = readDictionary(path, &binary, &problem);
  if (dict != nullptr) {
    CFStringRef keyString = host::cf::makeString(words[1]);
    if (isSet) CFDictionarySetValue(dict, keyString, object);
    else CFDictionaryRemoveValue(dict, keyString);
    CFRelease(keyString);
    problem = write(path, dict, binary);
    CFRelease(dict);
  }
  if (object != nullptr) CFRelease(object);
  return problem;
}

}  // namespace sim::device
