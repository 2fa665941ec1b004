#include "device/session.h"

#include <errno.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <deque>
#include <string>

#include "host/audio.h"
#include "host/objc.h"
#include "host/runloop.h"
#include "host/trace.h"
#include "protocol/channel.h"
#include "protocol/protocol.h"

namespace sim::device {
namespace {

Channel& channel() {
  static Channel link(protocol::kChannelFd);
  return link;
}

// A line too long for the channel is cut (and says so) rather than lost.
constexpr size_t kLongestTrace = 64 * 1024;

void sendTrace(const char* line, void*) {
  int error = 0;
  if (channel().send("trace", line, &error)) return;
  if (error == EMSGSIZE || error == ENOBUFS) {
    std::string cut(line, std::min(std::strlen(line), kLongestTrace));
    cut += "... (" + std::to_string(std::strlen(line)) + " bytes in all)";
    if (channel().send("trace", cut)) return;
  }
  _exit(0);  // the simulator is gone
}

}  // namespace

Session::Session(std::string processName) : name_(std::move(processName)) {
  channel();
  host::setTraceSink(sendTrace, nullptr);
}

void Session::settle() {
  host::AutoreleasePool pool;
  while (host::runloop::runUntilIdle() > 0) {
  }
}

void Session::ready() { channel().send("ready"); }

void Session::serve(const CommandHandler& handle, const std::function<void()>& afterCommand) {
  // Messages are read by a run-loop source and handled here, between turns, so a command never runs
  // inside another source's callback.
  std::deque<Message> inbox;
  bool closed = false;
  const int fd = channel().fd();
  host::runloop::addFileDescriptor(fd, [&] {
    bool end = false;
    while (auto message = channel().tryReceive(&end)) inbox.push_back(std::move(*message));
    if (end) {
      closed = true;
      host::runloop::removeFileDescriptor(fd);
    }
  });

  for (;;) {
    while (inbox.empty() && !closed) host::runloop::runUntil([&] { return !inbox.empty() || closed; }, 60000);
    if (inbox.empty()) _exit(0);
    Message message = std::move(inbox.front());
    inbox.pop_front();
    if (message.kind == "clock") {
      host::audio::setNow(std::strtol(message.body.c_str(), nullptr, 10));
      channel().send("ok");
    } else if (message.kind == "sync") {
      settle();
      channel().send("idle");
    } else if (message.kind == "run") {
      std::string failure;
      {
        host::AutoreleasePool pool;
        failure = handle(protocol::decodeWords(message.body));
      }
      settle();
      if (afterCommand) afterCommand();
      if (failure.empty()) channel().send("done");
      else channel().send("fail", failure);
    } else if (message.kind == "quit") {
      std::fflush(nullptr);
      _exit(0);
    } else {
      std::fprintf(stderr, "%s: unknown message '%s' from the simulator\n", name_.c_str(), message.kind.c_str());
    }
  }
}

std::string option(int argc, char** argv, const char* name, const std::string& fallback) {
  for (int i = 1; i + 1 < argc; ++i)
    if (std::strcmp(argv[i], name) == 0) return argv[i + 1];
  return fallback;
}

std::vector<std::string> repeatedOption(int argc, char** argv, const char* name) {
  std::vector<std::string> values;
  for (int i = 1; i + 1 < argc; ++i)
    if (std::strcmp(argv[i], name) == 0) values.push_back(argv[++i]);
  return values;
}

}  // namespace sim::device
