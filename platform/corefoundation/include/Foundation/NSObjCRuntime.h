// Host Foundation: looking classes up by name. NSString arguments and results are CFStringRef-compatible
// objects (toll-free bridged); `id` is used here so C++ callers need no Objective-C.
#ifndef RAVELO_NS_OBJC_RUNTIME_H
#define RAVELO_NS_OBJC_RUNTIME_H

#include <objc/runtime.h>

#ifdef __cplusplus
extern "C" {
#endif

// The class registered under the name held by aClassName (an NSString), or Nil (also for nil).
__attribute__((visibility("default"))) Class NSClassFromString(id aClassName);
// The class's name as an autoreleased NSString, or nil for Nil.
__attribute__((visibility("default"))) id NSStringFromClass(Class aClass);

#ifdef __cplusplus
}
#endif

#endif
