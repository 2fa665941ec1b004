#include "supervisor/private_view.h"

#include <errno.h>
#include <fcntl.h>
#include <sched.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>

namespace sim {
namespace {

bool fail(std::string* error, const std::string& what) {
  *error = what + ": " + std::strerror(errno);
  return false;
}

bool writeFile(const char* path, const std::string& text) {
  int fd = open(path, O_WRONLY | O_CLOEXEC);
  if (fd < 0) return false;
  bool ok = write(fd, text.data(), text.size()) == static_cast<ssize_t>(text.size());
  close(fd);
  return ok;
}

bool makePath(const std::string& path) {
  for (size_t at = 1; at <= path.size(); ++at) {
    if (at != path.size() && path[at] != '/') continue;
    std::string prefix = path.substr(0, at);
    if (mkdir(prefix.c_str(), 0755) != 0 && errno != EEXIST) return false;
  }
  return true;
}

bool bindFd(int fd, const std::string& target, std::string* error) {
  std::string source = "/proc/self/fd/" + std::to_string(fd);
  if (!makePath(target)) return fail(error, "mkdir " + target);
  if (mount(source.c_str(), target.c_str(), nullptr, MS_BIND | MS_REC, nullptr) != 0)
    return fail(error, "bind-mount onto " + target);
  return true;
}

}  // namespace

bool enterPrivateView(const std::string& root, std::string* error) {
  uid_t uid = getuid();
  gid_t gid = getgid();
  if (geteuid() == 0) {
    if (unshare(CLONE_NEWNS) != 0) return fail(error, "unshare(CLONE_NEWNS)");
  } else {
    if (unshare(CLONE_NEWUSER | CLONE_NEWNS) != 0) return fail(error, "unshare(CLONE_NEWUSER | CLONE_NEWNS)");
    writeFile("/proc/self/setgroups", "deny");
    if (!writeFile("/proc/self/uid_map", "0 " + std::to_string(uid) + " 1") ||
        !writeFile("/proc/self/gid_map", "0 " + std::to_string(gid) + " 1"))
      return fail(error, "mapping the user into the user namespace");
  }
  // Nothing mounted here may reach the host's namespace.
  if (mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0) return fail(error, "making / private");

  // Held open across the tmpfs mount, which hides everything below /var (the root too, if it is there).
  const char* parts[] = {"jb", "mobile", "run"};
  int fds[3];
  for (int i = 0; i < 3; ++i) {
    std::string path = root + "/var/" + parts[i];
    fds[i] = open(path.c_str(), O_PATH | O_DIRECTORY | O_CLOEXEC);
    if (fds[i] < 0) return fail(error, "open " + path);
  }
  bool rootBelowVar = root.compare(0, 5, "/var/") == 0;
  int rootFd = rootBelowVar ? open(root.c_str(), O_PATH | O_DIRECTORY | O_CLOEXEC) : -1;
  if (rootBelowVar && rootFd < 0) return fail(error, "open " + root);

  if (mount("tmpfs", "/var", "tmpfs", MS_NOSUID | MS_NODEV, "mode=0755") != 0) return fail(error, "mount tmpfs on /var");
  for (int i = 0; i < 3; ++i)
    if (!bindFd(fds[i], std::string("/var/") + parts[i], error)) return false;
  if (rootBelowVar && !bindFd(rootFd, root, error)) return false;
  for (int fd : fds) close(fd);
  if (rootFd >= 0) close(rootFd);
  return true;
}

bool privateViewWorks(const std::string& root, std::string* error) {
  int pipeFds[2];
  if (pipe2(pipeFds, O_CLOEXEC) != 0) return fail(error, "pipe");
  pid_t child = fork();
  if (child < 0) return fail(error, "fork");
  if (child == 0) {
    close(pipeFds[0]);
    std::string problem;
    if (!enterPrivateView(root, &problem)) {
      ssize_t ignored = write(pipeFds[1], problem.data(), problem.size());
      (void)ignored;
      _exit(1);
    }
    struct stat st;
    std::string probe = "/var/jb/usr/bin/killall";
    if (stat(probe.c_str(), &st) != 0) {
      std::string text = probe + " is not visible in the private view";
      ssize_t ignored = write(pipeFds[1], text.data(), text.size());
      (void)ignored;
      _exit(1);
    }
    _exit(0);
  }
  close(pipeFds[1]);
  char buffer[512];
  std::string message;
  ssize_t n;
  while ((n = read(pipeFds[0], buffer, sizeof buffer)) > 0) message.append(buffer, static_cast<size_t>(n));
  close(pipeFds[0]);
  int status = 0;
  waitpid(child, &status, 0);
  if (WIFEXITED(status) && WEXITSTATUS(status) == 0) return true;
  *error = message.empty() ? "the probe process failed" : message;
  return false;
}

}  // namespace sim
