#include "supervisor/scenario.h"

#include <cstdio>

namespace sim {
namespace {

bool isBlank(char c) { return c == ' ' || c == '\t' || c == '\r'; }

std::string trim(const std::string& s) {
  size_t first = 0, last = s.size();
  while (first < last && isBlank(s[first])) ++first;
  while (last > first && isBlank(s[last - 1])) --last;
  return s.substr(first, last - first);
}

// The line up to a '#' that is outside quotes.
std::string withoutComment(const std::string& line) {
  bool quoted = false;
  for (size_t i = 0; i < line.size(); ++i) {
    if (quoted && line[i] == '\\' && i + 1 < line.size()) {
      ++i;
    } else if (line[i] == '"') {
      quoted = !quoted;
    } else if (line[i] == '#' && !quoted) {
      return line.substr(0, i);
    }
  }
  return line;
}

}  // namespace

bool splitWords(const std::string& text, std::vector<std::string>* words, std::string* error,
                std::vector<bool>* quoted, std::vector<size_t>* starts) {
  words->clear();
  if (quoted != nullptr) quoted->clear();
  if (starts != nullptr) starts->clear();
  size_t i = 0;
  while (i < text.size()) {
    while (i < text.size() && isBlank(text[i])) ++i;
    if (i >= text.size()) break;
    size_t start = i;
    std::string word;
    bool quotedWord = false;
    while (i < text.size() && !isBlank(text[i])) {
      if (text[i] != '"') {
        word += text[i++];
        continue;
      }
      quotedWord = true;
      ++i;
      bool closed = false;
      while (i < text.size()) {
        char c = text[i++];
        if (c == '\\' && i < text.size() && (text[i] == '"' || text[i] == '\\')) {
          word += text[i++];
        } else if (c == '"') {
          closed = true;
          break;
        } else {
          word += c;
        }
      }
      if (!closed) {
        *error = "unclosed quote";
        return false;
      }
    }
    if (!word.empty() || quotedWord) {
      words->push_back(word);
      if (quoted != nullptr) quoted->push_back(quotedWord);
      if (starts != nullptr) starts->push_back(start);
    }
  }
  return true;
}

std::string shownControls(const std::string& text) {
  std::string out;
  for (unsigned char c : text) {
    if (c >= ' ' || c == '\t') {
      out += static_cast<char>(c);
    } else {
      char escape[8];
      std::snprintf(escape, sizeof escape, "\\%03o", c);
      out += escape;
    }
  }
  return out;
}

// Reads up to the next line end (not waiting past a CR, so a prompt answers at once).
bool ScenarioReader::readLine(std::string& line) {
  line.clear();
  bool any = false;
  for (int c; (c = in_.get()) != std::char_traits<char>::eof();) {
    bool lfAfterCR = afterCR_ && c == '\n' && !any;
    afterCR_ = false;
    if (lfAfterCR) continue;
    any = true;
    if (c == '\n') return true;
    if (c == '\r') {
      afterCR_ = true;
      return true;
    }
    line += static_cast<char>(c);
  }
  return any;
}

std::optional<ScenarioLine> ScenarioReader::next() {
  std::string raw;
  while (readLine(raw)) {
    if (number_ == 0 && raw.rfind("\xEF\xBB\xBF", 0) == 0) raw.erase(0, 3);
    ++number_;
    ScenarioLine line;
    line.file = file_;
    line.number = number_;
    line.text = trim(withoutComment(raw));
    if (line.text.empty()) continue;
    std::string error;
    if (!splitWords(line.text, &line.words, &error, &line.quoted, &line.starts)) throw ScenarioError(line, error);
    return line;
  }
  return std::nullopt;
}

}  // namespace sim
