// Stub SDK: the run-time functions of Apple's Objective-C runtime that Ravelo calls, with the
// device's signatures.
#pragma once

#include <objc/objc.h>
#include <stddef.h>
#include <stdint.h>

typedef struct objc_method* Method;
typedef struct objc_ivar* Ivar;

#ifdef __cplusplus
extern "C" {
#endif

Class objc_getClass(const char* name);
Class object_getClass(id obj);
Method class_getInstanceMethod(Class cls, SEL name);

Class objc_allocateClassPair(Class superclass, const char* name, size_t extraBytes);
void objc_registerClassPair(Class cls);
BOOL class_addMethod(Class cls, SEL name, IMP imp, const char* types);
BOOL class_addIvar(Class cls, const char* name, size_t size, uint8_t alignment, const char* types);
Ivar class_getInstanceVariable(Class cls, const char* name);
ptrdiff_t ivar_getOffset(Ivar v);

#ifdef __cplusplus
}
#endif
