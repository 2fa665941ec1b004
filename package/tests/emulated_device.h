// What the emulated-device tests share: the slices of a deliverable the emulator can run, a device
// root on this machine (the preferences store and files below it, through the host stand-in), and
// where the device has our binaries.
#pragma once

#include <CoreFoundation/CoreFoundation.h>

#include <string>
#include <vector>

#include "device_build.h"
#include "process.h"
#include "support/temp_dir.h"

namespace emulated {

inline const std::string kTweakPath = "/var/jb/Library/MobileSubstrate/DynamicLibraries/Ravelo.dylib";
inline const std::string kPanePath = "/var/jb/Library/PreferenceBundles/RaveloPrefs.bundle/RaveloPrefs";

struct Slice {
  std::string name;  // "arm64", "arm64e"
  macho::Image image;
};

// Every slice of the deliverable the emulator runs: each plain arm64 one, and an arm64e one only when
// the emulated CPU authenticates pointers (see Arm64e.* for the reason when it does not).
std::vector<Slice> runnableSlices(const device::Deliverable& deliverable);

// A fresh device root for one test: the host preferences store and the files the binaries read.
class DeviceRoot {
 public:
  DeviceRoot();
  void set(const char* key, CFPropertyListRef value);  // null removes the key
  void setBool(const char* key, bool value);
  void setInt(const char* key, long long value);
  void setString(const char* key, const char* value);
  void writeFile(const std::string& devicePath, const std::string& contents);

 private:
  testing_support::TempDir dir_;
};

}  // namespace emulated
