#include "supervisor/artifacts.h"

#include <unistd.h>

#include <climits>
#include <sstream>

#include "sim_config.h"

namespace sim {

Artifacts builtArtifacts() {
  Artifacts a;
  a.tweakDylib = RAVELO_SIM_TWEAK_DYLIB;
  a.filterPlist = RAVELO_SIM_FILTER_PLIST;
  a.paneBundle = RAVELO_SIM_PANE_BUNDLE;
  a.paneResources = RAVELO_SIM_PANE_RESOURCES;
  a.libroot = RAVELO_SIM_LIBROOT;
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

}  // namespace sim
