// Stops a call into emulated code that has not returned within a time limit: one thread per machine,
// asleep until a deadline passes; it then asks Unicorn to stop until the call is over (a stop that
// lands while a trap runs host code is asked for again).
#pragma once

#include <chrono>
#include <condition_variable>
#include <mutex>
#include <thread>

struct uc_struct;

namespace emu {

class Watchdog {
 public:
  Watchdog(uc_struct* uc, std::chrono::steady_clock::duration limit);
  ~Watchdog();
  Watchdog(const Watchdog&) = delete;
  Watchdog& operator=(const Watchdog&) = delete;

  // A call starts: the limit runs from now.
  void arm();
  // The outermost call is over.
  void disarm();
  // Whether the limit passed while armed (the CPU was then stopped).
  bool hasExpired();

 private:
  void watch();

  uc_struct* uc_;
  std::chrono::steady_clock::duration limit_;
  std::mutex mutex_;
  std::condition_variable wake_;
  std::chrono::steady_clock::time_point deadline_;
  bool armed_ = false, expired_ = false, quit_ = false;
  std::thread thread_;
};

}  // namespace emu
