// Stub SDK: the method-hooking entry point of the jailbreak's hooking library (CydiaSubstrate, or a
// library that provides its interface).
#pragma once

#include <objc/runtime.h>

#ifdef __cplusplus
extern "C" {
#endif

// Replaces the implementation of `sel` on `cls` with `imp`; if `result` is not null, stores the
// previous implementation there (for a method the class only inherits, the superclass's). `cls` must
// not be nil and must answer `sel`: ElleKit declares the class non-null, Substitute aborts otherwise.
void MSHookMessageEx(Class cls, SEL sel, IMP imp, IMP* result);

#ifdef __cplusplus
}
#endif
