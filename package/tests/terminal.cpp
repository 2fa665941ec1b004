#include "terminal.h"

#include <poll.h>
#include <pty.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <stdexcept>

TerminalRun runInTerminal(const std::vector<std::string>& argv, const std::vector<std::string>& extraEnv,
                          const std::string& prompt, const std::vector<std::string>& answers, int timeoutSeconds) {
  int terminal = -1;
  pid_t pid = forkpty(&terminal, nullptr, nullptr, nullptr);
  if (pid < 0) throw std::runtime_error("forkpty failed");
  if (pid == 0) testing_support::execInChild(argv, extraEnv);
  TerminalRun run;
  std::string& shown = run.result.output;
  size_t answered = 0;  // the output up to here has been answered
  auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(timeoutSeconds);
  for (;;) {
    pollfd ready{terminal, POLLIN, 0};
    if (std::chrono::steady_clock::now() > deadline) {
      kill(pid, SIGKILL);
      shown += "\n[killed: no end after " + std::to_string(timeoutSeconds) + " s]";
      break;
    }
    if (poll(&ready, 1, 200) <= 0) continue;
    char buffer[4096];
    ssize_t n = read(terminal, buffer, sizeof buffer);
    if (n <= 0) break;  // EIO: the terminal's last user closed it
    shown.append(buffer, static_cast<size_t>(n));
    size_t at = shown.find(prompt, answered);
    if (at == std::string::npos) continue;
    answered = at + prompt.size();
    std::string typed = (run.prompts < static_cast<int>(answers.size()) ? answers[run.prompts] : "") + "\n";
    ++run.prompts;
    if (write(terminal, typed.data(), typed.size()) != static_cast<ssize_t>(typed.size())) break;
  }
  close(terminal);
  int status = 0;
  waitpid(pid, &status, 0);
  run.result.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  return run;
}
