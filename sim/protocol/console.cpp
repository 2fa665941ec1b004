#include "protocol/console.h"

#include <errno.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <cstring>
#include <stdexcept>

namespace sim::console {
namespace {

bool address(const std::string& path, sockaddr_un* out) {
  std::memset(out, 0, sizeof *out);
  out->sun_family = AF_UNIX;
  if (path.size() >= sizeof out->sun_path) return false;
  std::memcpy(out->sun_path, path.c_str(), path.size() + 1);
  return true;
}

}  // namespace

std::string socketPath(const std::string& deviceRoot) { return deviceRoot + "/var/run/ravelo-console.sock"; }

void log(const std::string& deviceRoot, const std::string& tool, const std::string& line) {
  sockaddr_un to;
  if (!address(socketPath(deviceRoot), &to)) return;
  int fd = socket(AF_UNIX, SOCK_DGRAM | SOCK_CLOEXEC, 0);
  if (fd < 0) return;
  std::string message = tool + "\t" + line;
  sendto(fd, message.data(), message.size(), MSG_DONTWAIT, reinterpret_cast<sockaddr*>(&to), sizeof to);
  close(fd);
}

Listener::Listener(const std::string& deviceRoot) : path_(socketPath(deviceRoot)) {
  sockaddr_un at;
  if (!address(path_, &at)) throw std::runtime_error("the device root's path is too long for a socket: " + path_);
  fd_ = socket(AF_UNIX, SOCK_DGRAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
  if (fd_ < 0) throw std::runtime_error("socket: " + std::string(std::strerror(errno)));
  unlink(path_.c_str());
  if (bind(fd_, reinterpret_cast<sockaddr*>(&at), sizeof at) != 0)
    throw std::runtime_error("cannot listen at " + path_ + ": " + std::strerror(errno));
}

Listener::~Listener() {
  if (fd_ >= 0) close(fd_);
  unlink(path_.c_str());
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
