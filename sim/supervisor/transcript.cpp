#include "supervisor/transcript.h"

#include <algorithm>

#include "supervisor/scenario.h"

namespace sim {

void Transcript::setDeviceRoot(const std::vector<std::string>& hostForms) {
  roots_.clear();
  for (const std::string& root : hostForms)
    if (!root.empty() && root != "/" && std::find(roots_.begin(), roots_.end(), root) == roots_.end())
      roots_.push_back(root);
  // Longer forms first, so a form that extends another is replaced whole.
  std::sort(roots_.begin(), roots_.end(), [](const std::string& a, const std::string& b) { return a.size() > b.size(); });
}

std::string Transcript::devicePaths(const std::string& text) const {
  std::string result = text;
  for (const std::string& root : roots_) {
    size_t at = 0;
    while ((at = result.find(root, at)) != std::string::npos) {
      size_t end = at + root.size();
      // Only a whole path component: the root followed by '/' or the end of a word.
      if (end < result.size() && result[end] != '/' && result[end] != ' ' && result[end] != '"' && result[end] != ')' &&
          result[end] != ',' && result[end] != ':') {
        at = end;
        continue;
      }
      std::string replacement = end < result.size() && result[end] == '/' ? "" : "/";
      result.replace(at, root.size(), replacement);
      at += replacement.size();
    }
  }
  return result;
}

void Transcript::print(const std::string& line) {
  // A control character a scenario line holds (a NUL) is shown, not left to end or break the line.
  std::string shown = shownControls(line);
  std::fwrite(shown.data(), 1, shown.size(), out_);
  std::fputc('\n', out_);
  std::fflush(out_);
}

void Transcript::heading(const std::string& text, bool keepStep) {
  if (!keepStep) {
    stepLines_.clear();
    inBoot_ = false;
  }
  std::string line = devicePaths(text);
  print(line);
  if (observer_) observer_("", line);
}

void Transcript::bootHeading(const std::string& text) {
  heading(text);
  bootLines_.clear();
  inBoot_ = booted_ = true;
}

void Transcript::report(const std::string& process, const std::string& text) {
  std::string shown = devicePaths(text);
  std::string line = "[" + process + "] " + shown;
  stepLines_.push_back(line);
  runLines_.append(line);
  if (inBoot_) bootLines_.push_back(line);
  print("  " + line);
  if (observer_) observer_(process, shown);
}

void Transcript::note(const std::string& text) { print(devicePaths(text)); }

}  // namespace sim
