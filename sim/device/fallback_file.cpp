#include "device/fallback_file.h"

#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <fstream>

#include <CoreFoundation/CoreFoundation.h>

#include "device/plist_objects.h"
#include "host/corefoundation.h"
#include "host/trace.h"

namespace sim::device {
namespace {

bool isBinaryFile(const std::string& path) {
  char magic[8] = {};
  std::ifstream in(path, std::ios::binary);
  return in.read(magic, sizeof magic) && std::memcmp(magic, "bplist00", sizeof magic) == 0;
}

bool exists(const std::string& path) { return access(path.c_str(), F_OK) == 0; }

// The file's dictionary as a mutable copy (+1); null with *problem set when the file is there but is
// not a property-list dictionary. A missing file gives an empty dictionary.
CFMutableDictionaryRef readDictionary(const std::string& path, std::string* problem) {
  if (!exists(path))
    return CFDictionaryCreateMutable(nullptr, 0, &kCFTypeDictionaryKeyCallBacks, &kCFTypeDictionaryValueCallBacks);
  CFPropertyListRef stored = host::cf::readPlistFile(path);
  if (stored == nullptr || CFGetTypeID(stored) != CFDictionaryGetTypeID()) {
    if (stored != nullptr) CFRelease(stored);
    *problem = "the fallback file is not a property-list dictionary (fallback delete starts afresh)";
    return nullptr;
  }
  CFMutableDictionaryRef copy = CFDictionaryCreateMutableCopy(nullptr, 0, static_cast<CFDictionaryRef>(stored));
  CFRelease(stored);
  return copy;
}

std::string write(const std::string& path, CFPropertyListRef plist, bool binary) {
  if (!host::cf::writePlistFile(path, plist, binary)) return "the fallback file could not be written";
  host::trace("file %s (%s) = %s", path.c_str(), binary ? "binary" : "xml", host::cf::describe(plist).c_str());
  return {};
}

}  // namespace

std::string removeFile(const std::string& path) {
  host::trace("$ rm -f %s", path.c_str());
  if (unlink(path.c_str()) != 0 && errno != ENOENT) return "cannot remove " + path + ": " + std::strerror(errno);
  return {};
}

std::string editFallbackFile(const std::string& path, const std::vector<std::string>& words) {
  const std::string verb = words.empty() ? "" : words[0];
  if (verb == "delete" && words.size() == 1) return removeFile(path);
  if (verb == "format" && words.size() == 2) {
    bool binary = words[1] == "binary";
    host::trace("$ plutil -convert %s %s", binary ? "binary1" : "xml1", path.c_str());
    if (!exists(path)) return "there is no fallback file to convert (fallback set writes one)";
    std::string problem;
    CFMutableDictionaryRef dict = readDictionary(path, &problem);
    if (dict == nullptr) return problem;
    problem = write(path, dict, binary);
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
  if (isSet)
    host::trace("$ plutil -replace %s -%s %s %s", words[1].c_str(), words[2].c_str(), host::cf::describe(object).c_str(),
                path.c_str());
  else
    host::trace("$ plutil -remove %s %s", words[1].c_str(), path.c_str());

  bool binary = exists(path) && isBinaryFile(path);
  std::string problem;
  CFMutableDictionaryRef dict = readDictionary(path, &problem);
  if (dict != nullptr) {
    CFStringRef key = host::cf::makeString(words[1]);
    if (isSet) CFDictionarySetValue(dict, key, object);
    else CFDictionaryRemoveValue(dict, key);
    CFRelease(key);
    problem = write(path, dict, binary);
    CFRelease(dict);
  }
  if (object != nullptr) CFRelease(object);
  return problem;
}

}  // namespace sim::device
