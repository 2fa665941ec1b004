#include "process_helpers.h"

#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>

#include "host/device.h"
#include "host/objc.h"
#include "host/runloop.h"
#include "host/trace.h"
#include "support/fresh_process.h"
#include "support/temp_dir.h"

namespace notify_test {
namespace {
std::vector<std::string> lines;
void collect(const char* line, void*) { lines.push_back(line); }
}  // namespace

void onFreshDevice(const std::function<void()>& body) {
  testing_support::TempDir root;
  host::device::setRoot(root.path().string());
  testing_support::inFreshProcess([&] {
    host::setTraceSink(&collect, nullptr);
    body();
  });
}

pid_t startProcess(const std::function<void()>& body) {
  std::fflush(nullptr);
  pid_t pid = fork();
  if (pid == 0) {
    body();
    std::fflush(nullptr);
    _exit(::testing::Test::HasFailure() ? 1 : 0);
  }
  EXPECT_GT(pid, 0) << "fork failed";
  return pid;
}

void finish(pid_t process) {
  int status = 0;
  ASSERT_EQ(waitpid(process, &status, 0), process);
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << "the other process failed";
}

void inOtherProcess(const std::function<void()>& body) { finish(startProcess(body)); }

std::vector<std::string> traceLines() { return lines; }

std::vector<Delivery>& deliveries() {
  static std::vector<Delivery> all;
  return all;
}

size_t deliveriesOf(const std::string& name) {
  size_t count = 0;
  for (const Delivery& d : deliveries()) count += d.name == name;
  return count;
}

void record(CFNotificationCenterRef center, void* observer, CFNotificationName name, const void* object,
            CFDictionaryRef userInfo) {
  deliveries().push_back(Delivery{observer, textOf(name), gettid() == getpid(),
                                  center == CFNotificationCenterGetDarwinNotifyCenter(),
                                  object == nullptr && userInfo == nullptr});
}

std::string textOf(CFStringRef string) {
  const char* text = host::send<const char*>(reinterpret_cast<id>(const_cast<__CFString*>(string)), "UTF8String");
  return text != nullptr ? text : "";
}

bool runUntilDelivered(size_t count) {
  return host::runloop::runUntil([&] { return deliveries().size() >= count; }, 10000);
}

}  // namespace notify_test
