// The link between the simulator and one simulated device process: a Unix socket pair of framed
// messages (SOCK_SEQPACKET), so one message is one send and one receive, never split or merged.
// A message is a kind and a body ("trace audio play 1 Pong.m4a at 300ms"); protocol.h lists them.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <utility>

namespace sim {

struct Message {
  std::string kind;
  std::string body;
};

class Channel {
 public:
  Channel() = default;
  explicit Channel(int fd) : fd_(fd) {}
  ~Channel() { close(); }
  Channel(Channel&& other) noexcept : fd_(std::exchange(other.fd_, -1)) {}
  Channel& operator=(Channel&& other) noexcept;
  Channel(const Channel&) = delete;
  Channel& operator=(const Channel&) = delete;

  int fd() const { return fd_; }
  bool isOpen() const { return fd_ >= 0; }
  void close();

  // Sends one message; false when it could not be sent, with *error (if given) the reason: EPIPE or
  // ECONNRESET when the other side is gone, EMSGSIZE when the message is larger than the channel carries.
  bool send(std::string_view kind, std::string_view body = {}, int* error = nullptr) const;

  // Waits for the next message; nullopt when the other side has closed its end (or died), or when
  // `timeoutMs` (if not negative) passed first, which sets *timedOut.
  std::optional<Message> receive(int timeoutMs = -1, bool* timedOut = nullptr) const;

  // The next message if one is already waiting, without blocking; nullopt otherwise, with *closed
  // set when the other side has closed its end.
  std::optional<Message> tryReceive(bool* closed) const;

 private:
  int fd_ = -1;
};

// A connected pair of descriptors, both close-on-exec; the caller hands one to a child.
std::pair<int, int> makeChannelPair();

}  // namespace sim
