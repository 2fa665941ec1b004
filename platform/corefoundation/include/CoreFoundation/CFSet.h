// Host CoreFoundation: sets, as a binary property list's set objects read (read-only here).
#ifndef RAVELO_CF_SET_H
#define RAVELO_CF_SET_H

#include <CoreFoundation/CFBase.h>

CF_EXTERN_C_BEGIN

typedef const struct __CFSet* CFSetRef;
typedef struct __CFSet* CFMutableSetRef;

CF_EXPORT CFTypeID CFSetGetTypeID(void);
// The number of distinct members (members equal by CFEqual count once).
CF_EXPORT CFIndex CFSetGetCount(CFSetRef theSet);
// Whether a member equal to `value` (CFEqual) is in the set.
CF_EXPORT Boolean CFSetContainsValue(CFSetRef theSet, const void* value);
// Fills `values` (CFSetGetCount entries) with the members, in no defined order.
CF_EXPORT void CFSetGetValues(CFSetRef theSet, const void** values);

CF_EXTERN_C_END

#endif
