#include "supervisor/device_process.h"

#include <errno.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <stdexcept>
#include <thread>

#include "protocol/protocol.h"
#include "supervisor/private_view.h"

namespace sim {
namespace {

// Pids the interrupt handler may signal: a fixed array, read from a signal handler.
constexpr int kMaxProcesses = 16;
volatile pid_t livePids[kMaxProcesses];

void remember(pid_t pid) {
  for (auto& slot : livePids)
    if (slot == 0) {
      slot = pid;
      return;
    }
}

void forget(pid_t pid) {
  for (auto& slot : livePids)
    if (slot == pid) slot = 0;
}

[[noreturn]] void childFails(const std::string& what) {
  std::string text = "ravelo-sim: cannot start a device process: " + what + "\n";
  ssize_t ignored = write(STDERR_FILENO, text.data(), text.size());
  (void)ignored;
  _exit(127);
}

}  // namespace

DeviceProcess::DeviceProcess(const Launch& launch) : name_(launch.name) {
  auto [ours, theirs] = makeChannelPair();
  std::vector<std::string> words{launch.name};
  words.insert(words.end(), launch.arguments.begin(), launch.arguments.end());
  std::vector<char*> argv;
  for (std::string& w : words) argv.push_back(w.data());
  argv.push_back(nullptr);
  pid_t parent = getpid();

  pid_t pid = fork();
  if (pid < 0) throw std::runtime_error("fork: " + std::string(std::strerror(errno)));
  if (pid == 0) {
    prctl(PR_SET_PDEATHSIG, SIGKILL);
    if (getppid() != parent) _exit(1);
    // A device process starts as the device starts it: no signal ignored or blocked. (exec keeps
    // ignored dispositions and the mask; caught ones it resets anyway.)
    for (int sig = 1; sig < NSIG; ++sig)
      if (sig != SIGKILL && sig != SIGSTOP) signal(sig, SIG_DFL);
    sigset_t none;
    sigemptyset(&none);
    sigprocmask(SIG_SETMASK, &none, nullptr);
    // A group of its own: a Ctrl-C at the terminal reaches the simulator, which ends the device.
    setpgid(0, 0);
    int devNull = open("/dev/null", O_RDONLY);
    if (devNull >= 0) dup2(devNull, STDIN_FILENO);
    dup2(STDERR_FILENO, STDOUT_FILENO);
    if (theirs == protocol::kChannelFd) {
      fcntl(theirs, F_SETFD, 0);
    } else if (dup2(theirs, protocol::kChannelFd) < 0) {
      childFails("dup2");
    }
    for (const auto& [name, value] : launch.environment) setenv(name.c_str(), value.c_str(), 1);
    if (!launch.privateViewRoot.empty()) {
      std::string error;
      if (!enterPrivateView(launch.privateViewRoot, &error)) childFails(error);
    }
    execv(launch.executable.c_str(), argv.data());
    childFails(launch.executable + ": " + std::strerror(errno));
  }
  close(theirs);
  pid_ = pid;
  channel_ = Channel(ours);
  remember(pid);
}

DeviceProcess::~DeviceProcess() {
  if (!status_) kill();
}

std::optional<int> DeviceProcess::checkEnded() {
  if (status_) return status_;
  int status = 0;
  pid_t r;
  do r = waitpid(pid_, &status, WNOHANG);
  while (r < 0 && errno == EINTR);
  if (r == pid_ || (r < 0 && errno == ECHILD)) {
    status_ = r == pid_ ? status : 0;
    forget(pid_);
    channel_.close();
  }
  return status_;
}

std::optional<int> DeviceProcess::waitEnded(int timeoutMs) {
  auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
  auto pause = std::chrono::microseconds(500);
  while (!checkEnded()) {
    if (std::chrono::steady_clock::now() >= deadline) return std::nullopt;
    std::this_thread::sleep_for(pause);
    pause = std::min<std::chrono::microseconds>(pause * 2, std::chrono::milliseconds(20));
  }
  return status_;
}

std::optional<int> DeviceProcess::stop(int signal, int timeoutMs) {
  if (!checkEnded()) ::kill(pid_, signal);
  return waitEnded(timeoutMs);
}

int DeviceProcess::kill() {
  if (auto status = stop(SIGKILL, kEndTimeoutMs)) return *status;
  // Stuck where not even SIGKILL reaches it: it is left behind rather than waited for without end.
  std::fprintf(stderr, "ravelo-sim: %s (pid %d) did not end within %d s of SIGKILL; left behind\n", name_.c_str(),
               static_cast<int>(pid_), kEndTimeoutMs / 1000);
  forget(pid_);
  channel_.close();
  status_ = SIGKILL;  // as a kill's wait status reads
  return *status_;
}

int DeviceProcess::finish() {
  if (auto status = waitEnded(kEndTimeoutMs)) return *status;
  return kill();
}

std::string describeEnd(int status) {
  if (WIFEXITED(status)) return "exit " + std::to_string(WEXITSTATUS(status));
  if (WIFSIGNALED(status)) {
    int sig = WTERMSIG(status);
    const char* what = sigdescr_np(sig);
    return "signal " + std::to_string(sig) + (what != nullptr ? std::string(" (") + what + ")" : "");
  }
  return "ended";
}

void killAllDeviceProcesses() {
  for (auto& slot : livePids)
    if (slot > 0) kill(slot, SIGKILL);
}

}  // namespace sim
