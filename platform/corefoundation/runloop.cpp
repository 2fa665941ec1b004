// The run loop engine: sources, waiting for them, and one run of the loop.
#include "runloop_internal.h"

#include "host/objc.h"

#include <poll.h>
#include <pthread.h>
#include <sys/eventfd.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>

namespace runloop {
namespace {

using Clock = std::chrono::steady_clock;

int makeWakeFd() {
  int fd = eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC);
  if (fd < 0) {
    std::perror("host run loop: eventfd");
    std::abort();
  }
  return fd;
}

// Milliseconds to wait for `deadline`, rounded up so that a wait never ends before it.
int millisecondsUntil(Clock::time_point deadline) {
  auto left = std::chrono::ceil<std::chrono::milliseconds>(deadline - Clock::now()).count();
  return static_cast<int>(std::clamp<decltype(left)>(left, 0, 3600 * 1000));
}

Clock::time_point deadlineAfter(double seconds) {
  Clock::time_point now = Clock::now();
  if (!(seconds > 0)) return now;  // also NaN
  // CFRunLoopRun asks for 1e10 seconds; a century is forever enough and fits the clock.
  double capped = std::min(seconds, 100.0 * 365 * 24 * 3600);
  return now + std::chrono::duration_cast<Clock::duration>(std::chrono::duration<double>(capped));
}

}  // namespace

// Only the main loop can have sources, so only it ever waits and needs waking.
Loop::Loop(bool isMain) : isMain_(isMain), wakeFd_(isMain ? makeWakeFd() : -1) {}

std::uint64_t Loop::addSource(int fd, std::function<bool()> hasPending, std::function<bool()> perform) {
  auto source = std::make_shared<Source>();
  source->fd = fd;
  source->hasPending = std::move(hasPending);
  source->perform = std::move(perform);
  {
    std::lock_guard lock(mutex_);
    source->id = nextId_++;
    sources_.push_back(source);
  }
  wakeUp();  // a loop waiting on the old set of descriptors must look at the new one
  return source->id;
}

void Loop::removeSource(std::uint64_t id) {
  std::lock_guard lock(mutex_);
  auto it = std::find_if(sources_.begin(), sources_.end(), [&](auto& s) { return s->id == id; });
  if (it == sources_.end()) return;
  (*it)->removed = true;
  sources_.erase(it);
}

std::uint64_t Loop::sourceForFd(int fd) {
  std::lock_guard lock(mutex_);
  for (auto& s : sources_)
    if (s->fd == fd) return s->id;
  return 0;
}

void Loop::removeSourceForFd(int fd) {
  if (std::uint64_t id = sourceForFd(fd)) removeSource(id);
}

std::vector<std::shared_ptr<Loop::Source>> Loop::snapshot() {
  std::lock_guard lock(mutex_);
  return sources_;
}

void Loop::stop() {
  stopped_ = true;
  wakeUp();
}

void Loop::wakeUp() {
  if (wakeFd_ < 0) return;
  uint64_t one = 1;
  ssize_t ignored = write(wakeFd_, &one, sizeof one);  // fails only when the counter is already huge
  (void)ignored;
}

void Loop::drainWake() {
  if (wakeFd_ < 0) return;
  uint64_t count;
  while (read(wakeFd_, &count, sizeof count) > 0) {
  }
}

// One run, in the order the device's loop checks things: a handled source (when asked to return
// then), the time limit, a stop request, and finally an empty mode.
CFRunLoopRunResult Loop::run(double seconds, bool returnAfterSourceHandled) {
  if (snapshot().empty()) return kCFRunLoopRunFinished;
  if (stopped_.exchange(false)) return kCFRunLoopRunStopped;
  const Clock::time_point deadline = deadlineAfter(seconds);
  for (;;) {
    std::vector<std::shared_ptr<Source>> sources = snapshot();
    if (sources.empty()) return kCFRunLoopRunFinished;

    std::vector<pollfd> fds(sources.size() + 1);
    fds[0] = pollfd{wakeFd_, POLLIN, 0};
    bool somethingPending = false;
    for (size_t i = 0; i < sources.size(); ++i) {
      fds[i + 1] = pollfd{sources[i]->fd, POLLIN, 0};  // poll skips negative descriptors
      if (sources[i]->hasPending && sources[i]->hasPending()) somethingPending = true;
    }
    int timeout = somethingPending ? 0 : millisecondsUntil(deadline);
    if (poll(fds.data(), fds.size(), timeout) < 0 && errno != EINTR) {
      std::perror("host run loop: poll");
      std::abort();
    }
    if (fds[0].revents != 0) drainWake();

    bool handled = false;
    {
      host::AutoreleasePool pool;  // drained after every turn, as the device's main loop does
      for (size_t i = 0; i < sources.size(); ++i) {
        Source& source = *sources[i];
        if (source.removed) continue;
        short events = fds[i + 1].revents;
        if (events & POLLNVAL) {  // closed without being removed: nothing more can arrive
          removeSource(source.id);
          continue;
        }
        bool ready = (events & (POLLIN | POLLHUP | POLLERR)) || (source.hasPending && source.hasPending());
        if (!ready) continue;
        if (source.perform()) {
          handled = true;
          if (returnAfterSourceHandled) break;
        }
      }
    }
    if (handled && returnAfterSourceHandled) return kCFRunLoopRunHandledSource;
    if (Clock::now() >= deadline) return kCFRunLoopRunTimedOut;
    if (stopped_.exchange(false)) return kCFRunLoopRunStopped;
  }
}

// ---- which loop -----------------------------------------------------------------------------------

bool onMainThread() { return gettid() == getpid(); }

void Loop::prepareFork() { mutex_.lock(); }
void Loop::parentAfterFork() { mutex_.unlock(); }
// The child must not share the parent's wake-up counter: a wake-up meant for one would be taken by
// the other.
void Loop::childAfterFork() {
  mutex_.unlock();
  close(wakeFd_);
  wakeFd_ = makeWakeFd();
  stopped_ = false;
}

Loop& mainLoop() {
  static Loop* loop = [] {
    Loop* created = new Loop(true);  // lives as long as the process
    pthread_atfork([] { mainLoop().prepareFork(); }, [] { mainLoop().parentAfterFork(); },
                   [] { mainLoop().childAfterFork(); });
    return created;
  }();
  return *loop;
}

Loop& currentLoop() {
  if (onMainThread()) return mainLoop();
  thread_local Loop* loop = new Loop(false);  // kept: a thread's loop may be referenced after it ends
  return *loop;
}

}  // namespace runloop
