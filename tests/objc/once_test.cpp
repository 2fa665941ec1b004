#include <dispatch/dispatch.h>
#include <gtest/gtest.h>

#include <atomic>
#include <thread>
#include <vector>

namespace {

std::atomic<int> runs{0};
void countRun(void* context) {
  std::this_thread::yield();
  runs.fetch_add(1);
  *static_cast<int*>(context) = 42;
}

TEST(DispatchOnce, RunsOnceAcrossThreadsAndEveryCallerSeesTheResult) {
  dispatch_once_t predicate = 0;
  int value = 0;
  std::atomic<int> ready{0};
  std::vector<std::thread> threads;
  std::atomic<int> sawResult{0};
  for (int i = 0; i < 8; ++i) {
    threads.emplace_back([&] {
      ready.fetch_add(1);
      while (ready.load() < 8) {
      }
      dispatch_once_f(&predicate, &value, countRun);
      if (value == 42) sawResult.fetch_add(1);
    });
  }
  for (auto& t : threads) t.join();
  EXPECT_EQ(runs.load(), 1);
  EXPECT_EQ(sawResult.load(), 8);
}

}  // namespace
