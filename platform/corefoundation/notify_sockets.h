// The Darwin notification transport: one Unix datagram socket per observing process, in one folder.
#pragma once

#include <functional>
#include <string>

namespace notify {

// <device root>/var/run/notifyd
std::string socketFolder();

struct Listener {
  int fd = -1;
  std::string path;
};

// Creates the folder and binds this process's socket, <pid>.sock, in it (non-blocking, closed on
// exec). A file left at that path by an earlier process with the same id is replaced. On failure
// answers a listener with fd -1 and prints why.
Listener listen();

// Closes the socket and removes its file.
void stopListening(Listener& listener);

// Sends `name` to every socket in the folder except `ownPath`. A socket whose process is gone is
// removed. A process whose queue is full gets up to a second to read before the name is dropped
// for it.
void sendToAll(const std::string& name, const std::string& ownPath);

// Calls `onName` with every name waiting on `fd`, without blocking.
void receiveAll(int fd, const std::function<void(std::string)>& onName);

// The longest name a post carries.
constexpr size_t kMaxNameLength = 4096;

}  // namespace notify
