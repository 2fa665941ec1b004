#include "supervisor/artifacts.h"

#include <unistd.h>

#include <climits>
#include <sstream>
#include <stdexcept>

#include "macho_reader.h"
#include "sim_config.h"

namespace sim {

Artifacts builtArtifacts() {
  Artifacts a;
  a.tweakDylib = RAVELO_SIM_TWEAK_DYLIB;
  a.filterPlist = RAVELO_SIM_FILTER_PLIST;
  a.paneBundle = RAVELO_SIM_PANE_BUNDLE;
  a.paneResources = RAVELO_SIM_PANE_RESOURCES;
  a.libroot = RAVELO_SIM_LIBROOT;
  a.deviceBinaries = RAVELO_SIM_DEVICE_BINARIES;
  std::istringstream sounds(RAVELO_SIM_SOUND_FILES);
  for (std::string file; std::getline(sounds, file, ';');)
    if (!file.empty()) a.sounds.emplace_back(file);
  char self[PATH_MAX];
  ssize_t n = readlink("/proc/self/exe", self, sizeof self - 1);
  if (n > 0) {
    self[n] = '\0';
    a.programs = std::filesystem::path(self).parent_path();
  } else {
    a.programs = RAVELO_SIM_PROGRAMS;
  }
  return a;
}

void checkDeviceBinaries(const Artifacts& artifacts, const std::string& architecture) {
  for (const char* file : {"Ravelo.dylib", "RaveloPrefs"}) {
    try {
      macho::sliceOf(artifacts.deviceBinaries / file, architecture);
    } catch (const std::runtime_error& e) {
      // The device build makes arm64e only with Apple's linker, which build-ld64 builds.
      throw std::runtime_error(std::string(e.what()) +
                               (architecture == "arm64e" ? " (the device build makes one once package/toolchain/build-ld64 "
                                                           "has built Apple's linker; then rebuild)"
                                                         : ""));
    }
  }
}

}  // namespace sim
