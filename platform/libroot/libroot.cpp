// Host stand-in for the jailbreak's root-path library.
//
// The jailbreak root is $RAVELO_JBROOT when set; otherwise the folder this library is installed in,
// less its "/usr/lib" (the library sits at <jbroot>/usr/lib/libroot.dylib, as on a device).
#include <dlfcn.h>
#include <limits.h>
#include <stdlib.h>
#include <string.h>

#include <string>

namespace {

constexpr size_t kPathMax = 1024;

std::string computePrefix() {
  if (const char* fromEnv = getenv("RAVELO_JBROOT"); fromEnv != nullptr && fromEnv[0] != '\0') return fromEnv;
  Dl_info info{};
  if (dladdr(reinterpret_cast<void*>(&computePrefix), &info) == 0 || info.dli_fname == nullptr) return "/var/jb";
  char resolved[PATH_MAX];
  if (realpath(info.dli_fname, resolved) == nullptr) return "/var/jb";
  std::string dir = resolved;
  dir = dir.substr(0, dir.rfind('/'));
  const std::string libDir = "/usr/lib";
  if (dir.size() >= libDir.size() && dir.compare(dir.size() - libDir.size(), libDir.size(), libDir) == 0)
    return dir.substr(0, dir.size() - libDir.size());
  return "/var/jb";
}

const std::string& prefix() {
  static const std::string value = computePrefix();
  return value;
}

}  // namespace

extern "C" {

#ifndef LIBROOT_PATHS_ONLY

__attribute__((visibility("default"))) const char* libroot_get_jbroot_prefix(void) { return prefix().c_str(); }

#endif
#ifndef LIBROOT_PREFIX_ONLY
#ifndef LIBROOT_PATHS_ONLY

__attribute__((visibility("default"))) const char* libroot_get_root_prefix(void) { return ""; }

__attribute__((visibility("default"))) const char* libroot_get_boot_uuid(void) {
  const char* fromEnv = getenv("RAVELO_BOOT_UUID");
  return fromEnv != nullptr ? fromEnv : "6B1F3C7E-2D94-4A58-9E0B-57C3A1D8F240";
}

#endif

// Absolute paths get the jailbreak root in front; relative paths are returned unchanged.
__attribute__((visibility("default"))) char* libroot_jbrootpath(const char* path, char* resolved) {
  if (path == nullptr) return nullptr;
  if (resolved == nullptr && (resolved = static_cast<char*>(malloc(kPathMax))) == nullptr) return nullptr;
  std::string result = path[0] == '/' ? prefix() + path : std::string(path);
  strncpy(resolved, result.c_str(), kPathMax - 1);
  resolved[kPathMax - 1] = '\0';
  return resolved;
}

// Paths below the jailbreak root lose it; other absolute paths are rootfs paths already.
__attribute__((visibility("default"))) char* libroot_rootfspath(const char* path, char* resolved) {
  if (path == nullptr) return nullptr;
  if (resolved == nullptr && (resolved = static_cast<char*>(malloc(kPathMax))) == nullptr) return nullptr;
  std::string p = path;
  const std::string& jb = prefix();
  if (p.compare(0, jb.size(), jb) == 0 && (p.size() == jb.size() || p[jb.size()] == '/'))
    p = p.size() == jb.size() ? "/" : p.substr(jb.size());
  strncpy(resolved, p.c_str(), kPathMax - 1);
  resolved[kPathMax - 1] = '\0';
  return resolved;
}

#endif

}  // extern "C"
