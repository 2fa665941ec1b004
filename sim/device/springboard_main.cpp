// SpringBoard on the simulated device: defines SpringBoard's classes, lets the jailbreak's loader
// inject the tweaks whose filters name com.apple.springboard, finishes launching, then serves the
// events the scenario causes (lock, volume-up...) on its main run loop.
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <map>
#include <string>
#include <vector>

#include "device/class_hiding.h"
#include "device_binaries.h"
#include "device/session.h"
#include "host/audio.h"
#include "host/springboard.h"
#include "host/substrate.h"
#include "host/trace.h"
#include "protocol/classes.h"

namespace {

namespace sb = host::springboard;

std::string runEvent(const std::vector<std::string>& words) {
  static const std::map<std::string, std::function<void()>> events = {
      {"tap-icon", [] { sb::tapIcon(); }},
      {"passcode-key", [] { sb::pressPasscodeKey(); }},
      {"lock", [] { sb::lockDevice(); }},
      {"unlock", [] { sb::unlockDevice(); }},
      {"unplug-charger", [] { sb::unplugCharger(); }},
      {"screenshot", [] { sb::takeScreenshot(); }},
      {"volume-up", [] { sb::pressVolumeUp(); }},
      {"volume-down", [] { sb::pressVolumeDown(); }},
      {"flip-switch", [] { sb::flipSwitch(); }},
      {"scroll-page", [] { sb::startDraggingPage(); }},
  };
  if (words.empty()) return "no command";
  if (words[0] == "plug-charger") {
    sb::plugInCharger(!(words.size() > 1 && words[1] == "no-chime"));
    return {};
  }
  auto event = events.find(words[0]);
  if (event == events.end()) return "SpringBoard has no event '" + words[0] + "'";
  event->second();
  return {};
}

}  // namespace

int main(int argc, char** argv) {
  if (argc > 1 && (std::strcmp(argv[1], "--help") == 0 || std::strcmp(argv[1], "-h") == 0)) {
    std::puts("usage: ravelo-springboard --jbroot DIR [--clock MS] [--ios 15|16|17|18] [--without-class NAME]...\n"
              "                          [--device-binaries ARCH]\n"
              "The simulated device's SpringBoard; ravelo-sim starts it (channel on fd 3).");
    return 0;
  }
  std::string jbroot = sim::device::option(argc, argv, "--jbroot");
  if (jbroot.empty()) {
    std::fputs("ravelo-springboard: --jbroot is required (ravelo-sim starts this program)\n", stderr);
    return 2;
  }
  sim::device::Session session("SpringBoard");
  host::audio::setNow(std::strtol(sim::device::option(argc, argv, "--clock", "0").c_str(), nullptr, 10));
  // A device whose iOS lacks some classes: SpringBoard's own are not defined, UIKit's are missing to the tweak.
  std::vector<std::string> missing, hidden;
  for (const std::string& name : sim::device::repeatedOption(argc, argv, "--without-class")) {
    bool own = sim::classes::listed(sim::classes::kSpringBoard, name);
    (own ? missing : hidden).push_back(name);
    if (own) host::trace("SpringBoard: without class %s", name.c_str());
    else host::trace("SpringBoard: without class %s for the code loaded from %s", name.c_str(), jbroot.c_str());
  }
  sim::device::hideClassesFromInstalledCode(hidden, jbroot);
  std::string deviceBinaries = sim::device::option(argc, argv, "--device-binaries");
  if (!deviceBinaries.empty()) emu::runDeviceBinaries(deviceBinaries, "SpringBoard", hidden);
  sb::setSystemVersion(std::atoi(sim::device::option(argc, argv, "--ios", "15").c_str()));
  sb::defineClasses(missing);
  host::substrate::loadTweaks("com.apple.springboard", jbroot, "SpringBoard");
  sb::launchSpringBoard();
  sim::device::Session::settle();
  session.ready();
  session.serve(runEvent);
}
