#include "supervisor/layout.h"

#include <errno.h>
#include <stdio.h>
#include <sys/stat.h>

#include <cstring>
#include <string_view>

#include "host/file_changes.h"
#include "host/files.h"

namespace sim {
namespace fs = std::filesystem;
namespace {

constexpr const char* kFilterPlist = R"(<?xml version="1.0" encoding="UTF-8"?>
<!DOCTYPE plist PUBLIC "-//Apple//DTD PLIST 1.0//EN" "http://www.apple.com/DTDs/PropertyList-1.0.dtd">
<plist version="1.0">
<dict>
	<key>Filter</key>
	<dict>
		<key>Bundles</key>
		<array>
			<string>com.apple.springboard</string>
		</array>
	</dict>
</dict>
</plist>
)";

// Dopamine 2 keeps the jailbreak root in the boot volume's preboot area, in the folder named after the
// boot manifest's hash, below a "dopamine-" folder with a random suffix. Both are fixed here.
constexpr const char* kPrebootJbroot =
    "/private/preboot/C9E421C67C06311B20CAF3DC783BCC0DF782CE7020BB0B2DC8127D7D79774416DE20476209CD03D2B2E3424252376A27"
    "/dopamine-Kq8vRn/procursus";

void require(const fs::path& path, const char* what, const char* target) {
  std::error_code ec;
  if (!fs::exists(path, ec))
    throw LayoutError(std::string(what) + " is missing at " + path.string() + " (build the target " + target + ")");
}

// Every change below the device folder goes through host/file_changes.h: a link a person left in the
// folder (Library/Sounds pointing elsewhere) is refused, never written through.
void makeFolder(const fs::path& folder) {
  std::string problem;
  if (!host::files::openFolder(folder.string(), true, &problem)) throw LayoutError("cannot create " + folder.string() + ": " + problem);
}

void writeFile(const fs::path& to, std::string_view bytes, mode_t mode) {
  std::string problem;
  if (!host::files::replaceFile(to.string(), bytes, mode, false, &problem))
    throw LayoutError("cannot install " + to.string() + ": " + problem);
}

void removeEntry(const fs::path& path) {
  std::string problem;
  if (!host::files::removeEntry(path.string(), true, &problem))
    throw LayoutError("cannot remove " + path.string() + ": " + problem);
}

// Copies a file of the build into the device, with its permissions.
void copyFile(const fs::path& from, const fs::path& to) {
  std::string bytes;
  struct stat info {};
  if (!host::files::readRegular(from.string(), bytes, &info)) throw LayoutError("cannot read " + from.string());
  writeFile(to, bytes, info.st_mode & 07777);
}

// Copies the files and folders below `from` into the folder `to`.
void copyTree(const fs::path& from, const fs::path& to) {
  std::error_code ec;
  for (fs::recursive_directory_iterator it(from, ec), end; !ec && it != end; it.increment(ec)) {
    fs::path target = to / fs::relative(it->path(), from);
    if (it->is_directory()) makeFolder(target);
    else if (it->is_regular_file()) copyFile(it->path(), target);
  }
  if (ec) throw LayoutError("cannot copy " + from.string() + ": " + ec.message());
}

// A link named `name` in `folder` to the jailbreak root, three levels up: the ".jbroot" a
// deliverable's run paths ("@loader_path/.jbroot/usr/lib") look through on a jailbreak that
// provides it. The root-path library is found through it.
void linkJbroot(const fs::path& folder) {
  fs::path link = folder / ".jbroot";
  std::string problem;
  if (!host::files::makeLink(link.string(), "../../..", &problem)) throw LayoutError("cannot link " + link.string() + ": " + problem);
}

// Moves the entry `from` to `to` (both below the device root; missing folders on the way to `to` are
// made), never through a link on either way.
void moveEntry(const fs::path& from, const fs::path& to) {
  std::string problem;
  std::optional<host::files::Place> source = host::files::placeOf(from.string(), false, &problem);
  std::optional<host::files::Place> target =
      source ? host::files::placeOf(to.string(), true, &problem) : std::nullopt;
  if (!source || !target) throw LayoutError("cannot move " + from.string() + " to " + to.string() + ": " + problem);
  if (renameat(source->folder.fd(), source->name.c_str(), target->folder.fd(), target->name.c_str()) != 0)
    throw LayoutError("cannot move " + from.string() + " to " + to.string() + ": " + std::strerror(errno));
}

// Puts the jailbreak root where `device` has it. In the preboot layout R/var/jb is a relative link to
// the real folder; a kept root that was laid out the other way has its jailbreak root moved across,
// with everything in it, so nothing a scenario left there (a fallback file) is lost.
void placeJbroot(const DeviceFolders& device, std::vector<std::string>& lines) {
  const fs::path varJb = device.root / "var/jb";
  const fs::path preboot = device.root / fs::path(kPrebootJbroot).relative_path();
  const std::string target = "../" + fs::path(kPrebootJbroot).relative_path().string();
  std::error_code ec;
  fs::file_status atVarJb = fs::symlink_status(varJb, ec);
  bool prebootExists = fs::is_directory(fs::symlink_status(preboot, ec));
  if (device.jbroot == varJb) {
    // Only the link this layout makes is taken back; any other is refused on the way, as always.
    if (fs::is_symlink(atVarJb) && fs::read_symlink(varJb, ec) == target) {
      removeEntry(varJb);
      if (prebootExists) moveEntry(preboot, varJb);
    }
    makeFolder(varJb);
    return;
  }
  if (fs::is_directory(atVarJb)) {
    if (prebootExists)
      throw LayoutError("cannot lay out the preboot jailbreak root: " + varJb.string() + " and " + preboot.string() +
                        " are both folders (a kept root laid out both ways; remove one)");
    moveEntry(varJb, preboot);
  }
  makeFolder(preboot);
  std::string problem;
  if (!host::files::makeLink(varJb.string(), target, &problem)) throw LayoutError("cannot link " + varJb.string() + ": " + problem);
  lines.push_back(varJb.string() + " -> " + preboot.string() + " (the jailbreak root's link)");
}

}  // namespace

std::optional<JbrootLayout> layoutNamed(const std::string& name) {
  if (name == "var-jb") return JbrootLayout::VarJb;
  if (name == "preboot") return JbrootLayout::Preboot;
  return std::nullopt;
}

const char* layoutName(JbrootLayout layout) { return layout == JbrootLayout::VarJb ? "var-jb" : "preboot"; }

std::string jbrootDevicePath(JbrootLayout layout) { return layout == JbrootLayout::VarJb ? "/var/jb" : kPrebootJbroot; }

fs::path DeviceFolders::hostPath(const std::string& devicePath) const {
  const std::string varJb = "/var/jb";
  if (devicePath == varJb) return jbroot;
  if (devicePath.rfind(varJb + "/", 0) == 0) return jbroot / devicePath.substr(varJb.size() + 1);
  return root / fs::path(devicePath).relative_path();
}

std::vector<std::string> layOutDevice(const DeviceFolders& device, const Artifacts& a, bool withLibroot,
                                      bool deviceBinaries) {
  require(a.tweakDylib, "the tweak Ravelo.dylib", "Ravelo");
  require(a.paneBundle / "RaveloPrefs", "the pane bundle RaveloPrefs.bundle", "RaveloPrefs");
  if (deviceBinaries) {
    if (a.deviceBinaries.empty())
      throw LayoutError("this build tree made no device binaries (the device build is made in a plain, "
                        "unsanitized tree with clang-22, libc++-22-dev and a linker: lld-22 or Apple's ld64)");
    require(a.deviceBinaries / "Ravelo.dylib", "the device binary Ravelo.dylib", "ravelo_device");
    require(a.deviceBinaries / "RaveloPrefs", "the device binary RaveloPrefs", "ravelo_device");
  }
  require(a.paneResources / "entry.plist", "the pane's PreferenceLoader entry", "RaveloPrefs");
  require(a.programs / "killall", "the killall stand-in", "ravelo-sim");
  if (withLibroot) require(a.libroot, "the libroot stand-in", "host_libroot_full");
  if (a.sounds.size() != 45) throw LayoutError("the build lists " + std::to_string(a.sounds.size()) + " sounds, not 45");
  for (const fs::path& sound : a.sounds) require(sound, "a catalogue sound", "ravelo_sounds");

  std::vector<std::string> lines;
  const fs::path& jb = device.jbroot;
  makeFolder(device.preferences());
  makeFolder(device.run());
  placeJbroot(device, lines);

  fs::path sounds = jb / "Library/Sounds";
  for (const fs::path& sound : a.sounds) copyFile(sound, sounds / sound.filename());
  lines.push_back(sounds.string() + "/ (" + std::to_string(a.sounds.size()) + " sounds)");

  fs::path bundle = jb / "Library/PreferenceBundles/RaveloPrefs.bundle";
  removeEntry(bundle);
  makeFolder(bundle);
  copyTree(a.paneBundle, bundle);
  // Resources the build did not already put into the bundle.
  std::error_code ec;
  for (const auto& entry : fs::directory_iterator(a.paneResources, ec)) {
    if (!entry.is_regular_file() || entry.path().filename() == "entry.plist") continue;
    if (!fs::exists(a.paneBundle / entry.path().filename())) copyFile(entry.path(), bundle / entry.path().filename());
  }
  if (deviceBinaries) copyFile(a.deviceBinaries / "RaveloPrefs", bundle / "RaveloPrefs");
  linkJbroot(bundle);
  lines.push_back(bundle.string() + "/");

  fs::path entry = jb / "Library/PreferenceLoader/Preferences/RaveloPrefs.plist";
  copyFile(a.paneResources / "entry.plist", entry);
  lines.push_back(entry.string());

  fs::path tweaks = device.tweaks();
  copyFile(deviceBinaries ? a.deviceBinaries / "Ravelo.dylib" : a.tweakDylib, tweaks / "Ravelo.dylib");
  lines.push_back((tweaks / "Ravelo.dylib").string());
  if (!a.filterPlist.empty() && fs::exists(a.filterPlist)) {
    copyFile(a.filterPlist, tweaks / "Ravelo.plist");
  } else {
    writeFile(tweaks / "Ravelo.plist", kFilterPlist, 0644);
  }
  lines.push_back((tweaks / "Ravelo.plist").string() + " (Filter: Bundles com.apple.springboard)");
  linkJbroot(tweaks);

  fs::path libroot = jb / "usr/lib/libroot.dylib";
  if (withLibroot) {
    copyFile(a.libroot, libroot);
    lines.push_back(libroot.string() + " (the libroot stand-in)");
  } else {
    removeEntry(libroot);
    lines.push_back(libroot.string() + ": none (--no-libroot: the built-in fallbacks answer /var/jb)");
  }

  std::string killall;
  if (!host::files::readRegular((a.programs / "killall").string(), killall)) throw LayoutError("cannot read the killall stand-in");
  writeFile(device.killall(), killall, 0755);
  lines.push_back(device.killall().string() + " (the killall stand-in)");
  lines.push_back(device.preferences().string() + "/ (the preferences store)");
  return lines;
}

}  // namespace sim
