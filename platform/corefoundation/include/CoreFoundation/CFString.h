// Host CoreFoundation: immutable Unicode strings (bridged to NSString), held as UTF-8.
#ifndef RAVELO_CF_STRING_H
#define RAVELO_CF_STRING_H

#include <CoreFoundation/CFBase.h>
#include <CoreFoundation/CFArray.h>
#include <CoreFoundation/CFData.h>

CF_EXTERN_C_BEGIN

typedef UInt32 CFStringEncoding;
typedef CFIndex CFStringBuiltInEncodings;
enum {
  kCFStringEncodingMacRoman = 0,
  kCFStringEncodingWindowsLatin1 = 0x0500,
  kCFStringEncodingISOLatin1 = 0x0201,
  kCFStringEncodingNextStepLatin = 0x0B01,
  kCFStringEncodingASCII = 0x0600,
  kCFStringEncodingUnicode = 0x0100,
  kCFStringEncodingUTF8 = 0x08000100,
  kCFStringEncodingNonLossyASCII = 0x0BFF,
  kCFStringEncodingUTF16 = 0x0100,
  kCFStringEncodingUTF16BE = 0x10000100,
  kCFStringEncodingUTF16LE = 0x14000100,
  kCFStringEncodingUTF32 = 0x0c000100,
  kCFStringEncodingUTF32BE = 0x18000100,
  kCFStringEncodingUTF32LE = 0x1c000100
};
#define kCFStringEncodingInvalidId (0xffffffffU)

typedef CFOptionFlags CFStringCompareFlags;
enum {
  kCFCompareCaseInsensitive = 1,
  kCFCompareBackwards = 4,
  kCFCompareAnchored = 8,
  kCFCompareNonliteral = 16,
  kCFCompareLocalized = 32,
  kCFCompareNumerically = 64
};

// An immortal string constant for a literal: the same object for the same text, for the life of the
// process; CFRetain/CFRelease do nothing to it.
#define CFSTR(cStr) __CFStringMakeConstantString("" cStr "")
CF_EXPORT CFStringRef __CFStringMakeConstantString(const char* cStr);

CF_EXPORT CFTypeID CFStringGetTypeID(void);

// A new string from a NUL-terminated C string in `encoding` (UTF-8, ASCII, ISO Latin 1, MacRoman is
// read as Latin 1). NULL when the bytes are not valid in the encoding or cStr is NULL.
CF_EXPORT CFStringRef CFStringCreateWithCString(CFAllocatorRef alloc, const char* cStr, CFStringEncoding encoding);
// A new string from `numBytes` bytes in `encoding` (the above plus UTF-16/UTF-32 in either byte order,
// a leading byte-order mark honoured when isExternalRepresentation). NULL when invalid.
CF_EXPORT CFStringRef CFStringCreateWithBytes(CFAllocatorRef alloc, const UInt8* bytes, CFIndex numBytes,
                                              CFStringEncoding encoding, Boolean isExternalRepresentation);
CF_EXPORT CFStringRef CFStringCreateCopy(CFAllocatorRef alloc, CFStringRef theString);
// A new string from a file-system path (UTF-8).
CF_EXPORT CFStringRef CFStringCreateWithFileSystemRepresentation(CFAllocatorRef alloc, const char* buffer);

// Length in UTF-16 code units, as on the device.
CF_EXPORT CFIndex CFStringGetLength(CFStringRef theString);
// Copies the UTF-16 units in `range` (within 0..CFStringGetLength) into `buffer`.
CF_EXPORT void CFStringGetCharacters(CFStringRef theString, CFRange range, UniChar* buffer);
// Copies the string as a NUL-terminated C string in `encoding` into buffer. False (buffer contents
// unspecified) when it does not fit or a character cannot be represented in the encoding.
CF_EXPORT Boolean CFStringGetCString(CFStringRef theString, char* buffer, CFIndex bufferSize, CFStringEncoding encoding);
// The string's own NUL-terminated bytes when they are already in `encoding` (UTF-8, or ASCII for an
// all-ASCII string), else NULL. Callers must be ready for NULL, as on the device.
CF_EXPORT const char* CFStringGetCStringPtr(CFStringRef theString, CFStringEncoding encoding);
// The most bytes `length` UTF-16 units can take in `encoding` (without the NUL); kCFNotFound on overflow.
CF_EXPORT CFIndex CFStringGetMaximumSizeForEncoding(CFIndex length, CFStringEncoding encoding);
CF_EXPORT CFIndex CFStringGetMaximumSizeOfFileSystemRepresentation(CFStringRef string);
// Copies the string as a NUL-terminated file-system path; false when it does not fit.
CF_EXPORT Boolean CFStringGetFileSystemRepresentation(CFStringRef string, char* buffer, CFIndex maxBufLen);
// A new data object holding the string in `encoding`; unrepresentable characters become lossByte, or
// the result is NULL when lossByte is 0.
CF_EXPORT CFDataRef CFStringCreateExternalRepresentation(CFAllocatorRef alloc, CFStringRef theString,
                                                         CFStringEncoding encoding, UInt8 lossByte);

// Orders two strings by Unicode code point; kCFCompareCaseInsensitive folds ASCII letters,
// kCFCompareNumerically orders runs of digits by their value.
CF_EXPORT CFComparisonResult CFStringCompare(CFStringRef theString1, CFStringRef theString2,
                                             CFStringCompareFlags compareOptions);
CF_EXPORT Boolean CFStringHasPrefix(CFStringRef theString, CFStringRef prefix);
CF_EXPORT Boolean CFStringHasSuffix(CFStringRef theString, CFStringRef suffix);
// The integer at the start of the string (after whitespace and a sign); 0 when there is none,
// INT_MAX/INT_MIN on overflow.
CF_EXPORT SInt32 CFStringGetIntValue(CFStringRef str);
// The decimal floating-point number at the start of the string; 0.0 when there is none.
CF_EXPORT double CFStringGetDoubleValue(CFStringRef str);

CF_EXTERN_C_END

#endif
