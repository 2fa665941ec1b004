#include "device/spawn_watch.h"

#include <dlfcn.h>
#include <spawn.h>
#include <sys/wait.h>

#include <cerrno>
#include <cstring>
#include <string>
#include <utility>
#include <vector>

#include "host/trace.h"

namespace {

std::vector<std::pair<pid_t, std::string>>& spawned() {
  static std::vector<std::pair<pid_t, std::string>> children;
  return children;
}

}  // namespace

// Every posix_spawn in this process (the executable's definition comes first in symbol lookup).
extern "C" __attribute__((visibility("default"))) int posix_spawn(pid_t* pid, const char* path,
                                                                 const posix_spawn_file_actions_t* actions,
                                                                 const posix_spawnattr_t* attributes,
                                                                 char* const argv[], char* const envp[]) {
  using Spawn = int (*)(pid_t*, const char*, const posix_spawn_file_actions_t*, const posix_spawnattr_t*,
                        char* const[], char* const[]);
  static Spawn real = reinterpret_cast<Spawn>(dlsym(RTLD_NEXT, "posix_spawn"));
  pid_t child = 0;
  int result = real(&child, path, actions, attributes, argv, envp);
  if (pid != nullptr) *pid = child;
  std::string arguments;
  for (char* const* a = argv; *a != nullptr; ++a) arguments += (arguments.empty() ? "" : " ") + std::string(*a);
  // A null environment pointer is not an empty list; both are shown as given.
  std::string environment = envp == nullptr ? "null" : envp[0] == nullptr ? "empty" : "";
  for (char* const* e = envp; e != nullptr && *e != nullptr; ++e)
    environment += (environment.empty() ? "[" : " ") + std::string(*e);
  if (environment.front() == '[') environment += "]";
  if (result == 0) {
    host::trace("spawn %s [%s] with environment %s", path, arguments.c_str(), environment.c_str());
    spawned().emplace_back(child, argv[0] != nullptr ? argv[0] : "?");
  } else {
    host::trace("spawn %s [%s] failed: %s", path, arguments.c_str(), std::strerror(result));
  }
  return result;
}

namespace sim::device {

void reapSpawnedProcesses() {
  for (auto& [pid, name] : spawned()) {
    int status = 0;
    pid_t r;
    do r = waitpid(pid, &status, 0);
    while (r < 0 && errno == EINTR);
    if (r != pid) continue;
    if (WIFEXITED(status)) host::trace("%s ended (exit %d)", name.c_str(), WEXITSTATUS(status));
    else if (WIFSIGNALED(status)) host::trace("%s ended (signal %d)", name.c_str(), WTERMSIG(status));
  }
  spawned().clear();
}

}  // namespace sim::device
