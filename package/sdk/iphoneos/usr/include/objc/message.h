// Stub SDK: Apple's message-send entry points. With strict dispatch prototypes they take no declared
// arguments and are always called through a cast to the exact method type.
#pragma once

#include <objc/objc.h>

struct objc_super {
  id receiver;
  Class super_class;
};

#ifdef __cplusplus
extern "C" {
#endif

#if !OBJC_OLD_DISPATCH_PROTOTYPES
void objc_msgSend(void);
void objc_msgSendSuper(void);
#else
id objc_msgSend(id self, SEL op, ...);
id objc_msgSendSuper(struct objc_super* super, SEL op, ...);
#endif

#ifdef __cplusplus
}
#endif
