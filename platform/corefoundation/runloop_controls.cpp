// Host controls of the main run loop.
#include "host/runloop.h"

#include "runloop_internal.h"

#include <chrono>
#include <cstdio>
#include <cstdlib>

namespace host::runloop {
namespace {

::runloop::Loop& mainLoopOnMainThread(const char* caller) {
  if (!::runloop::onMainThread()) {
    std::fprintf(stderr, "host::runloop::%s: the main run loop runs only on the main thread\n", caller);
    std::abort();
  }
  return ::runloop::mainLoop();
}

}  // namespace

void addFileDescriptor(int fd, std::function<void()> onReadable) {
  ::runloop::Loop& loop = ::runloop::mainLoop();
  loop.removeSourceForFd(fd);
  loop.addSource(fd, nullptr, [callback = std::move(onReadable)] {
    callback();
    return true;
  });
}

void removeFileDescriptor(int fd) { ::runloop::mainLoop().removeSourceForFd(fd); }

SourceId addSource(int fd, std::function<bool()> hasPending, std::function<bool()> perform) {
  return ::runloop::mainLoop().addSource(fd, std::move(hasPending), std::move(perform));
}

void removeSource(SourceId source) { ::runloop::mainLoop().removeSource(source); }

size_t runUntilIdle() {
  ::runloop::Loop& loop = mainLoopOnMainThread("runUntilIdle");
  size_t handled = 0;
  while (loop.run(0, true) == kCFRunLoopRunHandledSource) ++handled;
  return handled;
}

void runFor(int milliseconds) {
  mainLoopOnMainThread("runFor").run(milliseconds / 1000.0, false);
}

bool runUntil(const std::function<bool()>& done, int timeoutMilliseconds) {
  ::runloop::Loop& loop = mainLoopOnMainThread("runUntil");
  using Clock = std::chrono::steady_clock;
  const Clock::time_point deadline = Clock::now() + std::chrono::milliseconds(timeoutMilliseconds);
  while (!done()) {
    double left = std::chrono::duration<double>(deadline - Clock::now()).count();
    if (left <= 0) return false;
    if (loop.run(left, true) == kCFRunLoopRunFinished) return done();  // nothing left that could change it
  }
  return true;
}

}  // namespace host::runloop
