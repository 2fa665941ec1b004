#include "rootpath/rootpath.h"

#include <dispatch/dispatch.h>
#include <dlfcn.h>
#include <stdlib.h>
#include <string.h>

#ifndef RAVELO_LIBROOT_NAME
#error "the build names the root-path library (RAVELO_LIBROOT_NAME)"
#endif

namespace {

using PrefixFn = const char* (*)(void);
using PathFn = char* (*)(const char*, char*);

// The binding table, filled once and read-only afterwards.
struct Binding {
  PrefixFn rootPrefix;
  PrefixFn jbrootPrefix;
  PrefixFn bootUuid;
  PathFn jbrootPath;
  PathFn rootfsPath;
};
Binding binding;
dispatch_once_t bindingOnce;

const char* fallbackRootPrefix(void) { return ""; }
const char* fallbackJbrootPrefix(void) { return "/var/jb"; }
const char* fallbackBootUuid(void) { return "00000000-0000-0000-0000-000000000000"; }

char* fallbackJbrootPath(const char* path, char* buffer) {
  if (path == nullptr) return nullptr;
  if (buffer == nullptr && (buffer = static_cast<char*>(malloc(kRootPathBufferSize))) == nullptr) return nullptr;
  if (path[0] == '/') {
    strlcpy(buffer, jbrootPrefix(), kRootPathBufferSize);
    strlcat(buffer, path, kRootPathBufferSize);
  } else {
    strlcpy(buffer, path, kRootPathBufferSize);
  }
  return buffer;
}

char* fallbackRootfsPath(const char* path, char* buffer) {
  if (path == nullptr) return nullptr;
  if (buffer == nullptr && (buffer = static_cast<char*>(malloc(kRootPathBufferSize))) == nullptr) return nullptr;
  const char* root = rootPrefix();
  const char* jbroot = jbrootPrefix();
  size_t n = strlen(jbroot);
  if (path[0] == '/') {
    if (strncmp(path, jbroot, n) != 0) {
      strlcpy(buffer, root, kRootPathBufferSize);
      strlcat(buffer, path, kRootPathBufferSize);
    } else {
      strlcpy(buffer, path + n, kRootPathBufferSize);
    }
  } else {
    strlcpy(buffer, path, kRootPathBufferSize);
  }
  return buffer;
}

template <typename Fn>
Fn lookUp(void* library, const char* symbol) {
  return library != nullptr ? reinterpret_cast<Fn>(dlsym(library, symbol)) : nullptr;
}

void bind(void*) {
  // The handle stays open for the life of the process.
  void* library = dlopen(RAVELO_LIBROOT_NAME, RTLD_NOW);
  binding.rootPrefix = lookUp<PrefixFn>(library, "libroot_get_root_prefix");
  binding.jbrootPrefix = lookUp<PrefixFn>(library, "libroot_get_jbroot_prefix");
  binding.bootUuid = lookUp<PrefixFn>(library, "libroot_get_boot_uuid");
  binding.jbrootPath = lookUp<PathFn>(library, "libroot_jbrootpath");
  binding.rootfsPath = lookUp<PathFn>(library, "libroot_rootfspath");
  if (binding.rootPrefix == nullptr) binding.rootPrefix = fallbackRootPrefix;
  if (binding.jbrootPrefix == nullptr) binding.jbrootPrefix = fallbackJbrootPrefix;
  if (binding.bootUuid == nullptr) binding.bootUuid = fallbackBootUuid;
  if (binding.jbrootPath == nullptr) binding.jbrootPath = fallbackJbrootPath;
  if (binding.rootfsPath == nullptr) binding.rootfsPath = fallbackRootfsPath;
}

const Binding& bound() {
  dispatch_once_f(&bindingOnce, nullptr, bind);
  return binding;
}

}  // namespace

char* jbrootPath(const char* path, char* buffer) { return bound().jbrootPath(path, buffer); }
char* rootfsPath(const char* path, char* buffer) { return bound().rootfsPath(path, buffer); }
const char* rootPrefix(void) { return bound().rootPrefix(); }
const char* jbrootPrefix(void) { return bound().jbrootPrefix(); }
const char* bootUuid(void) { return bound().bootUuid(); }
