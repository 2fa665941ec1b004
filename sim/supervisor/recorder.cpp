#include "supervisor/recorder.h"

#include <vector>

namespace sim {

void Recorder::feed(int process, const std::string& line) {
  if (line.rfind("audio ", 0) != 0) return;
  std::string hostLine = line;
  if (privateView_ && line.rfind("audio create ", 0) == 0) {
    size_t path = line.find(" /var/", 13);
    if (path != std::string::npos) hostLine.insert(path + 1, root_);
  }
  collectors_[process].feed(hostLine);
}

size_t Recorder::soundCount() const {
  size_t count = 0;
  for (const auto& [process, collector] : collectors_) count += collector.placements().size();
  return count;
}

bool Recorder::render(const std::string& wavPath, std::string* error) const {
  std::vector<host::mixer::Placement> all;
  for (const auto& [process, collector] : collectors_)
    all.insert(all.end(), collector.placements().begin(), collector.placements().end());
  return host::mixer::renderWav(all, -1, wavPath, error);
}

}  // namespace sim
