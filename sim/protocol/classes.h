// The classes a simulated device process can run without (`without-class`, `--without-class`), as a
// device whose iOS version lacks them would. SpringBoard's own classes are then not defined at all;
// a framework class stays in the framework but code loaded from the jailbreak root (the tweak, the
// pane) finds nothing by its name.
#pragma once

#include <string>

namespace sim::classes {

// SpringBoard's classes the tweak hooks or asks, and those its events go through.
inline constexpr const char* kSpringBoard[] = {
    "SBHIconManager",  "SBIconView",       "SBIconScrollView", "SBUIPasscodeLockViewBase",
    "SBSleepWakeHardwareButtonInteraction", "SBLockScreenManager", "SBCoverSheetPrimarySlidingViewController",
    "SBCoverSheetPresentationManager", "SBUIController", "SSScreenCapturer", "SBVolumeControl", "SBFolderView",
    "SpringBoard",
};
// Framework classes the tweak looks up in SpringBoard.
inline constexpr const char* kSpringBoardFrameworks[] = {"UISwitch"};
// Framework classes the pane looks up in the Settings app.
inline constexpr const char* kSettingsFrameworks[] = {"PSListController", "PSControlTableCell", "UISwitch"};

template <size_t N>
bool listed(const char* const (&list)[N], const std::string& name) {
  for (const char* entry : list)
    if (name == entry) return true;
  return false;
}

inline bool inSpringBoard(const std::string& name) {
  return listed(kSpringBoard, name) || listed(kSpringBoardFrameworks, name);
}
inline bool inSettings(const std::string& name) { return listed(kSettingsFrameworks, name); }
inline bool known(const std::string& name) { return inSpringBoard(name) || inSettings(name); }

// Every class that can be left out, for help texts: three groups, each wrapped before `width`
// columns, every line after the first starting with `indent`.
inline std::string describeAll(const std::string& indent = "", size_t width = 100) {
  std::string text, line;
  auto add = [&](const std::string& word) {
    if (line.size() > indent.size() && line.size() + 1 + word.size() > width) {
      text += line + "\n";
      line = indent + "  ";
    }
    line += (line.size() > indent.size() && line.back() != ' ' ? " " : "") + word;
  };
  auto group = [&](const char* heading, const auto& names) {
    if (!text.empty() || !line.empty()) {
      text += line + "\n";
      line = indent;
    }
    add(heading);
    for (const char* name : names) add(name);
  };
  group("SpringBoard, not defined:", kSpringBoard);
  group("SpringBoard, missing to the tweak:", kSpringBoardFrameworks);
  group("Settings, missing to the pane:", kSettingsFrameworks);
  return text + line;
}

}  // namespace sim::classes
