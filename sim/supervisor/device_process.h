// One process of the simulated device, started and watched by the simulator: its channel, its end.
#pragma once

#include <sys/types.h>

#include <optional>
#include <string>
#include <vector>

#include "protocol/channel.h"

namespace sim {

struct Launch {
  std::string name;                     // as the transcript names it: "SpringBoard"
  std::string executable;               // host path
  std::vector<std::string> arguments;   // after argv[0] (which is the name)
  std::string privateViewRoot;          // non-empty: run it in the private view of this device root
  std::vector<std::pair<std::string, std::string>> environment;  // added to the simulator's
};

// How long a process is given to end once it was told to (quit, a signal, SIGKILL).
inline constexpr int kEndTimeoutMs = 5000;

class DeviceProcess {
 public:
  // Starts the process with its end of a channel at protocol::kChannelFd, standard input from
  // /dev/null and standard output sent to standard error (the transcript is the simulator's), every
  // signal at its default disposition and none blocked (whatever the simulator inherited: nohup or a
  // background job ignore some). The process dies with the simulator. Throws std::runtime_error when
  // it cannot start.
  explicit DeviceProcess(const Launch& launch);
  ~DeviceProcess();
  DeviceProcess(const DeviceProcess&) = delete;
  DeviceProcess& operator=(const DeviceProcess&) = delete;

  const std::string& name() const { return name_; }
  const Channel& channel() const { return channel_; }
  bool hasEnded() const { return status_.has_value(); }

  // Reaps the process if it has ended, without waiting; its wait status then.
  std::optional<int> checkEnded();
  // Waits at most `timeoutMs` for the process to end; its wait status, or nullopt while it runs on.
  std::optional<int> waitEnded(int timeoutMs);
  // Sends `signal` (unless it has already ended) and waits at most `timeoutMs` for the end; its wait
  // status, or nullopt when it did not end.
  std::optional<int> stop(int signal, int timeoutMs);
  // For a process that is ending (its channel closed) or must end: waits kEndTimeoutMs, then kills it.
  // Its wait status; if even SIGKILL does not end it in time (a process stuck in the kernel), it is
  // left behind and counts as ended, with the status of a kill.
  int finish();
  // Kills it (SIGKILL) and waits as finish() does.
  int kill();

 private:
  std::string name_;
  pid_t pid_ = -1;
  Channel channel_;
  std::optional<int> status_;
};

// "exit 0", "exit 3", "signal 9 (Killed)".
std::string describeEnd(int waitStatus);

// Every device process still running, for the interrupt handler: ends them all at once.
void killAllDeviceProcesses();

}  // namespace sim
