#include "host/device.h"
#include "host/files.h"

#include <cstdio>
#include <cstdlib>
#include <dlfcn.h>
#include <unistd.h>

namespace host::device {

std::string root() {
  const char* value = std::getenv("RAVELO_DEVICE_ROOT");
  if (value == nullptr || value[0] == '\0') {
    std::fprintf(stderr, "host: no simulated device root: set RAVELO_DEVICE_ROOT\n");
    std::abort();
  }
  return value;
}

void setRoot(const std::string& folder) { setenv("RAVELO_DEVICE_ROOT", folder.c_str(), 1); }

std::string path(const std::string& devicePath) { return root() + devicePath; }

void preloadRootLibraryForSanitizer(const std::string& path) {
#if defined(RAVELO_SANITIZE)
  if (host::files::isReadableRegular(path)) dlopen(path.c_str(), RTLD_NOW | RTLD_GLOBAL);
#else
  (void)path;
#endif
}

namespace {
ImageOpener installedOpener = nullptr;
}  // namespace

void setImageOpener(ImageOpener opener) { installedOpener = opener; }

bool openImage(const std::string& path, int flags, std::string* error) {
  if (installedOpener != nullptr) return installedOpener(path, flags, error);
  if (dlopen(path.c_str(), flags) != nullptr) return true;
  const char* why = dlerror();
  if (error != nullptr) *error = why != nullptr ? why : "unknown error";
  return false;
}

}  // namespace host::device
