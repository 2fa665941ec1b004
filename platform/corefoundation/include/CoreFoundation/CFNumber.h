// Host CoreFoundation: numbers and booleans (bridged to NSNumber; a CFBoolean is an __NSCFBoolean,
// a subclass of NSNumber). A number keeps its value as a signed 64-bit integer, an unsigned 64-bit
// integer above INT64_MAX (from a property list), or a double.
#ifndef RAVELO_CF_NUMBER_H
#define RAVELO_CF_NUMBER_H

#include <CoreFoundation/CFBase.h>

CF_EXTERN_C_BEGIN

typedef const struct __CFBoolean* CFBooleanRef;
typedef const struct __CFNumber* CFNumberRef;

// The two booleans: immortal singletons.
CF_EXPORT const CFBooleanRef kCFBooleanTrue;
CF_EXPORT const CFBooleanRef kCFBooleanFalse;

CF_EXPORT CFTypeID CFBooleanGetTypeID(void);
CF_EXPORT Boolean CFBooleanGetValue(CFBooleanRef boolean);

typedef CFIndex CFNumberType;
enum {
  kCFNumberSInt8Type = 1,
  kCFNumberSInt16Type = 2,
  kCFNumberSInt32Type = 3,
  kCFNumberSInt64Type = 4,
  kCFNumberFloat32Type = 5,
  kCFNumberFloat64Type = 6,
  kCFNumberCharType = 7,
  kCFNumberShortType = 8,
  kCFNumberIntType = 9,
  kCFNumberLongType = 10,
  kCFNumberLongLongType = 11,
  kCFNumberFloatType = 12,
  kCFNumberDoubleType = 13,
  kCFNumberCFIndexType = 14,
  kCFNumberNSIntegerType = 15,
  kCFNumberCGFloatType = 16,
  kCFNumberMaxType = 16
};

CF_EXPORT CFTypeID CFNumberGetTypeID(void);
// A new number from the value *valuePtr of `theType`. NULL for an unknown type or NULL valuePtr.
CF_EXPORT CFNumberRef CFNumberCreate(CFAllocatorRef allocator, CFNumberType theType, const void* valuePtr);
// The canonical storage type: kCFNumberSInt8/16/32/64Type for integers by their creation size,
// kCFNumberFloat32/64Type for reals; 17 (128-bit) for an unsigned value above INT64_MAX.
CF_EXPORT CFNumberType CFNumberGetType(CFNumberRef number);
CF_EXPORT CFIndex CFNumberGetByteSize(CFNumberRef number);
CF_EXPORT Boolean CFNumberIsFloatType(CFNumberRef number);
// Stores the value converted to `theType` in *valuePtr. Reals go to integers truncated toward zero;
// out-of-range values saturate at the type's limits (NaN gives 0). Returns false when the conversion
// lost anything (or the type is unknown), true when it is exact.
CF_EXPORT Boolean CFNumberGetValue(CFNumberRef number, CFNumberType theType, void* valuePtr);
// Orders two numbers by value, exactly across integers and reals.
CF_EXPORT CFComparisonResult CFNumberCompare(CFNumberRef number, CFNumberRef otherNumber, void* context);

CF_EXTERN_C_END

#endif
