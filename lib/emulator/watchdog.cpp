#include "watchdog.h"

#include <unicorn/unicorn.h>

namespace emu {

Watchdog::Watchdog(uc_struct* uc, std::chrono::steady_clock::duration limit)
    : uc_(uc), limit_(limit), thread_([this] { watch(); }) {}

Watchdog::~Watchdog() {
  {
    std::lock_guard lock(mutex_);
    quit_ = true;
  }
  wake_.notify_all();
  thread_.join();
}

void Watchdog::arm() {
  std::lock_guard lock(mutex_);
  deadline_ = std::chrono::steady_clock::now() + limit_;
  armed_ = true;
  expired_ = false;
  wake_.notify_all();
}

void Watchdog::disarm() {
  std::lock_guard lock(mutex_);
  armed_ = false;
}

bool Watchdog::hasExpired() {
  std::lock_guard lock(mutex_);
  return expired_;
}

void Watchdog::watch() {
  std::unique_lock lock(mutex_);
  while (!quit_) {
    if (!armed_) {
      wake_.wait(lock);
    } else if (std::chrono::steady_clock::now() < deadline_) {
      wake_.wait_until(lock, deadline_);
    } else {
      expired_ = true;
      uc_emu_stop(uc_);
      wake_.wait_for(lock, std::chrono::milliseconds(10));
    }
  }
}

}  // namespace emu
