#include "supervisor/device_files.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "host/file_changes.h"
#include "host/files.h"

namespace sim {
namespace fs = std::filesystem;
namespace {

std::string hostPathOf(const DeviceFolders& device, const std::string& devicePath) {
  return device.hostPath(devicePath).string();
}

// A problem from host/file_changes.h, with the host paths in it shown as device paths.
std::string shown(const DeviceFolders& device, std::string problem) {
  const std::string root = device.root.string();
  for (size_t at; (at = problem.find(root + "/")) != std::string::npos;) problem.erase(at, root.size());
  return problem;
}

}  // namespace

std::string readersOf(const std::string& devicePath) {
  static const std::pair<const char*, const char*> kReaders[] = {
      {"/var/jb/Library/MobileSubstrate/", "SpringBoard and the Settings app (the jailbreak's loader)"},
      {"/var/jb/Library/Sounds/", "SpringBoard"},
      {"/var/jb/Library/PreferenceBundles/", "the Settings app"},
      {"/var/jb/Library/PreferenceLoader/", "the Settings app"},
      {"/var/jb/usr/bin/killall", "killall"},
      {"/var/jb/usr/lib/", "SpringBoard and the Settings app"},
      {"/var/jb/var/mobile/Library/Preferences/", "SpringBoard"},
  };
  for (const auto& [prefix, readers] : kReaders)
    if (devicePath.rfind(prefix, 0) == 0) return readers;
  return "the processes that read it";
}

std::string removeInstalledFile(const DeviceFolders& device, const std::string& devicePath) {
  std::string problem;
  std::optional<host::files::Place> place = host::files::placeOf(hostPathOf(device, devicePath), false, &problem);
  struct stat st;
  if (!place) {
    if (errno == ENOENT) return "there is no file at " + devicePath;
    return "cannot remove " + devicePath + ": " + shown(device, problem);
  }
  if (fstatat(place->folder.fd(), place->name.c_str(), &st, AT_SYMLINK_NOFOLLOW) != 0) return "there is no file at " + devicePath;
  if (S_ISDIR(st.st_mode)) return devicePath + " is a folder, not a file";
  if (unlinkat(place->folder.fd(), place->name.c_str(), 0) != 0)
    return "cannot remove " + devicePath + ": " + std::strerror(errno);
  return {};
}

std::optional<HostFile> readHostFile(const std::string& from) {
  HostFile file;
  struct stat info {};
  if (!host::files::readRegular(from, file.bytes, &info)) return std::nullopt;
  file.mode = info.st_mode & 07777;
  return file;
}

std::string writeIntoDevice(const DeviceFolders& device, const HostFile& file, const std::string& devicePath) {
  std::string to = hostPathOf(device, devicePath);
  std::error_code ec;
  if (fs::is_directory(fs::symlink_status(to, ec))) return devicePath + " is a folder, not a file";
  // An executable stays executable (killall).
  std::string problem;
  if (!host::files::replaceFile(to, file.bytes, file.mode, false, &problem))
    return "cannot write " + devicePath + ": " + shown(device, problem);
  return {};
}

std::string copyIntoDevice(const DeviceFolders& device, const std::string& from, const std::string& devicePath) {
  std::optional<HostFile> file = readHostFile(from);
  return file ? writeIntoDevice(device, *file, devicePath) : "cannot read " + from;
}

std::string storeDevicePath() { return "/var/mobile/Library/Preferences/xyz.dorvu..ravelo.plist"; }
std::string fallbackDevicePath() { return "/var/jb/var/mobile/Library/Preferences/com.tamsel.ravelo.plist"; }

}  // namespace sim
