// Laying out the simulated device: a folder that holds the device root's /var, with the jailbreak
// root at var/jb and the preferences store at var/mobile/Library/Preferences.
#pragma once

#include <filesystem>
#include <stdexcept>
#include <string>
#include <vector>

#include "supervisor/artifacts.h"

namespace sim {

class LayoutError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// Where things are in a laid-out device root R.
struct DeviceFolders {
  std::filesystem::path root;     // R (canonical)
  std::filesystem::path jbroot;   // R/var/jb
  std::filesystem::path preferences() const { return root / "var/mobile/Library/Preferences"; }
  std::filesystem::path run() const { return root / "var/run"; }
  std::filesystem::path tweaks() const { return jbroot / "Library/MobileSubstrate/DynamicLibraries"; }
  std::filesystem::path killall() const { return jbroot / "usr/bin/killall"; }
};

// Lays the device out in `root` (created if missing; what the simulator installs is replaced, the
// preferences store is kept): the sound pack, the pane bundle and its PreferenceLoader entry, the
// tweak with its filter plist, killall, and the libroot stand-in unless `withLibroot` is false (an
// older copy is then removed). With `deviceBinaries` the tweak and the pane's executable are the
// device build's Mach-O files, else the host build's. Returns one description line per piece, with
// host paths; throws LayoutError naming what is missing from the build.
std::vector<std::string> layOutDevice(const DeviceFolders& device, const Artifacts& artifacts, bool withLibroot,
                                      bool deviceBinaries = false);

}  // namespace sim
