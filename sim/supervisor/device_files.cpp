#include "supervisor/device_files.h"

#include <fstream>
#include <iterator>

namespace sim {
namespace fs = std::filesystem;
namespace {

fs::path hostPathOf(const DeviceFolders& device, const std::string& devicePath) {
  return device.root / fs::path(devicePath).relative_path();
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
  fs::path path = hostPathOf(device, devicePath);
  std::error_code ec;
  fs::file_status status = fs::symlink_status(path, ec);
  if (!fs::exists(status)) return "there is no file at " + devicePath;
  if (fs::is_directory(status)) return devicePath + " is a folder, not a file";
  if (!fs::remove(path, ec)) return "cannot remove " + devicePath + ": " + ec.message();
  return {};
}

std::string copyIntoDevice(const DeviceFolders& device, const std::string& from, const std::string& devicePath) {
  fs::path to = hostPathOf(device, devicePath);
  std::error_code ec;
  if (fs::is_directory(to, ec)) return devicePath + " is a folder, not a file";
  std::ifstream in(from, std::ios::binary);
  if (!in) return "cannot read " + from;
  std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  fs::create_directories(to.parent_path(), ec);
  fs::path temporary = to;
  temporary += ".ravelo-sim-copy";
  {
    std::ofstream out(temporary, std::ios::binary | std::ios::trunc);
    if (!out.write(bytes.data(), static_cast<std::streamsize>(bytes.size())) || !out.flush()) {
      fs::remove(temporary, ec);
      return "cannot write " + devicePath;
    }
  }
  // An executable stays executable (killall).
  fs::permissions(temporary, fs::status(from, ec).permissions(), ec);
  fs::rename(temporary, to, ec);
  if (ec) {
    fs::remove(temporary, ec);
    return "cannot replace " + devicePath + ": " + ec.message();
  }
  return {};
}

std::string storeDevicePath() { return "/var/mobile/Library/Preferences/xyz.dorvu..ravelo.plist"; }
std::string fallbackDevicePath() { return "/var/jb/var/mobile/Library/Preferences/com.tamsel.ravelo.plist"; }

}  // namespace sim
