#include "supervisor/checks.h"

namespace sim {
namespace {

// The line as written after the command name: expect's text is matched verbatim, quotes included.
std::string restOf(const ScenarioLine& line) {
  size_t start = line.words[0].size();
  while (start < line.text.size() && (line.text[start] == ' ' || line.text[start] == '\t')) ++start;
  return line.text.substr(start);
}

std::string listed(const std::vector<std::string>& names) {
  if (names.empty()) return "silence";
  std::string text;
  for (const std::string& name : names) text += (text.empty() ? "" : " ") + name;
  return text;
}

}  // namespace

std::vector<std::string> soundsHeard(const std::vector<std::string>& stepLines) {
  std::vector<std::string> names;
  for (const std::string& line : stepLines) {
    size_t at = line.find("] audio play ");
    size_t skip = 13;
    if (at == std::string::npos) {
      at = line.find("] audio alert ");
      skip = 14;
    }
    if (at == std::string::npos) continue;
    std::string rest = line.substr(at + skip);       // "<id> <name> at <ms>ms"
    size_t space = rest.find(' ');
    size_t time = rest.rfind(" at ");
    if (space == std::string::npos || time == std::string::npos || time <= space) continue;
    std::string name = rest.substr(space + 1, time - space - 1);
    if (name.empty() || name[0] == '(') continue;     // "(silent)" and the like
    names.push_back(name);
  }
  return names;
}

std::string failedCheck(const ScenarioLine& line, const std::vector<std::string>& stepLines) {
  const std::string& kind = line.words[0];
  if (kind == "expect-sounds") {
    std::vector<std::string> wanted(line.words.begin() + 1, line.words.end());
    std::vector<std::string> heard = soundsHeard(stepLines);
    if (heard == wanted) return {};
    return "expected " + listed(wanted) + ", heard " + listed(heard);
  }
  std::string text = restOf(line);
  bool found = false;
  for (const std::string& printed : stepLines) found = found || printed.find(text) != std::string::npos;
  if (kind == "expect" && !found) return "no line of the last step contains \"" + text + "\"";
  if (kind == "expect-not" && found) return "a line of the last step contains \"" + text + "\"";
  return {};
}

}  // namespace sim
