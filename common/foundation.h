// The Foundation C functions the system code calls, declared here as Foundation exports them.
//
// Foundation's own headers are Objective-C (they declare `@class NSString` at file scope) and do not
// compile as C++, so no system source includes them. Each declaration below names Apple's exported
// symbol with its calling convention; an `id` stands where Apple's takes an `NSString *`, which is
// the same pointer in the ABI.
#pragma once

#include <objc/runtime.h>

extern "C" {

// The class registered under the name `aClassName` (an NSString) holds, or Nil when there is none
// (also for a nil name).
Class NSClassFromString(id aClassName);

}
