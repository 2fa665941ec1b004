// The Darwin notification transport over Unix datagram sockets.
//
// Datagrams keep posts apart and a socket file per process lets a poster reach every observer
// without a daemon. The kernel queues at most a few datagrams per socket (net.unix.max_dgram_qlen,
// often 10) whatever the buffer size, so a poster that finds a queue full waits a bounded time for
// the observer's run loop to read, rather than dropping a post from a burst.
#include "notify_sockets.h"

#include "host/device.h"
#include "host/file_changes.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <cerrno>
#include <cstddef>
#include <cstdio>
#include <cstring>
#include <vector>

namespace notify {
namespace {

constexpr int kSendBufferBytes = 1 << 20;
constexpr int kFullQueueWaitSeconds = 1;

struct Address {
  sockaddr_un addr{};
  socklen_t length = 0;
};

// The address of `name` in `folder`, through the folder's descriptor: short whatever the device
// root's path, and in the folder that was opened without following links.
bool addressOf(const host::files::Folder& folder, const std::string& name, Address& out) {
  std::string path = folder.pathOf(name);
  if (path.size() >= sizeof out.addr.sun_path) return false;
  out.addr.sun_family = AF_UNIX;
  std::memcpy(out.addr.sun_path, path.c_str(), path.size() + 1);
  out.length = static_cast<socklen_t>(offsetof(sockaddr_un, sun_path) + path.size() + 1);
  return true;
}

bool sameFile(const struct stat& a, const struct stat& b) { return a.st_dev == b.st_dev && a.st_ino == b.st_ino; }

std::vector<std::string> socketNames(DIR* dir) {
  std::vector<std::string> names;
  while (dirent* entry = readdir(dir)) {
    std::string name = entry->d_name;
    if (name.size() > 5 && name.ends_with(".sock")) names.push_back(name);
  }
  return names;
}

}  // namespace

std::string socketFolder() { return host::device::path("/var/run/notifyd"); }

Listener listen() {
  Listener listener;
  const std::string folder = socketFolder();
  std::string problem;
  host::files::Folder opened = host::files::openFolder(folder, true, &problem);
  if (!opened) {
    std::fprintf(stderr, "notify: cannot listen in %s: %s\n", folder.c_str(), problem.c_str());
    return listener;
  }
  const std::string name = std::to_string(getpid()) + ".sock";
  Address address;
  int fd = socket(AF_UNIX, SOCK_DGRAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
  bool bound = fd >= 0 && addressOf(opened, name, address);
  if (bound && bind(fd, reinterpret_cast<sockaddr*>(&address.addr), address.length) != 0) {
    // Only a process with this id can have made the file, and this process has no socket yet.
    bound = errno == EADDRINUSE && unlinkat(opened.fd(), name.c_str(), 0) == 0 &&
            bind(fd, reinterpret_cast<sockaddr*>(&address.addr), address.length) == 0;
  }
  if (!bound) {
    std::fprintf(stderr, "notify: cannot listen at %s/%s: %s\n", folder.c_str(), name.c_str(), std::strerror(errno));
    if (fd >= 0) close(fd);
    return listener;
  }
  listener.fd = fd;
  listener.path = folder + "/" + name;
  return listener;
}

void stopListening(Listener& listener) {
  if (listener.fd < 0) return;
  close(listener.fd);
  host::files::removeEntry(listener.path, false, nullptr);
  listener = Listener{};
}

void sendToAll(const std::string& name, const std::string& ownPath) {
  const std::string folder = socketFolder();
  host::files::Folder opened = host::files::openFolder(folder, false, nullptr);
  if (!opened) return;  // nobody has ever observed anything
  DIR* dir = opendir(opened.pathOf("").c_str());
  if (dir == nullptr) return;
  // Blocking with a time limit: sendto waits for room in a full queue, for at most the limit.
  int sender = socket(AF_UNIX, SOCK_DGRAM | SOCK_CLOEXEC, 0);
  if (sender < 0) {
    closedir(dir);
    return;
  }
  int bytes = kSendBufferBytes;
  setsockopt(sender, SOL_SOCKET, SO_SNDBUF, &bytes, sizeof bytes);
  timeval limit{kFullQueueWaitSeconds, 0};
  setsockopt(sender, SOL_SOCKET, SO_SNDTIMEO, &limit, sizeof limit);

  int folderFd = opened.fd();
  for (const std::string& socketName : socketNames(dir)) {
    if (folder + "/" + socketName == ownPath) continue;
    struct stat before;
    Address address;
    if (fstatat(folderFd, socketName.c_str(), &before, AT_SYMLINK_NOFOLLOW) != 0 || !S_ISSOCK(before.st_mode)) continue;
    if (!addressOf(opened, socketName, address)) continue;
    ssize_t sent;
    do {
      sent = sendto(sender, name.data(), name.size(), MSG_NOSIGNAL, reinterpret_cast<sockaddr*>(&address.addr),
                    address.length);
    } while (sent < 0 && errno == EINTR);
    if (sent >= 0) continue;
    if (errno == ECONNREFUSED) {
      // Nobody listens: the process is gone. Remove its file unless a new process took the name meanwhile.
      struct stat now;
      if (fstatat(folderFd, socketName.c_str(), &now, AT_SYMLINK_NOFOLLOW) == 0 && sameFile(before, now))
        unlinkat(folderFd, socketName.c_str(), 0);
    } else if (errno == EAGAIN || errno == EWOULDBLOCK) {
      std::fprintf(stderr, "notify: %s/%s is not reading its notifications; %s was not delivered to it\n",
                   folder.c_str(), socketName.c_str(), name.c_str());
    }
  }
  close(sender);
  closedir(dir);
}

void receiveAll(int fd, const std::function<void(std::string)>& onName) {
  char buffer[kMaxNameLength + 1];
  for (;;) {
    ssize_t length = recv(fd, buffer, sizeof buffer, MSG_DONTWAIT | MSG_TRUNC);
    if (length < 0) {
      if (errno == EINTR) continue;
      return;  // nothing more waiting
    }
    if (static_cast<size_t>(length) > kMaxNameLength) continue;  // not from a poster of ours
    onName(std::string(buffer, static_cast<size_t>(length)));
  }
}

}  // namespace notify
