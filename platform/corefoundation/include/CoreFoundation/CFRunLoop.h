// CFRunLoop: the loop a thread runs to wait for and handle events.
//
// The main thread's loop is where a process receives Darwin notifications and, on this host, the
// commands the simulator sends it (see host/runloop.h). Its sources belong to the common modes, which
// are kCFRunLoopDefaultMode here. Other threads have loops of their own with no sources.
#pragma once

#include <CoreFoundation/CFBase.h>
#include <CoreFoundation/CFDate.h>
#include <CoreFoundation/CFString.h>

CF_EXTERN_C_BEGIN

typedef CFStringRef CFRunLoopMode;
typedef struct __CFRunLoop* CFRunLoopRef;

typedef SInt32 CFRunLoopRunResult;
enum {
  kCFRunLoopRunFinished = 1,       // the mode has no sources to wait for
  kCFRunLoopRunStopped = 2,        // CFRunLoopStop was called
  kCFRunLoopRunTimedOut = 3,       // the time given ran out
  kCFRunLoopRunHandledSource = 4,  // a source was handled and the caller asked to return then
};

CF_EXPORT const CFRunLoopMode kCFRunLoopDefaultMode;
// The set of common modes, for adding sources; running in it finds no sources.
CF_EXPORT const CFRunLoopMode kCFRunLoopCommonModes;

// The loop of the calling thread, created on first use; the same object for the thread's lifetime.
CF_EXPORT CFRunLoopRef CFRunLoopGetCurrent(void);
// The loop of the process's main thread.
CF_EXPORT CFRunLoopRef CFRunLoopGetMain(void);

// Runs the current thread's loop in the default mode until it is stopped or has no sources left.
CF_EXPORT void CFRunLoopRun(void);

// Runs the current thread's loop in `mode` for at most `seconds` (0: handle what is ready, then
// return), handling each ready source with an autorelease pool drained after every turn. With
// `returnAfterSourceHandled`, returns as soon as one source has been handled.
CF_EXPORT CFRunLoopRunResult CFRunLoopRunInMode(CFRunLoopMode mode, CFTimeInterval seconds,
                                                Boolean returnAfterSourceHandled);

// Makes the innermost running CFRunLoopRun/RunInMode of `rl` return kCFRunLoopRunStopped; when `rl`
// is not running, its next run returns at once. Safe from any thread.
CF_EXPORT void CFRunLoopStop(CFRunLoopRef rl);

// Wakes `rl` if it is waiting, so it looks at its sources again. Safe from any thread.
CF_EXPORT void CFRunLoopWakeUp(CFRunLoopRef rl);

CF_EXTERN_C_END
