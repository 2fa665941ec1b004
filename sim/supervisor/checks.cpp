#include "supervisor/checks.h"

namespace sim {
namespace {

// Whether every quote in `text` wraps a whole word ("a b" c), as opposed to standing inside one (["a"]).
bool quotesWrapWholeWords(const std::string& text) {
  auto blank = [](char c) { return c == ' ' || c == '\t'; };
  for (size_t i = 0; i < text.size(); ++i) {
    if (text[i] != '"') continue;
    if (i > 0 && !blank(text[i - 1])) return false;
    for (++i; i < text.size() && text[i] != '"'; ++i)
      if (text[i] == '\\') ++i;
    if (i + 1 < text.size() && !blank(text[i + 1])) return false;
  }
  return true;
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

std::string checkText(const ScenarioLine& line, size_t index) {
  std::string written = line.textFrom(index);
  if (written.find('"') == std::string::npos || !quotesWrapWholeWords(written)) return written;
  std::string text;
  for (size_t i = index; i < line.words.size(); ++i) text += (i > index ? " " : "") + line.words[i];
  return text;
}

namespace {

bool anyContains(const std::vector<std::string>& lines, const std::string& text) {
  for (const std::string& printed : lines)
    if (printed.find(text) != std::string::npos) return true;
  return false;
}

// "" when lines containing each text appear in this order (each after the one before), else which is missing.
std::string outOfOrder(const std::vector<std::string>& texts, const std::vector<std::string>& lines) {
  size_t next = 0;
  for (size_t t = 0; t < texts.size(); ++t) {
    while (next < lines.size() && lines[next].find(texts[t]) == std::string::npos) ++next;
    if (next == lines.size()) {
      if (t == 0 || !anyContains(lines, texts[t])) return "no line of the last step contains \"" + texts[t] + "\"";
      return "no line after the one containing \"" + texts[t - 1] + "\" contains \"" + texts[t] + "\"";
    }
    ++next;
  }
  return {};
}

}  // namespace

std::string failedCheck(const ScenarioLine& line, const CheckedLines& lines) {
  const std::string& kind = line.words[0];
  if (kind == "expect-sounds") {
    std::vector<std::string> wanted(line.words.begin() + 1, line.words.end());
    std::vector<std::string> heard = soundsHeard(lines.step);
    if (heard == wanted) return {};
    return "expected " + listed(wanted) + ", heard " + listed(heard);
  }
  if (kind == "expect-order") return outOfOrder({line.words.begin() + 1, line.words.end()}, lines.step);
  std::string text = checkText(line, 1);
  if (kind == "expect-boot") {
    if (!lines.booted) return "the device has not switched on yet";
    return anyContains(lines.boot, text) ? "" : "no line of the last boot block contains \"" + text + "\"";
  }
  if (kind == "expect-run")
    return lines.run.anyContains(text) ? "" : "no line of the run so far contains \"" + text + "\"";
  if (kind == "expect-not-run")
    return lines.run.anyContains(text) ? "a line of the run so far contains \"" + text + "\"" : "";
  bool found = anyContains(lines.step, text);
  if (kind == "expect" && !found) return "no line of the last step contains \"" + text + "\"";
  if (kind == "expect-not" && found) return "a line of the last step contains \"" + text + "\"";
  return {};
}

}  // namespace sim
