#include "support/fresh_process.h"

#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>

namespace testing_support {

bool inFreshProcess(const std::function<void()>& body) {
  std::fflush(nullptr);
  pid_t pid = fork();
  if (pid < 0) {
    ADD_FAILURE() << "fork failed";
    return false;
  }
  if (pid == 0) {
    body();
    std::fflush(nullptr);
    _exit(::testing::Test::HasFailure() ? 1 : 0);
  }
  int status = 0;
  waitpid(pid, &status, 0);
  if (WIFSIGNALED(status)) {
    ADD_FAILURE() << "the test process was killed by signal " << WTERMSIG(status) << " ("
                  << strsignal(WTERMSIG(status)) << ")";
    return false;
  }
  if (WEXITSTATUS(status) != 0) {
    ADD_FAILURE() << "the test process reported failures (see above)";
    return false;
  }
  return true;
}

}  // namespace testing_support
