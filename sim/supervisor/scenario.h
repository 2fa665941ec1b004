// Reading a scenario: one command a line, '#' starts a comment, blank lines are skipped.
#pragma once

#include <istream>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

namespace sim {

// A scenario line's words. Words are separated by blanks; "double quotes" make one word of text
// with blanks in it (\" and \\ inside stand for themselves).
struct ScenarioLine {
  std::string file;   // as named in messages: the file's name, "tour.txt" or "stdin"
  int number = 0;     // 1-based
  std::string text;   // the line without comment and surrounding blanks
  std::vector<std::string> words;
  std::vector<bool> quoted;  // per word: whether it was written in quotes
  std::vector<size_t> starts;  // per word: where it starts in `text`

  std::string where() const { return file + ":" + std::to_string(number); }
  // The line as written from word `index` on ("" past the last word).
  std::string textFrom(size_t index) const { return index < starts.size() ? text.substr(starts[index]) : ""; }
};

// `text` with its control characters but tab written as octal escapes ("\000" for a NUL), as the
// transcript prints them: a NUL from a scenario line cannot cut a message short.
std::string shownControls(const std::string& text);

// A fault in the scenario, reported as "FILE:LINE: message" (control characters shown as escapes).
class ScenarioError : public std::runtime_error {
 public:
  ScenarioError(const ScenarioLine& line, const std::string& message)
      : std::runtime_error(shownControls(line.where() + ": " + message)) {}
};

class ScenarioReader {
 public:
  ScenarioReader(std::istream& in, std::string fileName) : in_(in), file_(std::move(fileName)) {}

  // The next line holding a command; nullopt at the end. Throws ScenarioError for an unclosed quote.
  // Lines end at LF, CR or CR LF, as editors write them; a UTF-8 byte-order mark before the first
  // line is not part of it.
  std::optional<ScenarioLine> next();

 private:
  bool readLine(std::string& line);
  std::istream& in_;
  std::string file_;
  int number_ = 0;
  bool afterCR_ = false;  // the last line ended at a CR: an LF right after it belongs to that end
};

// The words of `text` (quotes as above); false with *error set for an unclosed quote.
bool splitWords(const std::string& text, std::vector<std::string>* words, std::string* error,
                std::vector<bool>* quoted = nullptr, std::vector<size_t>* starts = nullptr);

}  // namespace sim
