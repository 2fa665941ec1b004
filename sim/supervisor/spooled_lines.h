// Every line of a run, kept on disk rather than in memory, for the checks on the whole run: a run
// of any length costs the simulator the same memory.
#pragma once

#include <cstdio>
#include <string>
#include <vector>

namespace sim {

class SpooledLines {
 public:
  SpooledLines();
  ~SpooledLines();
  SpooledLines(const SpooledLines&) = delete;
  SpooledLines& operator=(const SpooledLines&) = delete;

  void append(const std::string& line);
  // Whether any line appended so far contains `text`.
  bool anyContains(const std::string& text) const;

 private:
  // An unlinked temporary file; where none can be made, the lines stay in memory.
  std::FILE* file_;
  std::vector<std::string> memory_;
};

}  // namespace sim
