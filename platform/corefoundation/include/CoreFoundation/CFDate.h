// Host CoreFoundation: points in time (bridged to NSDate), in seconds since 1 Jan 2001 00:00:00 GMT.
// Nothing here reads the wall clock: the host's observable behaviour never depends on it.
#ifndef RAVELO_CF_DATE_H
#define RAVELO_CF_DATE_H

#include <CoreFoundation/CFBase.h>

CF_EXTERN_C_BEGIN

typedef double CFTimeInterval;
typedef CFTimeInterval CFAbsoluteTime;

// Seconds from 1 Jan 1970 to 1 Jan 2001.
CF_EXPORT const CFTimeInterval kCFAbsoluteTimeIntervalSince1970;

typedef const struct __CFDate* CFDateRef;

CF_EXPORT CFTypeID CFDateGetTypeID(void);
CF_EXPORT CFDateRef CFDateCreate(CFAllocatorRef allocator, CFAbsoluteTime at);
CF_EXPORT CFAbsoluteTime CFDateGetAbsoluteTime(CFDateRef theDate);
CF_EXPORT CFComparisonResult CFDateCompare(CFDateRef theDate, CFDateRef otherDate, void* context);

CF_EXTERN_C_END

#endif
