// backboardd, as the simulated device runs it: the process whose end is a respring. It keeps its pid
// file <device root>/var/run/backboardd.pid (for killall) and answers the simulator on its channel
// until it is told to quit or is killed.
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "host/file_changes.h"
#include "protocol/channel.h"
#include "protocol/protocol.h"

int main(int argc, char** argv) {
  if (argc > 1 && (std::strcmp(argv[1], "--help") == 0 || std::strcmp(argv[1], "-h") == 0)) {
    std::puts("usage: backboardd\nThe simulated device's backboardd; ravelo-sim starts it (RAVELO_DEVICE_ROOT, channel on fd 3).");
    return 0;
  }
  const char* root = std::getenv("RAVELO_DEVICE_ROOT");
  if (root == nullptr || root[0] == '\0') {
    std::fputs("backboardd: RAVELO_DEVICE_ROOT is not set (ravelo-sim starts this program)\n", stderr);
    return 2;
  }
  std::string pidFile = std::string(root) + "/var/run/backboardd.pid";
  std::string problem;
  if (!host::files::replaceFile(pidFile, std::to_string(getpid()) + "\n", 0644, false, &problem))
    std::fprintf(stderr, "backboardd: cannot write its pid file: %s\n", problem.c_str());
  sim::Channel channel(sim::protocol::kChannelFd);
  channel.send("ready");
  while (auto message = channel.receive()) {
    if (message->kind == "clock") channel.send("ok");
    else if (message->kind == "sync") channel.send("idle");
    else if (message->kind == "run") channel.send("fail", "backboardd takes no commands");
    else if (message->kind == "quit") break;
  }
  host::files::removeEntry(pidFile, false, nullptr);
  return 0;
}
