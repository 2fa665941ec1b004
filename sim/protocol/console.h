// The device's console: a Unix datagram socket at <device root>/var/run/ravelo-console.sock where
// small device tools (killall) leave one line per message for the transcript. The simulator binds it
// and reads it between steps; a tool sends "<tool>\t<line>".
#pragma once

#include <optional>
#include <string>
#include <utility>

namespace sim::console {

std::string socketPath(const std::string& deviceRoot);

// Sends one line; silently does nothing when nobody listens.
void log(const std::string& deviceRoot, const std::string& tool, const std::string& line);

class Listener {
 public:
  // Binds the socket (replacing a stale one). Throws std::runtime_error when it cannot.
  explicit Listener(const std::string& deviceRoot);
  ~Listener();
  Listener(const Listener&) = delete;
  Listener& operator=(const Listener&) = delete;

  // The next waiting line as (tool, line), without blocking.
  std::optional<std::pair<std::string, std::string>> next();

 private:
  int fd_ = -1;
  std::string path_;
};

}  // namespace sim::console
