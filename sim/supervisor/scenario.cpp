#include "supervisor/scenario.h"

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

std::optional<ScenarioLine> ScenarioReader::next() {
  std::string raw;
  while (std::getline(in_, raw)) {
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
