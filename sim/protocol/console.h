// The device's console: a Unix datagram socket at <device root>/var/run/ravelo-console.sock where
// small device tools (killall) leave one line per message for the transcript. The simulator binds it
// and reads it between steps; a tool sends "<tool>\t<line>". Both reach the socket through the run
// folder's descriptor (/proc/self/fd/N/...), so the device root's path may be of any length.
#pragma once

#include <optional>
#include <string>
#include <utility>

namespace sim::console {

// Sends one line; silently does nothing when nobody listens.
void log(const std::string& deviceRoot, const std::string& tool, const std::string& line);

class Listener {
 public:
  // Binds the socket (replacing a stale one) in the device's run folder, open as `runFolder` (the
  // listener keeps its own copy of the descriptor). Throws std::runtime_error when it cannot.
  explicit Listener(int runFolder);
  ~Listener();
  Listener(const Listener&) = delete;
  Listener& operator=(const Listener&) = delete;

  // The next waiting line as (tool, line), without blocking.
  std::optional<std::pair<std::string, std::string>> next();

 private:
  int fd_ = -1;
  int folder_ = -1;
};

}  // namespace sim::console
