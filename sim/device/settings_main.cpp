// The Settings app on the simulated device: opens the Ravelo pane as Settings does (through its
// PreferenceLoader entry and bundle) and does what a person does on it. The pane is not given the
// tweak: the jailbreak's loader runs here too, for com.apple.Preferences, whose bundle the tweak's
// filter does not name.
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <sstream>
#include <string>

#include "device/class_hiding.h"
#include "device_binaries.h"
#include "device/session.h"
#include "device/settings_cells.h"
#include "device/spawn_watch.h"
#include "host/audio.h"
#include "host/corefoundation.h"
#include "host/preferences.h"
#include "host/substrate.h"
#include "host/trace.h"
#include "host/uikit.h"
#include "pane/pane_picture.h"

namespace {

std::string jbroot;
std::unique_ptr<host::settings::Pane> pane;

void traceLines(const std::string& text) {
  std::istringstream lines(text);
  for (std::string line; std::getline(lines, line);)
    if (!line.empty()) host::trace("%s", line.c_str());
}

void showPage() { traceLines(host::settings::format(pane->show())); }

std::string run(const std::vector<std::string>& words) {
  if (words.empty()) return "no command";
  const std::string& command = words[0];
  std::string error;
  if (command == "open") {
    if (pane) return "the Ravelo pane is already open";
    pane = host::settings::Pane::open(jbroot, "RaveloPrefs", &error);
    if (!pane) return "the Ravelo pane did not open: " + error;
    showPage();
    return {};
  }
  if (!pane) return "the Ravelo pane is not open: open-settings first";
  if (command == "close") {
    pane->close();
    host::trace("Settings: left the Ravelo pane: %s", host::settings::format(pane->barTints()).c_str());
    pane.reset();
    return {};
  }
  if (command == "show") {
    showPage();
    return {};
  }
  if (command == "capture" && words.size() == 3) {
    if (!sim::pictures::drawPanePicture(*pane, std::strtod(words[2].c_str(), nullptr), words[1], &error))
      return "the pane's picture: " + error;
    return {};
  }
  bool done = false;
  // The device's pane does not look whether its cells' writes landed; the test bench does.
  long failedWrites = host::cf::preferencesWriteFailures();
  if (command == "toggle" && words.size() == 2) done = pane->toggleSwitch(words[1], &error);
  else if (command == "choose" && words.size() == 3) done = pane->chooseListValue(words[1], words[2], &error);
  else if (command == "press" && words.size() == 2) done = pane->pressButton(words[1], &error);
  else if (command == "press-respring") done = pane->pressRightBarButton(&error);
  else return "Settings has no command '" + command + "'";
  if (!done) return error;
  if (host::cf::preferencesWriteFailures() != failedWrites)
    return "the pane's change was not saved: the preferences store could not be written: " +
           host::cf::lastPreferencesWriteFailure();
  return {};
}

}  // namespace

int main(int argc, char** argv) {
  if (argc > 1 && (std::strcmp(argv[1], "--help") == 0 || std::strcmp(argv[1], "-h") == 0)) {
    std::puts("usage: ravelo-settings --jbroot DIR [--clock MS] [--screen-width POINTS] [--without-class NAME]...\n"
              "                       [--device-binaries ARCH]\n"
              "The simulated device's Settings app; ravelo-sim starts it (channel on fd 3).");
    return 0;
  }
  jbroot = sim::device::option(argc, argv, "--jbroot");
  if (jbroot.empty()) {
    std::fputs("ravelo-settings: --jbroot is required (ravelo-sim starts this program)\n", stderr);
    return 2;
  }
  sim::device::Session session("Settings");
  host::audio::setNow(std::strtol(sim::device::option(argc, argv, "--clock", "0").c_str(), nullptr, 10));
  host::uikit::setScreenWidth(std::strtod(sim::device::option(argc, argv, "--screen-width", "390").c_str(), nullptr));
  // Framework classes this iOS lacks, as the pane (and any tweak) finds them: missing.
  std::vector<std::string> hidden = sim::device::repeatedOption(argc, argv, "--without-class");
  for (const std::string& name : hidden)
    host::trace("Settings: without class %s for the code loaded from %s", name.c_str(), jbroot.c_str());
  sim::device::hideClassesFromInstalledCode(hidden, jbroot);
  std::string deviceBinaries = sim::device::option(argc, argv, "--device-binaries");
  if (!deviceBinaries.empty()) emu::runDeviceBinaries(deviceBinaries, "Preferences", hidden);
  sim::device::defineSettingsCells();
  host::substrate::loadTweaks("com.apple.Preferences", jbroot, "Preferences");
  sim::device::Session::settle();
  session.ready();
  session.serve(run, sim::device::reapSpawnedProcesses);
}
