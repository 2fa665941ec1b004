#include "host/substrate.h"

#include <dlfcn.h>
#include <objc/runtime.h>
#include <plist/plist.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>

#include "host/trace.h"

namespace host::substrate {
namespace {

namespace fs = std::filesystem;

// The property list in `file`, XML or binary; null when unreadable.
plist_t readPlist(const fs::path& file) {
  std::ifstream in(file, std::ios::binary);
  if (!in) return nullptr;
  std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  plist_t root = nullptr;
  if (bytes.empty()) return nullptr;
  plist_from_memory(bytes.data(), static_cast<uint32_t>(bytes.size()), &root);
  return root;
}

std::string stringOf(plist_t node) {
  if (node == nullptr || plist_get_node_type(node) != PLIST_STRING) return {};
  char* value = nullptr;
  plist_get_string_val(node, &value);
  std::string result = value != nullptr ? value : "";
  std::free(value);
  return result;
}

// Whether any string of the array `list` satisfies `matches`.
template <typename Predicate>
bool anyString(plist_t list, Predicate matches) {
  if (plist_get_node_type(list) != PLIST_ARRAY) return false;
  for (uint32_t i = 0; i < plist_array_get_size(list); ++i) {
    std::string item = stringOf(plist_array_get_item(list, i));
    if (!item.empty() && matches(item)) return true;
  }
  return false;
}

bool filterMatches(plist_t filter, const std::string& bundleId, const std::string& executableName) {
  if (filter == nullptr || plist_get_node_type(filter) != PLIST_DICT) return false;
  bool any = stringOf(plist_dict_get_item(filter, "Mode")) == "Any";
  int kinds = 0, matched = 0;
  if (plist_t bundles = plist_dict_get_item(filter, "Bundles")) {
    ++kinds;
    matched += anyString(bundles, [&](const std::string& b) { return b == bundleId; });
  }
  if (plist_t executables = plist_dict_get_item(filter, "Executables")) {
    ++kinds;
    matched += anyString(executables, [&](const std::string& e) { return !executableName.empty() && e == executableName; });
  }
  if (plist_t classes = plist_dict_get_item(filter, "Classes")) {
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
    if (!fs::exists(dylib, ec)) continue;
    plist_t root = readPlist(plistFile);
    bool wanted = root != nullptr && plist_get_node_type(root) == PLIST_DICT &&
                  filterMatches(plist_dict_get_item(root, "Filter"), bundleId, executableName);
    if (root != nullptr) plist_free(root);
    if (!wanted) continue;

    // Traced before the dlopen, so the line comes before whatever the tweak's initialiser does.
    LoadedTweak tweak{dylib.string(), false, {}};
    host::trace("substrate load %s", tweak.dylib.c_str());
    if (dlopen(tweak.dylib.c_str(), RTLD_NOW | RTLD_GLOBAL) != nullptr) {
      tweak.loaded = true;
    } else {
      const char* error = dlerror();
      tweak.error = error != nullptr ? error : "unknown error";
      host::trace("substrate load %s failed: %s", tweak.dylib.c_str(), tweak.error.c_str());
    }
    result.push_back(std::move(tweak));
  }
  return result;
}

}  // namespace host::substrate
