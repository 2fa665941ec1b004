// CFNotificationCenter: the Darwin notification centre, which tells every process of the device
// that observes a name when any process posts that name.
//
// A Darwin notification carries only its name: the object and userInfo given to a post are not
// delivered, and callbacks receive NULL for both. Callbacks run on the observing process's main run
// loop (CFRunLoopRun, CFRunLoopRunInMode on the main thread), never during the post.
#pragma once

#include <CoreFoundation/CFBase.h>
#include <CoreFoundation/CFDictionary.h>
#include <CoreFoundation/CFString.h>

CF_EXTERN_C_BEGIN

typedef CFStringRef CFNotificationName;
typedef struct __CFNotificationCenter* CFNotificationCenterRef;

typedef void (*CFNotificationCallback)(CFNotificationCenterRef center, void* observer, CFNotificationName name,
                                       const void* object, CFDictionaryRef userInfo);

// What happens to notifications for a suspended process. Processes of the simulated device are never
// suspended, so every behaviour delivers as DeliverImmediately does.
typedef CFIndex CFNotificationSuspensionBehavior;
enum {
  CFNotificationSuspensionBehaviorDrop = 1,
  CFNotificationSuspensionBehaviorCoalesce = 2,
  CFNotificationSuspensionBehaviorHold = 3,
  CFNotificationSuspensionBehaviorDeliverImmediately = 4,
};

// The process's Darwin notification centre (one object for the process's lifetime).
CF_EXPORT CFNotificationCenterRef CFNotificationCenterGetDarwinNotifyCenter(void);

// Calls `callBack` with `observer` on the main run loop each time any process posts `name`, this one
// included. `observer` may be NULL; `object` is ignored. Registering the same observer, callback and
// name again changes nothing. A NULL centre, callback or name registers nothing.
CF_EXPORT void CFNotificationCenterAddObserver(CFNotificationCenterRef center, const void* observer,
                                               CFNotificationCallback callBack, CFStringRef name, const void* object,
                                               CFNotificationSuspensionBehavior suspensionBehavior);

// Stops delivering `name` (every name when NULL) to `observer`, including posts that arrived but were
// not yet delivered. `object` is ignored.
CF_EXPORT void CFNotificationCenterRemoveObserver(CFNotificationCenterRef center, const void* observer,
                                                  CFNotificationName name, const void* object);

// Stops delivering every name to `observer`.
CF_EXPORT void CFNotificationCenterRemoveEveryObserver(CFNotificationCenterRef center, const void* observer);

// Posts `name` to every process that observes it. `object`, `userInfo` and `deliverImmediately` are
// ignored. Returns without waiting for any callback to run.
CF_EXPORT void CFNotificationCenterPostNotification(CFNotificationCenterRef center, CFNotificationName name,
                                                    const void* object, CFDictionaryRef userInfo,
                                                    Boolean deliverImmediately);

CF_EXTERN_C_END
