// The shipped device binaries in a process of this machine (the simulated SpringBoard or Settings
// app, or a test): the jailbreak's loader and NSBundle load Ravelo.dylib and RaveloPrefs (the Mach-O
// files the package ships) into one emulated Process backed by this process's own stand-ins, instead
// of the host build's libraries.
#pragma once

#include <string>
#include <vector>

namespace emu {

// From now on every image this process opens through host::device::openImage runs on the emulator:
// its `architecture` slice ("arm64", or "arm64e" on a CPU that authenticates pointers), in one
// Process made at the first image, with `program` as argv[0] for its initialisers and the framework
// classes in `hiddenClasses` missing to it. An image that cannot be loaded is a failed open, with
// dyld's kind of reason. A stop in the emulated code is traced ("emulator stopped: ...") and ends the
// process, as a crash would on the device.
void runDeviceBinaries(const std::string& architecture, const std::string& program,
                       const std::vector<std::string>& hiddenClasses);

}  // namespace emu
