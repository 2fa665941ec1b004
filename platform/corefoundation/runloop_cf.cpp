// The CFRunLoop functions over the run loop engine.
#include <CoreFoundation/CFRunLoop.h>

#include "host/objc.h"
#include "runloop_internal.h"

#include <climits>
#include <cstring>

const CFRunLoopMode kCFRunLoopDefaultMode = CFSTR("kCFRunLoopDefaultMode");
const CFRunLoopMode kCFRunLoopCommonModes = CFSTR("kCFRunLoopCommonModes");

namespace {

// A run loop is a CoreFoundation object, so an Objective-C object of the host runtime; it lives as
// long as the process, whatever its callers retain and release.
id immortalRetain(id self, SEL) { return self; }
void immortalRelease(id, SEL) {}
unsigned long immortalRetainCount(id, SEL) { return ULONG_MAX; }

Class runLoopClass() {
  static Class cls = host::ClassBuilder("__CFRunLoop", "NSObject")
                         .ivar<runloop::Loop*>("_loop")
                         .method("retain", &immortalRetain)
                         .method("release", &immortalRelease)
                         .method("retainCount", &immortalRetainCount)
                         .registerClass();
  return cls;
}

// Sources of the main loop belong to the common modes, and the default mode is the only common one.
bool holdsSources(CFRunLoopMode mode) {
  if (mode == nullptr) return false;
  if (mode == kCFRunLoopDefaultMode) return true;
  const char* text = host::send<const char*>(reinterpret_cast<id>(const_cast<__CFString*>(mode)), "UTF8String");
  return text != nullptr && std::strcmp(text, "kCFRunLoopDefaultMode") == 0;
}

}  // namespace

namespace runloop {

CFRunLoopRef Loop::handle() {
  std::lock_guard lock(mutex_);
  if (handle_ == nullptr) {
    id object = host::send(runLoopClass(), "alloc");
    host::ivarRef<Loop*>(object, "_loop") = this;
    handle_ = reinterpret_cast<CFRunLoopRef>(object);
  }
  return handle_;
}

Loop* loopOf(CFRunLoopRef handle) {
  if (handle == nullptr) return nullptr;
  return host::ivarRef<Loop*>(reinterpret_cast<id>(handle), "_loop");
}

}  // namespace runloop

extern "C" {

CFRunLoopRef CFRunLoopGetCurrent(void) { return runloop::currentLoop().handle(); }

CFRunLoopRef CFRunLoopGetMain(void) { return runloop::mainLoop().handle(); }

void CFRunLoopRun(void) {
  CFRunLoopRunResult result;
  do {
    result = runloop::currentLoop().run(1.0e10, false);
  } while (result != kCFRunLoopRunStopped && result != kCFRunLoopRunFinished);
}

CFRunLoopRunResult CFRunLoopRunInMode(CFRunLoopMode mode, CFTimeInterval seconds, Boolean returnAfterSourceHandled) {
  if (!holdsSources(mode)) return kCFRunLoopRunFinished;
  return runloop::currentLoop().run(seconds, returnAfterSourceHandled != 0);
}

void CFRunLoopStop(CFRunLoopRef rl) {
  if (runloop::Loop* loop = runloop::loopOf(rl)) loop->stop();
}

void CFRunLoopWakeUp(CFRunLoopRef rl) {
  if (runloop::Loop* loop = runloop::loopOf(rl)) loop->wakeUp();
}

}  // extern "C"
