// The standard collection callbacks: CF objects retained, released, compared with CFEqual/CFHash.
#include "cf_internal.h"

namespace {

const void* typeRetain(CFAllocatorRef, const void* value) { return CFRetain(value); }
void typeRelease(CFAllocatorRef, const void* value) { CFRelease(value); }
CFStringRef typeDescription(const void* value) { return CFCopyDescription(value); }
Boolean typeEqual(const void* a, const void* b) { return CFEqual(a, b); }
CFHashCode typeHash(const void* value) { return CFHash(value); }
// Keys of kCFCopyStringDictionaryKeyCallBacks are copied (immutable strings answer themselves).
const void* copyRetain(CFAllocatorRef, const void* value) {
  return host::send(cf::toId(value), "copy");
}

}  // namespace

const CFArrayCallBacks kCFTypeArrayCallBacks = {0, typeRetain, typeRelease, typeDescription, typeEqual};
const CFDictionaryKeyCallBacks kCFTypeDictionaryKeyCallBacks = {0,         typeRetain, typeRelease, typeDescription,
                                                                typeEqual, typeHash};
const CFDictionaryKeyCallBacks kCFCopyStringDictionaryKeyCallBacks = {0,         copyRetain, typeRelease, typeDescription,
                                                                      typeEqual, typeHash};
const CFDictionaryValueCallBacks kCFTypeDictionaryValueCallBacks = {0, typeRetain, typeRelease, typeDescription,
                                                                    typeEqual};
