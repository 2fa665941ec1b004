// Helpers for the Darwin notification and run loop tests: a fresh simulated device per test, other
// processes of that device, and what callbacks saw.
#pragma once

#include <CoreFoundation/CoreFoundation.h>
#include <sys/types.h>

#include <functional>
#include <string>
#include <vector>

namespace notify_test {

// Runs `body` in a fresh process whose device root is a new temporary folder, with trace lines
// collected for traceLines().
void onFreshDevice(const std::function<void()>& body);

// Starts another process of the device running `body` (its observers start empty, as a new process's
// do); finish() waits for it and expects it to succeed.
pid_t startProcess(const std::function<void()>& body);
void finish(pid_t process);
// startProcess + finish.
void inOtherProcess(const std::function<void()>& body);

std::vector<std::string> traceLines();

// One callback call.
struct Delivery {
  void* observer;
  std::string name;
  bool onMainThread;
  bool darwinCenter;
  bool noObjectOrUserInfo;
};
// Every callback call of `record` so far in this process.
std::vector<Delivery>& deliveries();
size_t deliveriesOf(const std::string& name);
void record(CFNotificationCenterRef center, void* observer, CFNotificationName name, const void* object,
            CFDictionaryRef userInfo);

std::string textOf(CFStringRef string);

// Runs the main loop until `count` callbacks have been recorded, for at most ten seconds.
bool runUntilDelivered(size_t count);

}  // namespace notify_test
