// Changing the device's files from outside, as a person with the device's disk would: installed pieces
// removed or replaced, and the store or the fallback file replaced byte for byte.
#pragma once

#include <sys/types.h>

#include <optional>
#include <string>

#include "supervisor/layout.h"

namespace sim {

// Which processes read the installed file at `devicePath` (/var/jb/...), for the transcript:
// "SpringBoard", "the Settings app", "SpringBoard and the Settings app", "killall"...
std::string readersOf(const std::string& devicePath);

// Removes the installed file at `devicePath`; "" or why not (no such file, a folder).
std::string removeInstalledFile(const DeviceFolders& device, const std::string& devicePath);

// A host file's bytes as reading gives them (all of a file whose size stat does not know, as /proc's),
// and its permissions; nullopt when it cannot be read.
struct HostFile {
  std::string bytes;
  mode_t mode = 0644;
};
std::optional<HostFile> readHostFile(const std::string& from);

// Writes `file` to `devicePath` (creating its folder), replacing it at once (a reader sees the old file
// or the new one, never half of one); "" or why not.
std::string writeIntoDevice(const DeviceFolders& device, const HostFile& file, const std::string& devicePath);

// readHostFile, then writeIntoDevice.
std::string copyIntoDevice(const DeviceFolders& device, const std::string& from, const std::string& devicePath);

// Device paths of the preferences domain's store and of the tweak's fallback file.
std::string storeDevicePath();
std::string fallbackDevicePath();

}  // namespace sim
