// The main run loop: watched descriptors, runs, stops, modes and autorelease pools.
#include <gtest/gtest.h>
#include <unistd.h>

#include <thread>

#include "host/objc.h"
#include "host/runloop.h"
#include "process_helpers.h"

namespace {

using notify_test::onFreshDevice;

// A pipe whose read end the main loop watches, counting the bytes its callback reads.
struct WatchedPipe {
  int fds[2];
  int reads = 0;
  WatchedPipe() {
    EXPECT_EQ(pipe(fds), 0);
    host::runloop::addFileDescriptor(fds[0], [this] {
      char byte;
      if (read(fds[0], &byte, 1) == 1) ++reads;
    });
  }
  ~WatchedPipe() {
    host::runloop::removeFileDescriptor(fds[0]);
    close(fds[0]);
    close(fds[1]);
  }
  void poke() { EXPECT_EQ(write(fds[1], "x", 1), 1); }
};

TEST(RunLoop, ALoopWithNothingToWaitForFinishesAtOnce) {
  onFreshDevice([] {
    EXPECT_EQ(CFRunLoopRunInMode(kCFRunLoopDefaultMode, 3600, false), kCFRunLoopRunFinished);
    CFRunLoopRun();  // returns, rather than waiting forever
  });
}

TEST(RunLoop, AWatchedDescriptorIsHandledOnlyWhileTheLoopRuns) {
  onFreshDevice([] {
    WatchedPipe watched;
    watched.poke();
    EXPECT_EQ(watched.reads, 0);
    EXPECT_EQ(CFRunLoopRunInMode(kCFRunLoopDefaultMode, 3600, true), kCFRunLoopRunHandledSource);
    EXPECT_EQ(watched.reads, 1);
    EXPECT_EQ(CFRunLoopRunInMode(kCFRunLoopDefaultMode, 0, true), kCFRunLoopRunTimedOut);
  });
}

TEST(RunLoop, RunUntilIdleHandlesEverythingReady) {
  onFreshDevice([] {
    WatchedPipe first, second;
    first.poke();
    first.poke();
    second.poke();
    EXPECT_EQ(host::runloop::runUntilIdle(), 3u);
    EXPECT_EQ(first.reads, 2);
    EXPECT_EQ(second.reads, 1);
  });
}

TEST(RunLoop, StoppingFromACallbackEndsCFRunLoopRun) {
  onFreshDevice([] {
    WatchedPipe watched;
    host::runloop::addFileDescriptor(watched.fds[0], [&] {
      char byte;
      EXPECT_EQ(read(watched.fds[0], &byte, 1), 1);
      CFRunLoopStop(CFRunLoopGetCurrent());
    });
    watched.poke();
    CFRunLoopRun();
  });
}

TEST(RunLoop, StoppingFromAnotherThreadWakesTheWaitingLoop) {
  onFreshDevice([] {
    WatchedPipe neverReady;
    std::thread stopper([] { CFRunLoopStop(CFRunLoopGetMain()); });
    EXPECT_EQ(CFRunLoopRunInMode(kCFRunLoopDefaultMode, 3600, false), kCFRunLoopRunStopped);
    stopper.join();
  });
}

TEST(RunLoop, AStopBeforeRunningEndsTheNextRunOnly) {
  onFreshDevice([] {
    WatchedPipe watched;
    CFRunLoopStop(CFRunLoopGetMain());
    EXPECT_EQ(CFRunLoopRunInMode(kCFRunLoopDefaultMode, 3600, false), kCFRunLoopRunStopped);
    EXPECT_EQ(CFRunLoopRunInMode(kCFRunLoopDefaultMode, 0, false), kCFRunLoopRunTimedOut);
  });
}

TEST(RunLoop, OtherModesHoldNoSources) {
  onFreshDevice([] {
    WatchedPipe watched;
    watched.poke();
    EXPECT_EQ(CFRunLoopRunInMode(CFSTR("com.tamsel.test.mode"), 3600, false), kCFRunLoopRunFinished);
    EXPECT_EQ(CFRunLoopRunInMode(kCFRunLoopCommonModes, 3600, false), kCFRunLoopRunFinished);
    EXPECT_EQ(watched.reads, 0);
  });
}

TEST(RunLoop, EachTurnDrainsAnAutoreleasePool) {
  onFreshDevice([] {
    WatchedPipe watched;
    long before = 0;
    host::runloop::addFileDescriptor(watched.fds[0], [&] {
      char byte;
      EXPECT_EQ(read(watched.fds[0], &byte, 1), 1);
      host::autorelease(host::send(host::requireClass("NSObject"), "new"));
      EXPECT_EQ(host::liveObjectCount(), before + 1);
    });
    watched.poke();
    before = host::liveObjectCount();
    EXPECT_EQ(host::runloop::runUntilIdle(), 1u);
    EXPECT_EQ(host::liveObjectCount(), before);
  });
}

TEST(RunLoop, ARemovedDescriptorIsNotCalledLaterInTheSameTurn) {
  onFreshDevice([] {
    int first[2];
    ASSERT_EQ(pipe(first), 0);
    WatchedPipe* second = nullptr;
    host::runloop::addFileDescriptor(first[0], [&] {
      char byte;
      EXPECT_EQ(read(first[0], &byte, 1), 1);
      host::runloop::removeFileDescriptor(second->fds[0]);
    });
    second = new WatchedPipe;  // watched after the first, so later in each turn
    ASSERT_EQ(write(first[1], "x", 1), 1);
    second->poke();
    EXPECT_EQ(CFRunLoopRunInMode(kCFRunLoopDefaultMode, 0, false), kCFRunLoopRunTimedOut);  // one turn
    EXPECT_EQ(second->reads, 0);
    delete second;
  });
}

TEST(RunLoop, ADescriptorClosedWhileWatchedIsDropped) {
  onFreshDevice([] {
    int fds[2];
    ASSERT_EQ(pipe(fds), 0);
    int calls = 0;
    host::runloop::addFileDescriptor(fds[0], [&] { ++calls; });
    close(fds[0]);
    EXPECT_EQ(host::runloop::runUntilIdle(), 0u);
    EXPECT_EQ(calls, 0);
    EXPECT_EQ(CFRunLoopRunInMode(kCFRunLoopDefaultMode, 3600, false), kCFRunLoopRunFinished);
    close(fds[1]);
  });
}

TEST(RunLoop, RunUntilGivesUpAfterItsTimeout) {
  onFreshDevice([] {
    WatchedPipe neverReady;
    EXPECT_FALSE(host::runloop::runUntil([] { return false; }, 20));
    EXPECT_TRUE(host::runloop::runUntil([] { return true; }, 0));
  });
}

TEST(RunLoop, EveryThreadHasItsOwnLoopAndSharesTheMainOne) {
  onFreshDevice([] {
    WatchedPipe watched;
    watched.poke();
    CFRunLoopRef main = CFRunLoopGetMain();
    EXPECT_EQ(CFRunLoopGetCurrent(), main);
    std::thread other([&] {
      EXPECT_EQ(CFRunLoopGetMain(), main);
      EXPECT_NE(CFRunLoopGetCurrent(), main);
      EXPECT_EQ(CFRunLoopGetCurrent(), CFRunLoopGetCurrent());
      EXPECT_EQ(CFRunLoopRunInMode(kCFRunLoopDefaultMode, 3600, false), kCFRunLoopRunFinished);
    });
    other.join();
    EXPECT_EQ(watched.reads, 0);  // the main loop's sources are the main thread's to handle
  });
}

}  // namespace
