#include "device/class_hiding.h"

#include <dlfcn.h>
#include <objc/runtime.h>

#include <CoreFoundation/CoreFoundation.h>

#include "host/corefoundation.h"

namespace {

std::vector<std::string>& hiddenNames() {
  static auto* names = new std::vector<std::string>;
  return *names;
}

std::string& installedPrefix() {
  static auto* prefix = new std::string;
  return *prefix;
}

bool isHidden(const char* name) {
  if (name == nullptr) return false;
  for (const std::string& hidden : hiddenNames())
    if (hidden == name) return true;
  return false;
}

// Whether the code at `address` belongs to an image loaded from below the jailbreak root.
bool isInstalledCode(const void* address) {
  Dl_info info{};
  if (dladdr(address, &info) == 0 || info.dli_fname == nullptr) return false;
  return std::string(info.dli_fname).rfind(installedPrefix(), 0) == 0;
}

template <typename F>
F next(const char* symbol) {
  return reinterpret_cast<F>(dlsym(RTLD_NEXT, symbol));
}

}  // namespace

extern "C" __attribute__((visibility("default"))) Class objc_getClass(const char* name) {
  static auto real = next<Class (*)(const char*)>("objc_getClass");
  if (isHidden(name) && isInstalledCode(__builtin_return_address(0))) return Nil;
  return real(name);
}

extern "C" __attribute__((visibility("default"))) Class objc_lookUpClass(const char* name) {
  static auto real = next<Class (*)(const char*)>("objc_lookUpClass");
  if (isHidden(name) && isInstalledCode(__builtin_return_address(0))) return Nil;
  return real(name);
}

extern "C" __attribute__((visibility("default"))) Class NSClassFromString(id name) {
  static auto real = next<Class (*)(id)>("NSClassFromString");
  if (!hiddenNames().empty() && name != nullptr && isHidden(host::cf::toStdString(reinterpret_cast<CFTypeRef>(name)).c_str()) &&
      isInstalledCode(__builtin_return_address(0)))
    return Nil;
  return real(name);
}

namespace sim::device {

void hideClassesFromInstalledCode(const std::vector<std::string>& names, const std::string& jbroot) {
  hiddenNames() = names;
  installedPrefix() = jbroot + "/";
}

}  // namespace sim::device
