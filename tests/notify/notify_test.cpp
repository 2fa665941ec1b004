// Darwin notifications between the processes of the simulated device.
#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>

#include "host/device.h"
#include "host/notify.h"
#include "host/runloop.h"
#include "process_helpers.h"

namespace {

using namespace notify_test;

const CFStringRef kPing = CFSTR("com.tamsel.test.ping");
const CFStringRef kOther = CFSTR("com.tamsel.test.other");
const CFStringRef kSentinel = CFSTR("com.tamsel.test.sentinel");

CFNotificationCenterRef darwin() { return CFNotificationCenterGetDarwinNotifyCenter(); }

void observe(const void* observer, CFStringRef name, CFNotificationCallback callback = &record) {
  CFNotificationCenterAddObserver(darwin(), observer, callback, name, nullptr,
                                  CFNotificationSuspensionBehaviorDeliverImmediately);
}

void post(CFStringRef name) { CFNotificationCenterPostNotification(darwin(), name, nullptr, nullptr, true); }

void postFromAnotherProcess(CFStringRef name, int times = 1) {
  inOtherProcess([&] {
    for (int i = 0; i < times; ++i) post(name);
  });
}

int observerA, observerB;

TEST(DarwinNotifications, APostFromAnotherProcessRunsTheCallbackOnTheMainRunLoop) {
  onFreshDevice([] {
    observe(&observerA, kPing);
    postFromAnotherProcess(kPing);
    ASSERT_TRUE(runUntilDelivered(1));
    ASSERT_EQ(deliveries().size(), 1u);
    const Delivery& d = deliveries()[0];
    EXPECT_EQ(d.observer, &observerA);
    EXPECT_EQ(d.name, "com.tamsel.test.ping");
    EXPECT_TRUE(d.onMainThread);
    EXPECT_TRUE(d.darwinCenter);
    EXPECT_TRUE(d.noObjectOrUserInfo);
    EXPECT_EQ(traceLines(), std::vector<std::string>{"notify deliver com.tamsel.test.ping"});
  });
}

TEST(DarwinNotifications, AnObserverMayBeNull) {
  onFreshDevice([] {
    observe(nullptr, kPing);
    postFromAnotherProcess(kPing);
    ASSERT_TRUE(runUntilDelivered(1));
    EXPECT_EQ(deliveries()[0].observer, nullptr);
  });
}

TEST(DarwinNotifications, NothingIsDeliveredOutsideTheRunLoop) {
  onFreshDevice([] {
    observe(&observerA, kPing);
    postFromAnotherProcess(kPing, 3);  // the posts are in this process's queue once the poster has ended
    EXPECT_EQ(host::notify::pendingDeliveries(), 3u);
    EXPECT_TRUE(deliveries().empty());
    EXPECT_EQ(host::runloop::runUntilIdle(), 3u);  // one post per handled source
    EXPECT_EQ(deliveriesOf("com.tamsel.test.ping"), 3u);
    EXPECT_EQ(host::notify::pendingDeliveries(), 0u);
  });
}

TEST(DarwinNotifications, EveryPostOfABurstIsDelivered) {
  onFreshDevice([] {
    observe(&observerA, kPing);
    constexpr size_t kBurst = 60;  // far more than the kernel queues for one socket
    pid_t poster = startProcess([] {
      for (size_t i = 0; i < kBurst; ++i) post(kPing);
    });
    EXPECT_TRUE(runUntilDelivered(kBurst));
    finish(poster);
    host::runloop::runUntilIdle();
    EXPECT_EQ(deliveriesOf("com.tamsel.test.ping"), kBurst);
  });
}

TEST(DarwinNotifications, APostReachesTheProcessThatMadeIt) {
  onFreshDevice([] {
    observe(&observerA, kPing);
    post(kPing);
    EXPECT_TRUE(deliveries().empty()) << "delivered during the post";
    EXPECT_EQ(host::runloop::runUntilIdle(), 1u);
    EXPECT_EQ(deliveriesOf("com.tamsel.test.ping"), 1u);
    EXPECT_EQ(traceLines(),
              (std::vector<std::string>{"notify post com.tamsel.test.ping", "notify deliver com.tamsel.test.ping"}));
  });
}

TEST(DarwinNotifications, EveryObservingProcessReceivesAPost) {
  onFreshDevice([] {
    observe(&observerA, kPing);
    int ready[2];
    ASSERT_EQ(pipe(ready), 0);
    pid_t other = startProcess([&] {
      observe(&observerB, kPing);
      char byte = 1;
      ASSERT_EQ(write(ready[1], &byte, 1), 1);
      EXPECT_TRUE(runUntilDelivered(1));
      EXPECT_EQ(deliveriesOf("com.tamsel.test.ping"), 1u);
    });
    char byte;
    ASSERT_EQ(read(ready[0], &byte, 1), 1);
    postFromAnotherProcess(kPing);
    EXPECT_TRUE(runUntilDelivered(1));
    finish(other);
  });
}

TEST(DarwinNotifications, TwoObserversOfOneNameInOneProcessBothRun) {
  onFreshDevice([] {
    observe(&observerA, kPing);
    observe(&observerB, kPing);
    postFromAnotherProcess(kPing);
    ASSERT_TRUE(runUntilDelivered(2));
    host::runloop::runUntilIdle();
    ASSERT_EQ(deliveries().size(), 2u);
    EXPECT_EQ(deliveries()[0].observer, &observerA);
    EXPECT_EQ(deliveries()[1].observer, &observerB);
  });
}

void otherCallback(CFNotificationCenterRef center, void*, CFNotificationName name, const void* object,
                   CFDictionaryRef userInfo) {
  record(center, reinterpret_cast<void*>(&otherCallback), name, object, userInfo);
}

TEST(DarwinNotifications, NullObserversWithDifferentCallbacksBothRun) {
  onFreshDevice([] {
    observe(nullptr, kPing);
    observe(nullptr, kPing, &otherCallback);
    post(kPing);
    host::runloop::runUntilIdle();
    EXPECT_EQ(deliveriesOf("com.tamsel.test.ping"), 2u);
  });
}

TEST(DarwinNotifications, RegisteringTheSameObserverTwiceDeliversOnce) {
  onFreshDevice([] {
    observe(&observerA, kPing);
    observe(&observerA, kPing);
    post(kPing);
    host::runloop::runUntilIdle();
    EXPECT_EQ(deliveriesOf("com.tamsel.test.ping"), 1u);
  });
}

TEST(DarwinNotifications, OtherNamesAreNotDelivered) {
  onFreshDevice([] {
    observe(&observerA, kPing);
    postFromAnotherProcess(kOther);
    EXPECT_EQ(host::notify::pendingDeliveries(), 0u);
    postFromAnotherProcess(kPing);
    ASSERT_TRUE(runUntilDelivered(1));
    host::runloop::runUntilIdle();
    ASSERT_EQ(deliveries().size(), 1u);
    EXPECT_EQ(deliveries()[0].name, "com.tamsel.test.ping");
  });
}

TEST(DarwinNotifications, RemovingAnObserverStopsDelivery) {
  onFreshDevice([] {
    observe(&observerA, kPing);
    observe(&observerB, kSentinel);
    CFNotificationCenterRemoveObserver(darwin(), &observerA, kPing, nullptr);
    postFromAnotherProcess(kPing);
    postFromAnotherProcess(kSentinel);  // arrives after the first post, on the same socket
    ASSERT_TRUE(runUntilDelivered(1));
    EXPECT_EQ(deliveriesOf("com.tamsel.test.sentinel"), 1u);
    EXPECT_EQ(deliveriesOf("com.tamsel.test.ping"), 0u);
  });
}

TEST(DarwinNotifications, RemovingAnObserverDropsPostsThatArrivedForIt) {
  onFreshDevice([] {
    observe(&observerA, kPing);
    observe(&observerB, kPing);
    postFromAnotherProcess(kPing);
    ASSERT_EQ(host::notify::pendingDeliveries(), 1u);
    CFNotificationCenterRemoveEveryObserver(darwin(), &observerA);
    host::runloop::runUntilIdle();
    ASSERT_EQ(deliveries().size(), 1u);
    EXPECT_EQ(deliveries()[0].observer, &observerB);
    CFNotificationCenterRemoveObserver(darwin(), &observerB, nullptr, nullptr);
    post(kPing);
    EXPECT_EQ(host::notify::pendingDeliveries(), 0u);
  });
}

TEST(DarwinNotifications, AProcessObservingNothingHasNoSocket) {
  onFreshDevice([] {
    EXPECT_EQ(host::notify::ownSocketPath(), "");
    observe(&observerA, kPing);
    std::string own = host::notify::ownSocketPath();
    EXPECT_EQ(own, host::notify::socketFolder() + "/" + std::to_string(getpid()) + ".sock");
    EXPECT_TRUE(std::filesystem::is_socket(own));
    CFNotificationCenterRemoveEveryObserver(darwin(), &observerA);
    EXPECT_EQ(host::notify::ownSocketPath(), "");
    EXPECT_FALSE(std::filesystem::exists(own));
  });
}

TEST(DarwinNotifications, ADeadObserversSocketIsRemovedOnTheNextPost) {
  onFreshDevice([] {
    std::string socket;
    int path[2];
    ASSERT_EQ(pipe(path), 0);
    inOtherProcess([&] {
      observe(&observerA, kPing);
      std::string own = host::notify::ownSocketPath();
      ASSERT_EQ(write(path[1], own.c_str(), own.size()), static_cast<ssize_t>(own.size()));
    });  // ends without removing its observer
    close(path[1]);
    char buffer[512];
    ssize_t length = read(path[0], buffer, sizeof buffer);
    ASSERT_GT(length, 0);
    socket.assign(buffer, static_cast<size_t>(length));
    ASSERT_TRUE(std::filesystem::is_socket(socket));
    post(kPing);
    EXPECT_FALSE(std::filesystem::exists(socket));
  });
}

TEST(DarwinNotifications, AForkedChildDoesNotTakeItsParentsNotifications) {
  onFreshDevice([] {
    observe(&observerA, kPing);
    postFromAnotherProcess(kPing);
    inOtherProcess([] {
      EXPECT_EQ(host::notify::pendingDeliveries(), 0u);
      EXPECT_EQ(host::runloop::runUntilIdle(), 0u);
      EXPECT_TRUE(deliveries().empty());
    });
    EXPECT_EQ(host::runloop::runUntilIdle(), 1u);
    EXPECT_EQ(deliveriesOf("com.tamsel.test.ping"), 1u);
  });
}

TEST(DarwinNotifications, ADeviceRootTooLongForASocketAddressStillDelivers) {
  onFreshDevice([] {
    // Socket addresses hold about a hundred bytes; this folder's sockets need more.
    std::string deep = host::device::root() + "/" + std::string(120, 'd');
    std::filesystem::create_directories(deep);
    host::device::setRoot(deep);
    observe(&observerA, kPing);
    ASSERT_TRUE(std::filesystem::is_socket(host::notify::ownSocketPath()));
    postFromAnotherProcess(kPing);
    EXPECT_TRUE(runUntilDelivered(1));
  });
}

void postAgainOnce(CFNotificationCenterRef center, void* observer, CFNotificationName name, const void* object,
                   CFDictionaryRef userInfo) {
  record(center, observer, name, object, userInfo);
  if (deliveries().size() == 1) post(name);
}

TEST(DarwinNotifications, APostFromACallbackIsDeliveredOnALaterTurn) {
  onFreshDevice([] {
    observe(&observerA, kPing, &postAgainOnce);
    post(kPing);
    EXPECT_EQ(CFRunLoopRunInMode(kCFRunLoopDefaultMode, 0, true), kCFRunLoopRunHandledSource);
    EXPECT_EQ(deliveries().size(), 1u);
    EXPECT_EQ(host::runloop::runUntilIdle(), 1u);
    EXPECT_EQ(deliveries().size(), 2u);
  });
}

TEST(DarwinNotifications, NullArgumentsRegisterAndPostNothing) {
  onFreshDevice([] {
    CFNotificationCenterAddObserver(darwin(), &observerA, &record, nullptr, nullptr,
                                    CFNotificationSuspensionBehaviorDrop);
    CFNotificationCenterAddObserver(darwin(), &observerA, nullptr, kPing, nullptr,
                                    CFNotificationSuspensionBehaviorDrop);
    CFNotificationCenterAddObserver(nullptr, &observerA, &record, kPing, nullptr, CFNotificationSuspensionBehaviorDrop);
    EXPECT_EQ(host::notify::ownSocketPath(), "");
    CFNotificationCenterPostNotification(darwin(), nullptr, nullptr, nullptr, true);
    CFNotificationCenterPostNotification(nullptr, kPing, nullptr, nullptr, true);
    EXPECT_TRUE(traceLines().empty());
  });
}

}  // namespace
