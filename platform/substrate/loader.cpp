#include "host/substrate.h"

#include <CoreFoundation/CoreFoundation.h>
#include <dlfcn.h>
#include <objc/runtime.h>

#include <algorithm>
#include <filesystem>

#include "host/device.h"
#include "host/files.h"
#include "host/trace.h"

namespace host::substrate {
namespace {

namespace fs = std::filesystem;

// The property list in `file`, XML or binary, read by CoreFoundation as the device's loader does (+1);
// null when the file is missing, not a regular file, or not a property list.
CFPropertyListRef readPlist(const fs::path& file) {
  std::string bytes;
  if (!host::files::readRegular(file.string(), bytes) || bytes.empty()) return nullptr;
  CFDataRef data = CFDataCreate(nullptr, reinterpret_cast<const UInt8*>(bytes.data()), static_cast<CFIndex>(bytes.size()));
  CFPropertyListRef root = CFPropertyListCreateWithData(nullptr, data, kCFPropertyListImmutable, nullptr, nullptr);
  CFRelease(data);
  return root;
}

std::string stringOf(CFTypeRef value) {
  if (value == nullptr || CFGetTypeID(value) != CFStringGetTypeID()) return {};
  auto string = static_cast<CFStringRef>(value);
  CFIndex size = CFStringGetMaximumSizeForEncoding(CFStringGetLength(string), kCFStringEncodingUTF8) + 1;
  std::string text(static_cast<size_t>(size), '\0');
  if (!CFStringGetCString(string, text.data(), size, kCFStringEncodingUTF8)) return {};
  text.resize(std::char_traits<char>::length(text.c_str()));
  return text;
}

// Whether any string of the array `list` satisfies `matches`.
template <typename Predicate>
bool anyString(CFTypeRef list, Predicate matches) {
  if (CFGetTypeID(list) != CFArrayGetTypeID()) return false;
  auto array = static_cast<CFArrayRef>(list);
  for (CFIndex i = 0; i < CFArrayGetCount(array); ++i) {
    std::string item = stringOf(CFArrayGetValueAtIndex(array, i));
    if (!item.empty() && matches(item)) return true;
  }
  return false;
}

bool filterMatches(CFTypeRef filterValue, const std::string& bundleId, const std::string& executableName) {
  if (filterValue == nullptr || CFGetTypeID(filterValue) != CFDictionaryGetTypeID()) return false;
  auto filter = static_cast<CFDictionaryRef>(filterValue);
  bool any = stringOf(CFDictionaryGetValue(filter, CFSTR("Mode"))) == "Any";
  int kinds = 0, matched = 0;
  if (CFTypeRef bundles = CFDictionaryGetValue(filter, CFSTR("Bundles"))) {
    ++kinds;
    matched += anyString(bundles, [&](const std::string& b) { return b == bundleId; });
  }
  if (CFTypeRef executables = CFDictionaryGetValue(filter, CFSTR("Executables"))) {
    ++kinds;
    matched += anyString(executables, [&](const std::string& e) { return !executableName.empty() && e == executableName; });
  }
  if (CFTypeRef classes = CFDictionaryGetValue(filter, CFSTR("Classes"))) {
    ++kinds;
    matched += anyString(classes, [](const std::string& c) { return objc_getClass(c.c_str()) != Nil; });
  }
  if (kinds == 0) return false;
  return any ? matched > 0 : matched == kinds;
}

}  // namespace

std::vector<LoadedTweak> loadTweaks(const std::string& bundleId, const std::string& jbroot,
                                    const std::string& executableName) {
  std::vector<LoadedTweak> result;
  fs::path folder = fs::path(jbroot) / "Library/MobileSubstrate/DynamicLibraries";
  std::error_code ec;
  std::vector<fs::path> plists;
  for (const auto& entry : fs::directory_iterator(folder, ec))
    if (entry.path().extension() == ".plist") plists.push_back(entry.path());
  std::sort(plists.begin(), plists.end());

  for (const fs::path& plistFile : plists) {
    fs::path dylib = plistFile;
    dylib.replace_extension(".dylib");
    if (!host::files::isReadableRegular(dylib.string())) continue;
    CFPropertyListRef root = readPlist(plistFile);
    bool wanted = root != nullptr && CFGetTypeID(root) == CFDictionaryGetTypeID() &&
                  filterMatches(CFDictionaryGetValue(static_cast<CFDictionaryRef>(root), CFSTR("Filter")), bundleId,
                                executableName);
    if (root != nullptr) CFRelease(root);
    if (!wanted) continue;

    // Traced before the dlopen, so the line comes before whatever the tweak's initialiser does.
    LoadedTweak tweak{dylib.string(), false, {}};
    host::trace("substrate load %s", tweak.dylib.c_str());
    if (host::device::openImage(tweak.dylib, RTLD_NOW | RTLD_GLOBAL, &tweak.error)) {
      tweak.loaded = true;
    } else {
      host::trace("substrate load %s failed: %s", tweak.dylib.c_str(), tweak.error.c_str());
    }
    result.push_back(std::move(tweak));
  }
  return result;
}

}  // namespace host::substrate
