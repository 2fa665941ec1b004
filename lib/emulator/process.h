// The emulated iOS process: the device binaries' arm64 bytes run on the emulator inside a process of
// this machine (the simulated SpringBoard or Settings app, or a test), and everything they call is
// this process's own: GCC's Objective-C runtime and the stand-ins of platform/ (SpringBoard, UIKit,
// Preferences, CoreFoundation, AudioToolbox, the hooking library, libroot), reached at Apple's arm64
// calling convention through StandInBridge. Classes the binaries register, methods they add and hooks
// they install are the runtime's, so the stand-ins call into the emulated code as they would call the
// host build's. What the bridge does not model stops the process, naming class and selector.
#pragma once

#include <memory>
#include <set>
#include <string>
#include <vector>

#include "imports.h"
#include "loader.h"
#include "machine.h"
#include "macho_reader.h"
#include "stand_in_bridge.h"
#include "stand_in_objects.h"

namespace emu {

class Process {
 public:
  struct Options {
    std::string program;  // argv[0] of the process, as the images' initialisers are told
    // Framework classes missing to the loaded code: its objc_getClass and NSClassFromString find none.
    std::vector<std::string> hiddenClasses;
    // The device's CPU: arm64e (pointer authentication enforced) loads only arm64e images, arm64 only
    // arm64 ones (architectureOf tells an image's).
    Architecture architecture = Architecture::Arm64;
  };
  explicit Process(Options options);
  ~Process();

  // Maps `image` (the device file at `path`, what dladdr answers) and binds it, as dyld would. Throws
  // Error when it cannot be loaded (an import nobody exports, a signed pointer...).
  const LoadedImage& map(const macho::Image& image, const std::string& path);
  // Runs a mapped image's initialisers. A stop inside them goes to the stop handler, as any other.
  void initialise(const LoadedImage& image);

  // What happens when the emulated code stops (StandInBridge::setStopHandler).
  void setStopHandler(std::function<void(const std::string& message)> handler);

  Machine machine;  // first: everything below registers its code in it
  Imports imports{machine};
  StandInObjects objects{machine};
  StandInBridge bridge{machine, objects};

 private:
  void exportLibObjc();
  void exportFrameworks();
  void exportLibSystem();
  const LoadedImage* imageAt(uint64_t address) const;
  uint64_t lookUpClass(const std::string& name);
  void dispatch(Cpu& cpu, uint64_t receiver, id object, Class start);

  Options options_;
  std::set<std::string> hidden_;
  std::vector<std::unique_ptr<LoadedImage>> images_;
  uint64_t nextImageBase_ = 0x100000000;
  std::function<void(const std::string&)> stop_;
};

}  // namespace emu
