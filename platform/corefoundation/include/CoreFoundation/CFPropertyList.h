// Host CoreFoundation: property lists, read and written in Apple's XML and binary formats (the format
// of data to read is detected from its bytes).
#ifndef RAVELO_CF_PROPERTY_LIST_H
#define RAVELO_CF_PROPERTY_LIST_H

#include <CoreFoundation/CFBase.h>
#include <CoreFoundation/CFData.h>
#include <CoreFoundation/CFError.h>

CF_EXTERN_C_BEGIN

typedef CFOptionFlags CFPropertyListMutabilityOptions;
enum {
  kCFPropertyListImmutable = 0,
  kCFPropertyListMutableContainers = 1,
  kCFPropertyListMutableContainersAndLeaves = 2
};

typedef CFIndex CFPropertyListFormat;
enum {
  kCFPropertyListOpenStepFormat = 1,
  kCFPropertyListXMLFormat_v1_0 = 100,
  kCFPropertyListBinaryFormat_v1_0 = 200
};

// A new property list parsed from data (XML or binary). Containers are mutable when `options` asks
// for it; data leaves become mutable with kCFPropertyListMutableContainersAndLeaves (strings stay
// immutable here). *format receives the format read. NULL when the data is not a property list; then
// *error (when given) receives a new error (+1) in kCFErrorDomainCocoa, code 3840.
CF_EXPORT CFPropertyListRef CFPropertyListCreateWithData(CFAllocatorRef allocator, CFDataRef data,
                                                         CFOptionFlags options, CFPropertyListFormat* format,
                                                         CFErrorRef* error);
// New data holding the property list in `format` (XML or binary). NULL when the object is not a
// property list (a non-string key, a URL...) or the format is OpenStep, with *error set as above.
CF_EXPORT CFDataRef CFPropertyListCreateData(CFAllocatorRef allocator, CFPropertyListRef propertyList,
                                             CFPropertyListFormat format, CFOptionFlags options, CFErrorRef* error);
CF_EXPORT Boolean CFPropertyListIsValid(CFPropertyListRef plist, CFPropertyListFormat format);
CF_EXPORT CFPropertyListRef CFPropertyListCreateDeepCopy(CFAllocatorRef allocator, CFPropertyListRef propertyList,
                                                         CFOptionFlags mutabilityOption);

CF_EXTERN_C_END

#endif
