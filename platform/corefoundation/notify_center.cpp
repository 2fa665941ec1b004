// The Darwin notification centre: observers of this process, and delivery on its main run loop.
//
// Names arrive on this process's socket (or straight from a post made here) and wait in `pending`
// until the main run loop delivers them, one post per turn, to the observers registered at that
// moment.
#include <CoreFoundation/CFNotificationCenter.h>
#include <CoreFoundation/CFRunLoop.h>

#include "host/notify.h"
#include "host/objc.h"
#include "host/runloop.h"
#include "host/trace.h"
#include "notify_sockets.h"
#include "preferences_store.h"

#include <pthread.h>
#include <unistd.h>

#include <algorithm>
#include <climits>
#include <cstdint>
#include <cstdio>
#include <deque>
#include <mutex>
#include <string>
#include <vector>

namespace {

struct Registration {
  std::uint64_t serial;  // tells a registration from a later one with the same fields
  const void* observer;
  CFNotificationCallback callback;
  std::string name;
  id nameObject;  // retained; what callbacks receive as the name
};

struct Center {
  std::mutex mutex;
  std::vector<Registration> registrations;
  std::uint64_t nextId = 1;
  notify::Listener listener;
  host::runloop::SourceId source = 0;
  std::deque<std::string> pending;
};

std::string textOf(CFStringRef string) {
  const char* text = host::send<const char*>(reinterpret_cast<id>(const_cast<__CFString*>(string)), "UTF8String");
  return text != nullptr ? text : "";
}

// The centre is a CoreFoundation object like any other, and lives as long as the process.
id immortalRetain(id self, SEL) { return self; }
void immortalRelease(id, SEL) {}
unsigned long immortalRetainCount(id, SEL) { return ULONG_MAX; }

CFNotificationCenterRef darwinCenterObject() {
  static CFNotificationCenterRef object = [] {
    Class cls = host::ClassBuilder("__CFNotificationCenter", "NSObject")
                    .method("retain", &immortalRetain)
                    .method("release", &immortalRelease)
                    .method("retainCount", &immortalRetainCount)
                    .registerClass();
    return reinterpret_cast<CFNotificationCenterRef>(host::send(cls, "alloc"));
  }();
  return object;
}

Center& center();

bool observedLocked(Center& c, const std::string& name) {
  return std::any_of(c.registrations.begin(), c.registrations.end(),
                     [&](const Registration& r) { return r.name == name; });
}

// Moves what arrived on the socket into `pending`, keeping the names someone here observes.
void receiveLocked(Center& c) {
  if (c.listener.fd < 0) return;
  notify::receiveAll(c.listener.fd, [&](std::string name) {
    if (observedLocked(c, name)) c.pending.push_back(std::move(name));
  });
}

bool hasPending() {
  Center& c = center();
  std::lock_guard lock(c.mutex);
  return !c.pending.empty();
}

// Delivers the oldest post still observed to each of its observers. Answers whether there was one.
bool deliverOne() {
  Center& c = center();
  std::string name;
  std::vector<Registration> observers;
  {
    std::lock_guard lock(c.mutex);
    receiveLocked(c);
    while (!c.pending.empty() && observers.empty()) {
      name = std::move(c.pending.front());
      c.pending.pop_front();
      for (const Registration& r : c.registrations)
        if (r.name == name) observers.push_back(r);
    }
    for (Registration& r : observers) host::retain(r.nameObject);  // an observer may be removed by a callback
  }
  CFNotificationCenterRef object = darwinCenterObject();
  // A notification is how other processes say a store changed: read stores afresh from here on.
  if (!observers.empty()) cf::forgetCachedStores();
  for (Registration& r : observers) {
    bool stillRegistered;
    {
      std::lock_guard lock(c.mutex);
      stillRegistered = std::any_of(c.registrations.begin(), c.registrations.end(),
                                    [&](const Registration& each) { return each.serial == r.serial; });
    }
    if (stillRegistered) {
      host::trace("notify deliver %s", name.c_str());
      r.callback(object, const_cast<void*>(r.observer), reinterpret_cast<CFNotificationName>(r.nameObject), nullptr,
                 nullptr);
    }
    host::release(r.nameObject);
  }
  return !observers.empty();
}

void startListeningLocked(Center& c) {
  if (c.source != 0) return;
  c.listener = notify::listen();  // on failure, posts made here still reach this process
  c.source = host::runloop::addSource(c.listener.fd, &hasPending, &deliverOne);
}

void stopListeningLocked(Center& c) {
  if (c.source == 0) return;
  host::runloop::removeSource(c.source);
  c.source = 0;
  notify::stopListening(c.listener);
  c.pending.clear();
}

// Removes the registrations `matches` selects; stops listening when none are left.
template <typename Predicate>
void removeWhere(Predicate matches) {
  Center& c = center();
  std::vector<id> names;
  {
    std::lock_guard lock(c.mutex);
    auto end = std::stable_partition(c.registrations.begin(), c.registrations.end(),
                                     [&](const Registration& r) { return !matches(r); });
    for (auto it = end; it != c.registrations.end(); ++it) names.push_back(it->nameObject);
    c.registrations.erase(end, c.registrations.end());
    std::erase_if(c.pending, [&](const std::string& name) { return !observedLocked(c, name); });
    if (c.registrations.empty()) stopListeningLocked(c);
  }
  for (id name : names) host::release(name);
}

// A forked child is a new process: it observes nothing, and must not read the parent's socket.
Center& center() {
  static Center* instance = [] {
    Center* created = new Center;  // lives as long as the process
    // The main loop's fork handlers must come first: the centre's mutex is taken before the loop's.
    CFRunLoopGetMain();
    pthread_atfork([] { center().mutex.lock(); }, [] { center().mutex.unlock(); },
                   [] {
                     Center& c = center();
                     c.mutex.unlock();
                     if (c.listener.fd >= 0) close(c.listener.fd);
                     c.listener = notify::Listener{};
                     if (c.source != 0) host::runloop::removeSource(c.source);
                     c.source = 0;
                     c.registrations.clear();  // the parent's retains on the names stay the parent's
                     c.pending.clear();
                   });
    return created;
  }();
  return *instance;
}

bool isDarwinCenter(CFNotificationCenterRef c) { return c != nullptr && c == darwinCenterObject(); }

}  // namespace

extern "C" {

CFNotificationCenterRef CFNotificationCenterGetDarwinNotifyCenter(void) { return darwinCenterObject(); }

void CFNotificationCenterAddObserver(CFNotificationCenterRef centerRef, const void* observer,
                                     CFNotificationCallback callBack, CFStringRef name, const void*,
                                     CFNotificationSuspensionBehavior) {
  if (!isDarwinCenter(centerRef) || callBack == nullptr || name == nullptr) return;
  std::string text = textOf(name);
  Center& c = center();
  std::lock_guard lock(c.mutex);
  for (const Registration& r : c.registrations)
    if (r.observer == observer && r.callback == callBack && r.name == text) return;
  c.registrations.push_back(
      Registration{c.nextId++, observer, callBack, std::move(text), host::retain(reinterpret_cast<id>(const_cast<__CFString*>(name)))});
  startListeningLocked(c);
}

void CFNotificationCenterRemoveObserver(CFNotificationCenterRef centerRef, const void* observer, CFNotificationName name,
                                        const void*) {
  if (!isDarwinCenter(centerRef)) return;
  if (name == nullptr) {
    removeWhere([&](const Registration& r) { return r.observer == observer; });
    return;
  }
  std::string text = textOf(name);
  removeWhere([&](const Registration& r) { return r.observer == observer && r.name == text; });
}

void CFNotificationCenterRemoveEveryObserver(CFNotificationCenterRef centerRef, const void* observer) {
  if (!isDarwinCenter(centerRef)) return;
  removeWhere([&](const Registration& r) { return r.observer == observer; });
}

void CFNotificationCenterPostNotification(CFNotificationCenterRef centerRef, CFNotificationName name, const void*,
                                          CFDictionaryRef, Boolean) {
  if (!isDarwinCenter(centerRef) || name == nullptr) return;
  std::string text = textOf(name);
  if (text.size() > notify::kMaxNameLength) {
    std::fprintf(stderr, "notify: a name of %zu bytes is too long to post\n", text.size());
    return;
  }
  host::trace("notify post %s", text.c_str());
  Center& c = center();
  std::string ownPath;
  {
    std::lock_guard lock(c.mutex);
    ownPath = c.listener.path;
  }
  notify::sendToAll(text, ownPath);
  bool toSelf;
  {
    std::lock_guard lock(c.mutex);
    toSelf = observedLocked(c, text);
    if (toSelf) c.pending.push_back(text);
  }
  if (toSelf) CFRunLoopWakeUp(CFRunLoopGetMain());
}

}  // extern "C"

namespace host::notify {

std::string socketFolder() { return ::notify::socketFolder(); }

std::string ownSocketPath() {
  Center& c = center();
  std::lock_guard lock(c.mutex);
  return c.listener.path;
}

size_t pendingDeliveries() {
  Center& c = center();
  std::lock_guard lock(c.mutex);
  receiveLocked(c);
  return c.pending.size();
}

}  // namespace host::notify
