// One emulated iOS process (SpringBoard or the Settings app) on the arm64 emulator: the CPU, the
// Objective-C runtime, CoreFoundation, and the system services our two binaries call, each
// recording what a person or a test would observe. Everything the binaries import must be exported
// here; what is not stops the load or the run naming it.
#pragma once

#include <cstdint>
#include <map>
#include <ostream>
#include <memory>
#include <string>
#include <vector>

#include "foundation.h"
#include "imports.h"
#include "loader.h"
#include "machine.h"
#include "macho_reader.h"
#include "objc_runtime.h"

namespace emu {

struct Spawn {
  std::string path;
  std::vector<std::string> arguments;
  bool fileActions = false, attributes = false, environment = false;  // whether each was non-NULL
};

struct OpenedUrl {
  std::string url;
  bool optionsGiven = false;
  uint64_t optionCount = 0;
  bool completionGiven = false;
};

struct Observer {
  uint64_t center = 0, observer = 0, callback = 0, object = 0;
  std::string name;
  long behaviour = 0;
};

// An original (harness-side) implementation that ran: its method, receiver and first argument.
struct Ran {
  std::string method;
  uint64_t self = 0;
  uint64_t argument = 0;
  bool operator==(const Ran&) const = default;
};
inline std::ostream& operator<<(std::ostream& out, const Ran& r) {
  return out << r.method << " self=0x" << std::hex << r.self << " argument=0x" << r.argument << std::dec;
}

struct Hook {
  std::string method;  // "-[SBVolumeControl increaseVolume]", "+[SSScreenCapturer playScreenshotSound]"
  bool added = false;  // the class only inherited the method: the hook was added to it
};

class Process {
 public:
  struct Options {
    std::string program;  // "SpringBoard" or "Preferences": which harness-side classes exist
    bool libroot = true;  // libroot.dylib present at <jbroot>/usr/lib
    // The device's CPU: arm64e (A12 and later, pointer authentication enforced) loads only arm64e
    // images, arm64 only arm64 ones (architectureOf tells an image's).
    Architecture architecture = Architecture::Arm64;
  };
  explicit Process(Options options);
  ~Process();

  // Loads the image from `devicePath` (what dladdr answers) and runs its initialisers. An image of the
  // other architecture than the process's fails to load, as on the device.
  const LoadedImage& load(const macho::Image& image, const std::string& devicePath);

  Machine machine;  // first: everything below registers its code in it, signed in an arm64e process
  Imports imports{machine};
  ObjcRuntime objc{machine, imports};
  Foundation foundation{machine, imports, objc};

  // ---- what the process did ----
  std::vector<std::string> audio;  // "create <path>", "play <path>", "play (none)", "dispose <path>"
  std::vector<Ran> ran;            // original (harness-side) implementations that ran
  std::vector<Observer> observers;
  std::vector<Hook> hooks;
  std::vector<Spawn> spawns;
  std::vector<OpenedUrl> openedUrls;
  std::vector<std::string> dlopens;  // the paths asked for

  // ---- the device's state, as SpringBoard and UIKit would report it ----
  bool uiLocked = false;
  bool coverSheetDismissedSinceLock = false;
  bool powerSourceWantsChime = true;
  double screenWidth = 390, screenHeight = 844;
  std::map<uint64_t, bool> switchIsOn;  // UISwitch instances' state

  // The jailbreak root libroot.dylib answers (when present); without it the binaries fall back.
  static constexpr const char* kLibrootPrefix = "/private/preboot/5A7F0C2E/jb-R4v3lo";

  // Posts a Darwin notification: every observer registered for `name` is called, in registration
  // order, as the notify centre's run-loop source would call it.
  void postDarwinNotification(const std::string& name);

  // A harness-side object of `className` (+1), e.g. a SpringBoard controller to send events to.
  uint64_t instance(const std::string& className);

 private:
  void exportLibSystem();
  void exportNotifications();
  void exportSubstrate();
  void exportAudio();
  void defineSpringBoard();
  void defineSettingsApp();
  void defineUIKit();

  const LoadedImage* imageAt(uint64_t address) const;

  Options options_;
  std::vector<std::unique_ptr<LoadedImage>> images_;
  uint64_t nextImageBase_ = 0x100000000;
  uint64_t darwinCenter_ = 0;
  uint64_t librootHandle_ = 0;
};

}  // namespace emu
