#include "tweak/device_fixture.h"

#include <dlfcn.h>
#include <gtest/gtest.h>

#include "host/device.h"
#include "host/runloop.h"
#include "support/temp_dir.h"

namespace fs = std::filesystem;

namespace tweak_testing {
namespace {

std::string fileName(const std::string& path) { return path.substr(path.rfind('/') + 1); }

}  // namespace

Device::Device(bool withLibroot, const fs::path& tweak) : root_(dir_.path()) {
  host::device::setRoot(root_.string());
  fs::path jb = jbroot();
  fs::create_directories(jb / "Library");
  fs::create_directory_symlink(RAVELO_SOUNDS_DIR, jb / "Library/Sounds");
  fs::create_directories(root_ / "var/mobile/Library/Preferences");
  if (withLibroot) {
    fs::create_directories(jb / "usr/lib");
    fs::copy_file(LIBROOT_PATH, jb / "usr/lib/libroot.dylib");
  }
  fs::path tweaks = jb / "Library/MobileSubstrate/DynamicLibraries";
  fs::create_directories(tweaks);
  fs::copy_file(tweak, tweaks / "Ravelo.dylib");
  // The loader-relative run path: DynamicLibraries/.jbroot leads back to the jailbreak root.
  fs::create_directory_symlink("../../..", tweaks / ".jbroot");
}

void Device::makeEmptyDomain() { writeDomain(""); }

void Device::writeDomain(const std::string& dictBody) {
  fs::path store = root_ / "var/mobile/Library/Preferences/xyz.dorvu..ravelo.plist";
  testing_support::writeFile(store.string() + ".new", plistXml(dictBody));
  fs::rename(store.string() + ".new", store);
}

void Device::writeFallbackFile(const std::string& xml) {
  testing_support::writeFile(jbroot() / "var/mobile/Library/Preferences/com.tamsel.ravelo.plist", xml);
}

void Device::loadTweak() {
  host::device::preloadRootLibraryForSanitizer(jbroot() / "usr/lib/libroot.dylib");
  fs::path tweak = jbroot() / "Library/MobileSubstrate/DynamicLibraries/Ravelo.dylib";
  std::string error;
  ASSERT_TRUE(host::device::openImage(tweak.string(), RTLD_NOW, &error)) << error;
}

void Device::notifyChanged() {
  CFNotificationCenterPostNotification(CFNotificationCenterGetDarwinNotifyCenter(),
                                       CFSTR("com.tamsel.ravelo.prefsupdate"), nullptr, nullptr, true);
  host::runloop::runUntilIdle();
}

std::vector<host::audio::Event> Device::audioEvents() const { return host::audio::events(); }
void Device::clearAudioEvents() const { host::audio::clearEvents(); }

std::vector<std::string> Device::audioCalls() const {
  std::vector<std::string> calls;
  for (const host::audio::Event& e : host::audio::events()) {
    switch (e.kind) {
      case host::audio::Event::Create:
        calls.push_back("create " + fileName(e.file) + (e.status == 0 ? "" : " failed"));
        break;
      case host::audio::Event::Play:
        calls.push_back(e.audible ? "play " + fileName(e.file) : "play (silent)");
        break;
      case host::audio::Event::Dispose:
        calls.push_back("dispose " + (e.file.empty() ? std::string("(none)") : fileName(e.file)));
        break;
    }
  }
  return calls;
}

std::string plistXml(const std::string& dictBody) {
  return "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
         "<!DOCTYPE plist PUBLIC \"-//Apple//DTD PLIST 1.0//EN\" \"http://www.apple.com/DTDs/PropertyList-1.0.dtd\">\n"
         "<plist version=\"1.0\"><dict>" +
         dictBody + "</dict></plist>\n";
}

}  // namespace tweak_testing
