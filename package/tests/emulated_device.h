// What the emulated-device tests share: the slices of a deliverable the emulator can run, and a test
// body run in a fresh process of this machine that runs those slices instead of the host build's
// libraries (emu::runDeviceBinaries), backed by the stand-ins the process links.
#pragma once

#include <functional>
#include <optional>
#include <string>

#include "device_build.h"

namespace emulated {

// The slices every emulated test runs on, one test instance each.
inline const std::string kSliceNames[] = {"arm64", "arm64e"};
inline std::string sliceTestName(const testing::TestParamInfo<std::string>& info) { return info.param; }

// Why a test of the slice `name` ("arm64" or "arm64e") of the deliverable is skipped: the device
// build made no such slice. "" when it did.
std::string missingSliceReason(const device::Deliverable& deliverable, const std::string& name);

// Runs `body` in a fresh child process (the binaries hook and register classes once per process, as
// on the device) where every image opened as SpringBoard's or the Settings app's (`program`) is the
// slice `name` of the device binaries under emulation. A stop of the emulated code fails the test.
void inEmulatedProcess(const std::string& name, const std::string& program, const std::function<void()>& body);

}  // namespace emulated
