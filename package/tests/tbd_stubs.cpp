#include "tbd_stubs.h"

#include <fstream>
#include <sstream>
#include <stdexcept>

namespace stubs {
namespace {

std::string unquoted(std::string word) {
  while (!word.empty() && (word.back() == ',' || word.back() == ' ')) word.pop_back();
  if (word.size() >= 2 && (word.front() == '\'' || word.front() == '"')) word = word.substr(1, word.size() - 2);
  return word;
}

// The words of every "symbols: [ ... ]" list (a list may span lines), and the install name. Other
// keys (objc-classes, re-exports) are not used by the stubs.
void parse(const std::string& text, std::string& installName, std::set<std::string>& symbols) {
  std::istringstream lines(text);
  std::string line;
  bool inList = false;
  while (std::getline(lines, line)) {
    if (!inList) {
      size_t key = line.find("install-name:");
      if (key != std::string::npos) {
        std::istringstream value(line.substr(key + 13));
        std::string word;
        value >> word;
        installName = unquoted(word);
        continue;
      }
      key = line.find("symbols:");
      if (key == std::string::npos) continue;
      size_t open = line.find('[', key);
      if (open == std::string::npos) throw std::runtime_error("symbols list without '['");
      line = line.substr(open + 1);
      inList = true;
    }
    size_t close = line.find(']');
    std::string items = close == std::string::npos ? line : line.substr(0, close);
    for (char& c : items) {
      if (c == ',') c = ' ';
    }
    std::istringstream words(items);
    std::string word;
    while (words >> word) symbols.insert(unquoted(word));
    if (close != std::string::npos) inList = false;
  }
}

}  // namespace

std::map<std::string, std::set<std::string>> readAll(const std::filesystem::path& sdk) {
  std::map<std::string, std::set<std::string>> libraries;
  for (const auto& entry : std::filesystem::recursive_directory_iterator(sdk)) {
    if (!entry.is_regular_file() || entry.path().extension() != ".tbd") continue;
    std::ifstream file(entry.path());
    std::stringstream text;
    text << file.rdbuf();
    std::string installName;
    std::set<std::string> symbols;
    parse(text.str(), installName, symbols);
    if (installName.empty()) throw std::runtime_error(entry.path().string() + " has no install-name");
    if (!libraries.emplace(installName, symbols).second) {
      throw std::runtime_error("two stubs for " + installName);
    }
  }
  return libraries;
}

}  // namespace stubs
