// What the emulated-device tests share: the slices of a deliverable the emulator can run, a device
// root on this machine (the preferences store and files below it, through the host stand-in), and
// where the device has our binaries.
#pragma once

#include <CoreFoundation/CoreFoundation.h>

#include <optional>
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

// The slices every emulated test runs on, one test instance each.
inline const std::string kSliceNames[] = {"arm64", "arm64e"};
inline std::string sliceTestName(const testing::TestParamInfo<std::string>& info) { return info.param; }

// The deliverable's slice `name` ("arm64" or "arm64e"), or nothing when the device build made none.
std::optional<Slice> sliceOf(const device::Deliverable& deliverable, const std::string& name);

// Why a test of a slice the device build did not make is skipped.
std::string missingSliceReason(const device::Deliverable& deliverable, const std::string& name);

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
