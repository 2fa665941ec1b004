#include "rootless_device.h"

#include <unistd.h>

#include <regex>
#include <vector>

namespace fs = std::filesystem;
using testing_support::lines;
using testing_support::run;
using testing_support::RunResult;
using testing_support::writeFile;

namespace {

const char* const kDefaultPath = "PATH=/usr/sbin:/usr/bin:/sbin:/bin";

// Copies the host file `from` to the same absolute path below `root`.
void copyInto(const fs::path& root, const fs::path& from) {
  fs::path to = root / from.relative_path();
  fs::create_directories(to.parent_path());
  fs::copy_file(from, to, fs::copy_options::overwrite_existing);
}

// The command that runs `argv` with `root` as its file system's root, in a mount namespace of its
// own where the device's /dev/null is the host's.
std::vector<std::string> insideRoot(const fs::path& root, const std::vector<std::string>& argv) {
  std::vector<std::string> command{"/usr/bin/unshare"};
  if (geteuid() != 0) command.push_back("--map-root-user");
  std::string chroot = fs::exists("/usr/sbin/chroot") ? "/usr/sbin/chroot" : "/sbin/chroot";
  command.insert(command.end(), {"--mount", "--propagation", "private", "/bin/sh", "-c",
                                 "mount --bind /dev/null \"$0/dev/null\" && exec " + chroot + " \"$0\" \"$@\"",
                                 root.string()});
  command.insert(command.end(), argv.begin(), argv.end());
  return command;
}

}  // namespace

RootlessDevice::RootlessDevice(const char* cpuSubtype) {
  const fs::path& root = root_.path();
  // The jailbreak's shell is the host's dash; the libraries it loads stand in for the system's own.
  fs::path dash = fs::exists("/usr/bin/dash") ? "/usr/bin/dash" : "/bin/dash";
  fs::create_directories(root / "var/jb/usr/bin");
  fs::copy_file(dash, root / "var/jb/usr/bin/dash");
  fs::create_directories(root / "var/jb/bin");
  fs::create_symlink("/var/jb/usr/bin/dash", root / "var/jb/bin/sh");
  writeFile(root / "dev/null", "");  // where the host's is mounted
  static const std::regex kLibrary(R"((?:=> )?(/\S+) \(0x)");
  for (const std::string& line : lines(run({"/usr/bin/ldd", dash.string()}).output)) {
    std::smatch found;
    if (std::regex_search(line, found, kLibrary)) copyInto(root, found[1].str());
  }
  if (cpuSubtype != nullptr) placeSysctl("/var/jb/usr/sbin/sysctl", cpuSubtype);
  RunResult probe = run(insideRoot(root, {"/var/jb/bin/sh", "-c", "exit 0"}), {kDefaultPath});
  if (probe.exitCode != 0) {
    cannotRun_ = "cannot run a program inside a fake device root here (unshare and chroot need root or user namespaces): " +
                 probe.output;
  }
}

void RootlessDevice::placeSysctl(const std::string& path, const char* cpuSubtype) {
  fs::path sysctl = root_.path() / fs::path(path).relative_path();
  writeFile(sysctl, std::string("#!/var/jb/bin/sh\n[ \"$*\" = '-n hw.cpusubtype' ] || exit 1\necho ") + cpuSubtype + "\n");
  fs::permissions(sysctl, fs::perms::owner_all | fs::perms::group_read | fs::perms::group_exec);
}

RunResult RootlessDevice::runMaintainerScript(const fs::path& script, const std::string& argument) {
  // Where the jailbreak's dpkg (admin folder /var/jb/Library/dpkg) unpacks a new package's scripts.
  fs::path unpacked = fs::path("/var/jb/Library/dpkg/tmp.ci") / script.filename();
  fs::path placed = root_.path() / unpacked.relative_path();
  fs::create_directories(placed.parent_path());
  fs::copy_file(script, placed, fs::copy_options::overwrite_existing);
  fs::permissions(placed, fs::perms::owner_all | fs::perms::group_read | fs::perms::group_exec);
  return run(insideRoot(root_.path(), {unpacked.string(), argument}), {kDefaultPath});
}
