// Defining SpringBoard's classes, leaving out those a test wants missing.
#include <cstring>

#include "host/springboard.h"
#include "springboard_internal.h"

namespace host::springboard {
namespace {

struct Definition {
  const char* name;
  void (*define)();
};

int& version() {
  static int major = 15;
  return major;
}

// Superclasses come first. UIKit's are there already; SBCoverSheetSlidingViewController, the one
// SpringBoard class here that another subclasses, is defined (or left out) with the primary controller.
constexpr Definition kClasses[] = {
    {"SBIconView", &detail::defineIconView},
    {"SBIconScrollView", &detail::defineIconScrollView},
    {"SBHIconManager", &detail::defineIconManager},
    {"SBFolderView", &detail::defineFolderView},
    {"SBUIPasscodeLockViewBase", &detail::definePasscodeView},
    {"SBSleepWakeHardwareButtonInteraction", &detail::defineLockButtonInteraction},
    {"SBLockScreenManager", &detail::defineLockScreenManager},
    {"SBCoverSheetPrimarySlidingViewController", &detail::defineCoverSheetSlidingViewController},
    {"SBCoverSheetPrimarySlidingViewController", &detail::defineCoverSheetViewController},
    {"SBCoverSheetPresentationManager", &detail::defineCoverSheetPresentationManager},
    {"SBUIController", &detail::defineUIController},
    {"SSScreenCapturer", &detail::defineScreenCapturer},
    {"SBVolumeControl", &detail::defineVolumeControl},
    {"SpringBoard", &detail::defineSpringBoard},
    {"HostSwitchTarget", &detail::defineSwitchTarget},
};

const char* text(const char* name) { return name; }
const char* text(const std::string& name) { return name.c_str(); }

template <typename Names>
bool isListed(const char* name, const Names& names) {
  for (const auto& n : names)
    if (std::strcmp(text(n), name) == 0) return true;
  return false;
}

}  // namespace

void setSystemVersion(int major) { version() = major; }
int systemVersion() { return version(); }

void defineClasses(std::initializer_list<const char*> missing) {
  for (const Definition& d : kClasses)
    if (!isListed(d.name, missing)) d.define();
}

void defineClasses(const std::vector<std::string>& missing) {
  for (const Definition& d : kClasses)
    if (!isListed(d.name, missing)) d.define();
}

}  // namespace host::springboard
