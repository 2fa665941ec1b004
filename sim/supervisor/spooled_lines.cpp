#include "supervisor/spooled_lines.h"

#include <cstring>

namespace sim {

SpooledLines::SpooledLines() : file_(std::tmpfile()) {}

SpooledLines::~SpooledLines() {
  if (file_) std::fclose(file_);
}

void SpooledLines::append(const std::string& line) {
  if (!file_) {
    memory_.push_back(line);
    return;
  }
  // Lines never hold a newline (each trace line is one), so one line of the file is one line of the run.
  std::fseek(file_, 0, SEEK_END);
  std::fwrite(line.data(), 1, line.size(), file_);
  std::fputc('\n', file_);
}

bool SpooledLines::anyContains(const std::string& text) const {
  if (!file_) {
    for (const std::string& line : memory_)
      if (line.find(text) != std::string::npos) return true;
    return false;
  }
  std::rewind(file_);
  std::string line;
  char chunk[4096];
  while (std::fgets(chunk, sizeof chunk, file_)) {
    size_t length = std::strlen(chunk);
    bool ends = length > 0 && chunk[length - 1] == '\n';
    line.append(chunk, ends ? length - 1 : length);
    if (!ends) continue;
    if (line.find(text) != std::string::npos) return true;
    line.clear();
  }
  return false;
}

}  // namespace sim
