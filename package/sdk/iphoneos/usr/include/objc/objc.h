// Stub SDK: the Objective-C base types of Apple's runtime on arm64 iOS, as the device's <objc/objc.h>
// declares them. Only what Ravelo uses.
#pragma once

#include <stdbool.h>
#include <stddef.h>

typedef struct objc_class* Class;
typedef struct objc_object {
  Class isa;
} * id;
typedef struct objc_selector* SEL;

// Strict dispatch prototypes (the default of current Xcode projects): an IMP and objc_msgSend must be
// cast to the exact function type before a call, which is what the arm64 calling convention needs.
#ifndef OBJC_OLD_DISPATCH_PROTOTYPES
#define OBJC_OLD_DISPATCH_PROTOTYPES 0
#endif
#if !OBJC_OLD_DISPATCH_PROTOTYPES
typedef void (*IMP)(void);
#else
typedef id (*IMP)(id, SEL, ...);
#endif

// On arm64 BOOL is the C/C++ bool (one byte, 0 or 1).
#define OBJC_BOOL_IS_BOOL 1
typedef bool BOOL;
#define YES ((BOOL)1)
#define NO ((BOOL)0)

#ifndef nil
#if defined(__cplusplus)
#define nil nullptr
#define Nil nullptr
#else
#define nil ((id)0)
#define Nil ((Class)0)
#endif
#endif

#ifdef __cplusplus
extern "C" {
#endif

SEL sel_registerName(const char* str);

#ifdef __cplusplus
}
#endif
