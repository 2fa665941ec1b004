// The shipped device binaries in a simulated device process: with --device-binaries ARCH, the
// jailbreak's loader and NSBundle load Ravelo.dylib and RaveloPrefs (the Mach-O files the package
// ships) into an emulated process backed by this process's own frameworks, instead of the host
// build's libraries.
#pragma once

#include <string>
#include <vector>

namespace sim::device {

// From now on every image this process loads runs on the emulator: its `architecture` slice
// ("arm64", or "arm64e" on a CPU that authenticates pointers), with `program` as argv[0] for its
// initialisers and the framework classes in `hiddenClasses` missing to it. A stop in the emulated
// code is traced ("emulator stopped: ...") and ends the process, as a crash would on the device.
void runDeviceBinaries(const std::string& architecture, const std::string& program,
                       const std::vector<std::string>& hiddenClasses);

}  // namespace sim::device
