// A rootless iPhone's file system as a package's maintainer script sees it, for running the script
// the way the device runs it: the system volume's libraries but no /bin/sh, the jailbreak's shell
// at /var/jb/bin/sh (linked to dash, as the bootstrap links it) and its tools below /var/jb.
#pragma once

#include <filesystem>
#include <string>

#include "support/run.h"
#include "support/temp_dir.h"

class RootlessDevice {
 public:
  // Lays out the device's root in a fresh folder. With `cpuSubtype` the jailbreak's sysctl
  // (/var/jb/usr/sbin/sysctl) answers it for hw.cpusubtype; with nullptr there is no sysctl.
  explicit RootlessDevice(const char* cpuSubtype);

  // Places at `path` in the device's root a sysctl that answers `cpuSubtype` for hw.cpusubtype.
  void placeSysctl(const std::string& path, const char* cpuSubtype);

  // Empty when this machine can run a program inside the device's root (chroot as root, else in a
  // user namespace); otherwise why not.
  std::string cannotRun() const { return cannotRun_; }

  // Places `script` where dpkg unpacks control files and executes it with `argument` inside the
  // device's root, as dpkg does: the kernel reads its "#!" line and starts the interpreter it names
  // there. PATH is the system's default, without the jailbreak's folders.
  testing_support::RunResult runMaintainerScript(const std::filesystem::path& script, const std::string& argument);

 private:
  testing_support::TempDir root_;
  std::string cannotRun_;
};
