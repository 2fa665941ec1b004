// Host stand-in for the method-hooking library's Objective-C entry point.
#pragma once

#include <objc/runtime.h>

#ifdef __cplusplus
extern "C" {
#endif

// Makes `replacement` the implementation of `selector` for `cls` and its instances (pass a metaclass to
// hook a class method), and stores the implementation that ran before in *previous (when not null).
// A method the class only inherits is added to the class itself, so the superclass keeps its own; a
// method the class owns is replaced in place and subclasses already in use see the change. A nil class
// or a selector the class does not respond to aborts the process with a message naming them: ElleKit
// takes the class as non-null (nil is undefined behaviour there) and Substitute aborts for both, so a
// caller must check first.
void MSHookMessageEx(Class cls, SEL selector, IMP replacement, IMP* previous);

#ifdef __cplusplus
}
#endif
