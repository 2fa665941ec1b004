// Laying out the simulated device: a folder that holds the device root's /var, with the jailbreak
// root at var/jb and the preferences store at var/mobile/Library/Preferences.
#pragma once

#include <filesystem>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

#include "supervisor/artifacts.h"

namespace sim {

class LayoutError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// Where a jailbreak keeps its root. VarJb: at /var/jb itself (palera1n). Preboot: as Dopamine 2 does,
// in a folder of the boot volume's preboot area, with /var/jb a symbolic link to it; the root-path
// library answers the real folder.
enum class JbrootLayout { VarJb, Preboot };

// "var-jb" or "preboot"; nullopt for any other name.
std::optional<JbrootLayout> layoutNamed(const std::string& name);
const char* layoutName(JbrootLayout layout);

// The device path of the jailbreak root in `layout`: "/var/jb", or the fixed Dopamine-style
// "/private/preboot/<boot manifest hash>/dopamine-<six letters>/procursus" (fixed, so that transcripts
// do not change from run to run).
std::string jbrootDevicePath(JbrootLayout layout);

// Where things are in a laid-out device root R.
struct DeviceFolders {
  std::filesystem::path root;     // R (canonical)
  std::filesystem::path jbroot;   // the jailbreak root's real folder: R/var/jb, or R/private/preboot/...
  DeviceFolders() = default;
  explicit DeviceFolders(std::filesystem::path r, JbrootLayout layout = JbrootLayout::VarJb)
      : root(std::move(r)), jbroot(root / std::filesystem::path(jbrootDevicePath(layout)).relative_path()) {}
  // The host path of a device path; one below /var/jb is taken to the jailbreak root's real folder, as
  // the link there leads (the simulator never goes through the link itself).
  std::filesystem::path hostPath(const std::string& devicePath) const;
  std::filesystem::path preferences() const { return root / "var/mobile/Library/Preferences"; }
  std::filesystem::path run() const { return root / "var/run"; }
  std::filesystem::path tweaks() const { return jbroot / "Library/MobileSubstrate/DynamicLibraries"; }
  std::filesystem::path killall() const { return jbroot / "usr/bin/killall"; }
};

// Lays the device out in `root` (created if missing; what the simulator installs is replaced, the
// preferences store is kept): the jailbreak root at `device.jbroot` (in the preboot layout with R/var/jb
// a relative link to it; a kept root laid out the other way has its jailbreak root moved, with
// everything in it), the sound pack, the pane bundle and its PreferenceLoader entry, the
// tweak with its filter plist, killall, and the libroot stand-in unless `withLibroot` is false (an
// older copy is then removed). With `deviceBinaries` the tweak and the pane's executable are the
// device build's Mach-O files, else the host build's. Returns one description line per piece, with
// host paths; throws LayoutError naming what is missing from the build.
std::vector<std::string> layOutDevice(const DeviceFolders& device, const Artifacts& artifacts, bool withLibroot,
                                      bool deviceBinaries = false);

}  // namespace sim
