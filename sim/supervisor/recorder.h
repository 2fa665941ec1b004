// The audio of a run: every sound the device's processes played, placed on the scenario clock,
// collected from their trace lines (one collector per process, SpringBoard's restarts included).
#pragma once

#include <map>
#include <string>

#include "host/mixer.h"

namespace sim {

class Recorder {
 public:
  // `deviceRoot`: host folder of the device root; `privateView`: processes name files by their
  // device paths (/var/jb/...), which the recorder turns back into host paths.
  Recorder(std::string deviceRoot, bool privateView) : root_(std::move(deviceRoot)), privateView_(privateView) {}

  // A trace line of the process started as number `process`.
  void feed(int process, const std::string& line);

  size_t soundCount() const;

  // Writes the WAV; false with *error set when it could not.
  bool render(const std::string& wavPath, std::string* error) const;

 private:
  std::string root_;
  bool privateView_;
  std::map<int, host::mixer::TraceCollector> collectors_;
};

}  // namespace sim
