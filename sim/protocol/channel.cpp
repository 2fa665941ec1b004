#include "protocol/channel.h"

#include <errno.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

namespace sim {
namespace {

constexpr size_t kMaxMessage = 1 << 20;

std::optional<Message> decode(const char* data, size_t size) {
  std::string_view text(data, size);
  size_t space = text.find(' ');
  if (space == std::string_view::npos) return Message{std::string(text), {}};
  return Message{std::string(text.substr(0, space)), std::string(text.substr(space + 1))};
}

std::optional<Message> receiveWith(int fd, int flags, bool* closed) {
  if (closed != nullptr) *closed = false;
  if (fd < 0) {
    if (closed != nullptr) *closed = true;
    return std::nullopt;
  }
  static thread_local std::vector<char> buffer(kMaxMessage);
  for (;;) {
    ssize_t n = recv(fd, buffer.data(), buffer.size(), flags);
    if (n > 0) return decode(buffer.data(), static_cast<size_t>(n));
    if (n < 0 && errno == EINTR) continue;
    if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) return std::nullopt;
    // 0: the other side closed; other errors (ECONNRESET) end the link too.
    if (closed != nullptr) *closed = true;
    return std::nullopt;
  }
}

}  // namespace

Channel& Channel::operator=(Channel&& other) noexcept {
  if (this != &other) {
    close();
    fd_ = std::exchange(other.fd_, -1);
  }
  return *this;
}

void Channel::close() {
  if (fd_ >= 0) ::close(fd_);
  fd_ = -1;
}

bool Channel::send(std::string_view kind, std::string_view body, int* error) const {
  auto failed = [&](int reason) {
    if (error != nullptr) *error = reason;
    return false;
  };
  if (fd_ < 0) return failed(EBADF);
  std::string message(kind);
  if (!body.empty()) {
    message += ' ';
    message += body;
  }
  if (message.size() > kMaxMessage) return failed(EMSGSIZE);
  for (;;) {
    ssize_t n = ::send(fd_, message.data(), message.size(), MSG_NOSIGNAL);
    if (n >= 0) return true;
    if (errno != EINTR) return failed(errno);
  }
}

std::optional<Message> Channel::receive(int timeoutMs, bool* timedOut) const {
  if (timedOut != nullptr) *timedOut = false;
  if (fd_ >= 0 && timeoutMs >= 0) {
    pollfd p{fd_, POLLIN, 0};
    int ready;
    do ready = ::poll(&p, 1, timeoutMs);
    while (ready < 0 && errno == EINTR);
    if (ready == 0) {
      if (timedOut != nullptr) *timedOut = true;
      return std::nullopt;
    }
  }
  bool closed = false;
  return receiveWith(fd_, 0, &closed);
}

std::optional<Message> Channel::tryReceive(bool* closed) const { return receiveWith(fd_, MSG_DONTWAIT, closed); }

std::pair<int, int> makeChannelPair() {
  int fds[2];
  if (socketpair(AF_UNIX, SOCK_SEQPACKET | SOCK_CLOEXEC, 0, fds) != 0) {
    std::perror("ravelo-sim: socketpair");
    std::exit(1);
  }
  return {fds[0], fds[1]};
}

}  // namespace sim
