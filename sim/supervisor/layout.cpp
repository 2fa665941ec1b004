#include "supervisor/layout.h"

#include <fstream>

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

void require(const fs::path& path, const char* what, const char* target) {
  std::error_code ec;
  if (!fs::exists(path, ec))
    throw LayoutError(std::string(what) + " is missing at " + path.string() + " (build the target " + target + ")");
}

void makeFolder(const fs::path& folder) {
  std::error_code ec;
  fs::create_directories(folder, ec);
  if (ec) throw LayoutError("cannot create " + folder.string() + ": " + ec.message());
}

void copyFile(const fs::path& from, const fs::path& to) {
  std::error_code ec;
  makeFolder(to.parent_path());
  fs::copy_file(from, to, fs::copy_options::overwrite_existing, ec);
  if (ec) throw LayoutError("cannot copy " + from.string() + " to " + to.string() + ": " + ec.message());
}

// A link named `name` in `folder` to the jailbreak root, three levels up: the ".jbroot" a
// deliverable's run paths ("@loader_path/.jbroot/usr/lib") look through on a jailbreak that
// provides it. The root-path library is found through it.
void linkJbroot(const fs::path& folder) {
  fs::path link = folder / ".jbroot";
  std::error_code ec;
  fs::remove(link, ec);
  fs::create_directory_symlink("../../..", link, ec);
  if (ec) throw LayoutError("cannot link " + link.string() + ": " + ec.message());
}

}  // namespace

std::vector<std::string> layOutDevice(const DeviceFolders& device, const Artifacts& a, bool withLibroot,
                                      bool deviceBinaries) {
  require(a.tweakDylib, "the tweak Ravelo.dylib", "Ravelo");
  require(a.paneBundle / "RaveloPrefs", "the pane bundle RaveloPrefs.bundle", "RaveloPrefs");
  if (deviceBinaries) {
    if (a.deviceBinaries.empty())
      throw LayoutError("this build tree made no device binaries (the device build is made in a plain, "
                        "unsanitized tree with clang-19 and lld-19 installed)");
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

  fs::path sounds = jb / "Library/Sounds";
  for (const fs::path& sound : a.sounds) copyFile(sound, sounds / sound.filename());
  lines.push_back(sounds.string() + "/ (" + std::to_string(a.sounds.size()) + " sounds)");

  fs::path bundle = jb / "Library/PreferenceBundles/RaveloPrefs.bundle";
  std::error_code ec;
  fs::remove_all(bundle, ec);
  makeFolder(bundle);
  fs::copy(a.paneBundle, bundle, fs::copy_options::recursive | fs::copy_options::overwrite_existing, ec);
  if (ec) throw LayoutError("cannot copy the pane bundle: " + ec.message());
  // Resources the build did not already put into the bundle.
  for (const auto& entry : fs::directory_iterator(a.paneResources, ec)) {
    if (!entry.is_regular_file() || entry.path().filename() == "entry.plist") continue;
    if (!fs::exists(bundle / entry.path().filename())) copyFile(entry.path(), bundle / entry.path().filename());
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
    std::ofstream(tweaks / "Ravelo.plist") << kFilterPlist;
  }
  lines.push_back((tweaks / "Ravelo.plist").string() + " (Filter: Bundles com.apple.springboard)");
  linkJbroot(tweaks);

  fs::path libroot = jb / "usr/lib/libroot.dylib";
  if (withLibroot) {
    copyFile(a.libroot, libroot);
    lines.push_back(libroot.string() + " (the libroot stand-in)");
  } else {
    fs::remove(libroot, ec);
    lines.push_back(libroot.string() + ": none (--no-libroot: the built-in fallbacks answer /var/jb)");
  }

  copyFile(a.programs / "killall", device.killall());
  fs::permissions(device.killall(), fs::perms::owner_all | fs::perms::group_read | fs::perms::group_exec |
                                        fs::perms::others_read | fs::perms::others_exec, ec);
  lines.push_back(device.killall().string() + " (the killall stand-in)");
  lines.push_back(device.preferences().string() + "/ (the preferences store)");
  return lines;
}

}  // namespace sim
