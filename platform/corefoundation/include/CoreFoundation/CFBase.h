// Host CoreFoundation: base types and the polymorphic functions every CF object answers.
//
// Names, types and signatures are the device's. Every CF object is an Objective-C object of the host
// runtime (toll-free bridging), so a CFStringRef may be sent messages as an NSString and vice versa.
#ifndef RAVELO_CF_BASE_H
#define RAVELO_CF_BASE_H

#include <stdbool.h>
#include <stddef.h>
#include <stdint.h>

#ifdef __cplusplus
#define CF_EXTERN_C_BEGIN extern "C" {
#define CF_EXTERN_C_END }
#else
#define CF_EXTERN_C_BEGIN
#define CF_EXTERN_C_END
#endif

#define CF_EXPORT extern __attribute__((visibility("default")))
#define CF_INLINE static inline

#ifndef TRUE
#define TRUE 1
#endif
#ifndef FALSE
#define FALSE 0
#endif

CF_EXTERN_C_BEGIN

// ---- scalar types, as the device's MacTypes.h names them ----
typedef unsigned char Boolean;
typedef unsigned char UInt8;
typedef signed char SInt8;
typedef unsigned short UInt16;
typedef signed short SInt16;
typedef unsigned int UInt32;
typedef signed int SInt32;
typedef unsigned long long UInt64;
typedef signed long long SInt64;
typedef float Float32;
typedef double Float64;
typedef UInt16 UniChar;
typedef UInt32 UTF32Char;
typedef SInt32 OSStatus;

// ---- CF base types ----
typedef unsigned long CFTypeID;
typedef unsigned long CFOptionFlags;
typedef unsigned long CFHashCode;
typedef signed long CFIndex;

typedef const void* CFTypeRef;
typedef const struct __CFString* CFStringRef;
typedef struct __CFString* CFMutableStringRef;
typedef CFTypeRef CFPropertyListRef;
typedef const struct __CFAllocator* CFAllocatorRef;

typedef CFIndex CFComparisonResult;
enum {
  kCFCompareLessThan = -1,
  kCFCompareEqualTo = 0,
  kCFCompareGreaterThan = 1
};

enum { kCFNotFound = -1 };

typedef struct {
  CFIndex location;
  CFIndex length;
} CFRange;

CF_INLINE CFRange CFRangeMake(CFIndex location, CFIndex length) {
  CFRange range;
  range.location = location;
  range.length = length;
  return range;
}

// The only allocator: NULL, the default. Every create function accepts it (and ignores any other).
CF_EXPORT const CFAllocatorRef kCFAllocatorDefault;

// Adds one reference to `cf` and returns it. NULL aborts, as on the device.
CF_EXPORT CFTypeRef CFRetain(CFTypeRef cf);
// Drops one reference; the object is freed with its last one. NULL aborts, as on the device.
CF_EXPORT void CFRelease(CFTypeRef cf);
// Hands one reference to the current autorelease pool and returns `cf`.
CF_EXPORT CFTypeRef CFAutorelease(CFTypeRef cf);
// The object's current reference count (immortal constants answer a very large count).
CF_EXPORT CFIndex CFGetRetainCount(CFTypeRef cf);
// The type family of `cf`: a mutable dictionary answers CFDictionaryGetTypeID(), a boolean
// CFBooleanGetTypeID(); an Objective-C object outside the CF families answers 1.
CF_EXPORT CFTypeID CFGetTypeID(CFTypeRef cf);
// Whether the two objects are equal by value (-isEqual:): strings by content, numbers by value.
CF_EXPORT Boolean CFEqual(CFTypeRef cf1, CFTypeRef cf2);
// A hash consistent with CFEqual.
CF_EXPORT CFHashCode CFHash(CFTypeRef cf);
// A new string describing the object (+1).
CF_EXPORT CFStringRef CFCopyDescription(CFTypeRef cf);
// The name of a type family ("CFString", "CFDictionary", ...) (+1).
CF_EXPORT CFStringRef CFCopyTypeIDDescription(CFTypeID typeID);

// ---- the null object (NSNull): a binary property list may hold it ----
typedef const struct __CFNull* CFNullRef;
CF_EXPORT CFTypeID CFNullGetTypeID(void);
// The one null instance; never deallocated.
CF_EXPORT const CFNullRef kCFNull;

CF_EXTERN_C_END

#endif
