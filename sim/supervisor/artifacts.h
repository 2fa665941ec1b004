// The built pieces the simulated device is laid out from, where this build tree keeps them.
#pragma once

#include <filesystem>
#include <string>
#include <vector>

namespace sim {

struct Artifacts {
  std::filesystem::path tweakDylib;        // Ravelo.dylib
  std::filesystem::path filterPlist;       // Ravelo.plist (empty: the simulator writes one)
  std::filesystem::path paneBundle;        // RaveloPrefs.bundle, built
  std::filesystem::path paneResources;     // prefs/resources (entry.plist and the bundle's resources)
  std::filesystem::path libroot;           // the libroot.dylib stand-in
  std::vector<std::filesystem::path> sounds;  // the 45 catalogue sounds
  std::filesystem::path programs;          // folder of killall, backboardd, ravelo-springboard, ravelo-settings
  std::filesystem::path deviceBinaries;    // the device build's Ravelo.dylib and RaveloPrefs (empty: none made)
};

// The artifacts of this build; `programs` is the folder of the running executable.
Artifacts builtArtifacts();

// Checks that the device binaries have an `architecture` slice the emulator can run; throws
// std::runtime_error saying what is missing.
void checkDeviceBinaries(const Artifacts& artifacts, const std::string& architecture);

}  // namespace sim
