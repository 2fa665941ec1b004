#include "emulated_device.h"

#include "host/device.h"

namespace emulated {
namespace {

const CFStringRef kDomain = CFSTR("xyz.dorvu..ravelo");

}  // namespace

std::optional<Slice> sliceOf(const device::Deliverable& deliverable, const std::string& name) {
  for (macho::Image& image : device::slicesOf(deliverable)) {
    if (macho::architectureName(image) == name) return Slice{name, std::move(image)};
  }
  return std::nullopt;
}

std::string missingSliceReason(const device::Deliverable& deliverable, const std::string& name) {
  return "the device build made no " + name + " slice of " + deliverable.file +
         (name == "arm64e" ? " (it needs Apple's linker: package/README.md)" : "");
}

DeviceRoot::DeviceRoot() { host::device::setRoot(dir_.path().string()); }

void DeviceRoot::set(const char* key, CFPropertyListRef value) {
  CFStringRef k = CFStringCreateWithCString(kCFAllocatorDefault, key, kCFStringEncodingUTF8);
  CFPreferencesSetValue(k, value, kDomain, kCFPreferencesCurrentUser, kCFPreferencesAnyHost);
  CFPreferencesSynchronize(kDomain, kCFPreferencesCurrentUser, kCFPreferencesAnyHost);
  CFRelease(k);
}

void DeviceRoot::setBool(const char* key, bool value) { set(key, value ? kCFBooleanTrue : kCFBooleanFalse); }

void DeviceRoot::setInt(const char* key, long long value) {
  CFNumberRef n = CFNumberCreate(kCFAllocatorDefault, kCFNumberLongLongType, &value);
  set(key, n);
  CFRelease(n);
}

void DeviceRoot::setString(const char* key, const char* value) {
  CFStringRef s = CFStringCreateWithCString(kCFAllocatorDefault, value, kCFStringEncodingUTF8);
  set(key, s);
  CFRelease(s);
}

void DeviceRoot::writeFile(const std::string& devicePath, const std::string& contents) {
  testing_support::writeFile(host::device::path(devicePath), contents);
}

}  // namespace emulated
