// Host CoreFoundation: errors (bridged to NSError), as property-list parsing reports them.
#ifndef RAVELO_CF_ERROR_H
#define RAVELO_CF_ERROR_H

#include <CoreFoundation/CFBase.h>

CF_EXTERN_C_BEGIN

typedef struct __CFError* CFErrorRef;
typedef CFStringRef CFErrorDomain;

CF_EXPORT const CFErrorDomain kCFErrorDomainCocoa;
CF_EXPORT const CFErrorDomain kCFErrorDomainPOSIX;

CF_EXPORT CFTypeID CFErrorGetTypeID(void);
CF_EXPORT CFErrorDomain CFErrorGetDomain(CFErrorRef err);
CF_EXPORT CFIndex CFErrorGetCode(CFErrorRef err);
// A new string: the error's description (+1).
CF_EXPORT CFStringRef CFErrorCopyDescription(CFErrorRef err);

CF_EXTERN_C_END

#endif
