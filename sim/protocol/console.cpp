#include "protocol/console.h"

#include <errno.h>
#include <fcntl.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <stdexcept>

namespace sim::console {
namespace {

constexpr const char* kSocketName = "ravelo-console.sock";

// The socket's address through the run folder's descriptor.
sockaddr_un address(int folder) {
  sockaddr_un out;
  std::memset(&out, 0, sizeof out);
  out.sun_family = AF_UNIX;
  std::snprintf(out.sun_path, sizeof out.sun_path, "/proc/self/fd/%d/%s", folder, kSocketName);
  return out;
}

}  // namespace

void log(const std::string& deviceRoot, const std::string& tool, const std::string& line) {
  int folder = open((deviceRoot + "/var/run").c_str(), O_PATH | O_DIRECTORY | O_CLOEXEC);
  if (folder < 0) return;
  sockaddr_un to = address(folder);
  int fd = socket(AF_UNIX, SOCK_DGRAM | SOCK_CLOEXEC, 0);
  if (fd >= 0) {
    std::string message = tool + "\t" + line;
    sendto(fd, message.data(), message.size(), MSG_DONTWAIT, reinterpret_cast<sockaddr*>(&to), sizeof to);
    close(fd);
  }
  close(folder);
}

Listener::Listener(int runFolder) {
  folder_ = fcntl(runFolder, F_DUPFD_CLOEXEC, 0);
  if (folder_ < 0) throw std::runtime_error("the device's run folder: " + std::string(std::strerror(errno)));
  sockaddr_un at = address(folder_);
  fd_ = socket(AF_UNIX, SOCK_DGRAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
  if (fd_ < 0) throw std::runtime_error("socket: " + std::string(std::strerror(errno)));
  unlinkat(folder_, kSocketName, 0);
  if (bind(fd_, reinterpret_cast<sockaddr*>(&at), sizeof at) != 0)
    throw std::runtime_error("cannot listen at /var/run/" + std::string(kSocketName) + ": " + std::strerror(errno));
}

Listener::~Listener() {
  if (fd_ >= 0) close(fd_);
  if (folder_ >= 0) {
    unlinkat(folder_, kSocketName, 0);
    close(folder_);
  }
}

std::optional<std::pair<std::string, std::string>> Listener::next() {
  char buffer[4096];
  ssize_t n;
  do n = recv(fd_, buffer, sizeof buffer, 0);
  while (n < 0 && errno == EINTR);
  if (n <= 0) return std::nullopt;
  std::string message(buffer, static_cast<size_t>(n));
  size_t tab = message.find('\t');
  if (tab == std::string::npos) return std::make_pair(std::string("console"), message);
  return std::make_pair(message.substr(0, tab), message.substr(tab + 1));
}

}  // namespace sim::console
