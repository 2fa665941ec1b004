// A simulated device process's side of its channel to the simulator (protocol.h): its trace lines go
// to the simulator, the scenario clock sets the audio service's clock, and commands arrive between
// turns of the process's main run loop, which keeps serving notifications meanwhile.
#pragma once

#include <functional>
#include <string>
#include <vector>

namespace sim::device {

// Runs one command (its words); returns "" when done, else the reason it failed.
using CommandHandler = std::function<std::string(const std::vector<std::string>& words)>;

class Session {
 public:
  // Takes the channel at protocol::kChannelFd and installs the trace sink. `processName` prefixes
  // messages on standard error.
  explicit Session(std::string processName);

  // Handles everything that is ready on the main run loop until nothing is.
  static void settle();

  // Tells the simulator that start-up has finished.
  void ready();

  // Serves the simulator until it says quit or goes away; each command runs through `handle`, then
  // the run loop settles and `afterCommand` (if any) runs before the answer.
  [[noreturn]] void serve(const CommandHandler& handle, const std::function<void()>& afterCommand = {});

 private:
  std::string name_;
};

// Reads "--name value" options of a device process's command line.
std::string option(int argc, char** argv, const char* name, const std::string& fallback = "");
// Every value of a "--name value" option that may be given several times.
std::vector<std::string> repeatedOption(int argc, char** argv, const char* name);

}  // namespace sim::device
