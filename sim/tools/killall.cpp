// killall, as the simulated device's jailbreak provides it: "killall [-SIGNAL] name..." signals the
// processes of the simulated device with those names, and only those: a device process that can be
// signalled keeps a pid file <device root>/var/run/<name>.pid. The device root is found from where
// this program is installed (<device root>/var/jb/usr/bin/killall, or in Dopamine's layout
// <device root>/private/preboot/<hash>/dopamine-<id>/procursus/usr/bin/killall, which /var/jb links to),
// since it may be started with an empty environment. It returns once each signalled process has ended (a signal that does not end
// it is waited for briefly), so whoever started it sees the outcome.
#include <errno.h>
#include <signal.h>
#include <string.h>
#include <time.h>
#include <unistd.h>

#include <climits>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>
#include <vector>

#include "protocol/console.h"

namespace {

constexpr const char* kInstalledAt = "/var/jb/usr/bin/killall";
constexpr const char* kInJbroot = "/usr/bin/killall";

void usage(std::FILE* to) {
  std::fputs(
      "usage: killall [-SIGNAL | -s SIGNAL] name ...\n"
      "Sends SIGNAL (default TERM; a name like KILL or a number like 9) to the simulated device's\n"
      "processes called name. Only processes of the device this copy is installed in are affected.\n",
      to);
}

int signalNamed(std::string name) {
  if (name.empty()) return -1;
  if (name.find_first_not_of("0123456789") == std::string::npos) {
    long n = std::strtol(name.c_str(), nullptr, 10);
    return n > 0 && n < NSIG ? static_cast<int>(n) : -1;
  }
  if (name.rfind("SIG", 0) == 0) name = name.substr(3);
  for (int sig = 1; sig < NSIG; ++sig) {
    const char* abbrev = sigabbrev_np(sig);
    if (abbrev != nullptr && name == abbrev) return sig;
  }
  return -1;
}

bool endsWith(const std::string& text, const std::string& suffix) {
  return text.size() >= suffix.size() && text.compare(text.size() - suffix.size(), suffix.size(), suffix) == 0;
}

// The device root, from the jailbreak root this copy is installed in; "-" when it is not installed in one.
std::string deviceRoot() {
  char self[PATH_MAX];
  ssize_t n = readlink("/proc/self/exe", self, sizeof self - 1);
  if (n <= 0) return "-";
  std::string path(self, static_cast<size_t>(n));
  if (!endsWith(path, kInJbroot)) return "-";
  std::string jbroot = path.substr(0, path.size() - strlen(kInJbroot));
  if (endsWith(jbroot, "/var/jb")) return jbroot.substr(0, jbroot.size() - 7);
  // <root>/private/preboot/<hash>/dopamine-<id>/procursus
  size_t preboot = jbroot.rfind("/private/preboot/");
  if (preboot == std::string::npos || !endsWith(jbroot, "/procursus")) return "-";
  std::string below = jbroot.substr(preboot + 17);
  size_t slash = below.find('/');
  if (slash == std::string::npos || below.compare(slash + 1, 9, "dopamine-") != 0) return "-";
  return jbroot.substr(0, preboot);
}

std::string commOf(pid_t pid) {
  std::ifstream in("/proc/" + std::to_string(pid) + "/comm");
  std::string comm;
  std::getline(in, comm);
  return comm;
}

// Whether the process is gone or has ended (a zombie waiting for its parent).
bool hasEnded(pid_t pid) {
  std::ifstream in("/proc/" + std::to_string(pid) + "/stat");
  std::string stat;
  if (!std::getline(in, stat)) return true;
  size_t paren = stat.rfind(')');
  return paren == std::string::npos || paren + 2 >= stat.size() || stat[paren + 2] == 'Z' || stat[paren + 2] == 'X';
}

void waitForEnd(pid_t pid) {
  for (int i = 0; i < 5000 && !hasEnded(pid); ++i) {
    timespec ms{0, 1000000};
    nanosleep(&ms, nullptr);
  }
}

}  // namespace

int main(int argc, char** argv) {
  int sig = SIGTERM;
  std::vector<std::string> names;
  for (int i = 1; i < argc; ++i) {
    std::string arg = argv[i];
    if (arg == "--help" || arg == "-h") {
      usage(stdout);
      return 0;
    }
    if (arg == "-s" && i + 1 < argc) {
      sig = signalNamed(argv[++i]);
    } else if (arg.size() > 1 && arg[0] == '-' && names.empty()) {
      sig = signalNamed(arg.substr(1));
    } else {
      names.push_back(arg);
    }
    if (sig < 0) {
      std::fprintf(stderr, "killall: unknown signal %s\n", arg.c_str());
      usage(stderr);
      return 2;
    }
  }
  if (names.empty()) {
    usage(stderr);
    return 2;
  }
  std::string root = deviceRoot();
  if (root == "-") {
    std::fprintf(stderr, "killall: this stand-in works only installed at <device root>%s (or where that links to)\n",
                 kInstalledAt);
    return 2;
  }

  std::string arguments;
  for (int i = 1; i < argc; ++i) arguments += std::string(i > 1 ? " " : "") + argv[i];
  int status = 0;
  for (const std::string& name : names) {
    pid_t pid = 0;
    if (name.find('/') == std::string::npos && name != "." && name != "..") {
      std::ifstream pidFile(root + "/var/run/" + name + ".pid");
      long value = 0;
      if (pidFile >> value && value > 1) pid = static_cast<pid_t>(value);
    }
    if (pid == 0 || hasEnded(pid) || commOf(pid) != name.substr(0, 15)) {
      std::fprintf(stderr, "No matching processes belonging to you were found\n");
      sim::console::log(root, "killall", arguments + ": no process named " + name);
      status = 1;
      continue;
    }
    if (kill(pid, sig) != 0) {
      std::fprintf(stderr, "killall: %s: %s\n", name.c_str(), strerror(errno));
      sim::console::log(root, "killall", arguments + ": cannot signal " + name + ": " + strerror(errno));
      status = 1;
      continue;
    }
    sim::console::log(root, "killall", arguments + ": sent SIG" + std::string(sigabbrev_np(sig)) + " to " + name);
    waitForEnd(pid);
  }
  return status;
}
