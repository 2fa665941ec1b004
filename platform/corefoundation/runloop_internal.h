// The run loop engine behind the CFRunLoop functions and the host controls.
#pragma once

#include <CoreFoundation/CFRunLoop.h>

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <vector>

namespace runloop {

class Loop {
 public:
  explicit Loop(bool isMain);
  Loop(const Loop&) = delete;
  Loop& operator=(const Loop&) = delete;

  std::uint64_t addSource(int fd, std::function<bool()> hasPending, std::function<bool()> perform);
  void removeSource(std::uint64_t id);
  // Removes the source watching `fd`, if any.
  void removeSourceForFd(int fd);
  // The id of the source watching `fd`, or 0.
  std::uint64_t sourceForFd(int fd);

  // One CFRunLoopRunInMode in a mode holding this loop's sources.
  CFRunLoopRunResult run(double seconds, bool returnAfterSourceHandled);
  void stop();
  void wakeUp();

  bool isMain() const { return isMain_; }
  CFRunLoopRef handle();

 private:
  struct Source {
    std::uint64_t id;
    int fd;
    std::function<bool()> hasPending;
    std::function<bool()> perform;
    std::atomic<bool> removed{false};
  };

  std::vector<std::shared_ptr<Source>> snapshot();
  void drainWake();
  void prepareFork();
  void parentAfterFork();
  void childAfterFork();

  const bool isMain_;
  std::mutex mutex_;
  std::vector<std::shared_ptr<Source>> sources_;
  std::uint64_t nextId_ = 1;
  int wakeFd_ = -1;
  std::atomic<bool> stopped_{false};
  CFRunLoopRef handle_ = nullptr;

  friend Loop& mainLoop();
};

// True on the process's main thread (the thread whose id is the process id).
bool onMainThread();
Loop& mainLoop();
Loop& currentLoop();
// The loop behind a CFRunLoopRef.
Loop* loopOf(CFRunLoopRef handle);

}  // namespace runloop
