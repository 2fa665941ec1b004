// Stub SDK: Foundation's class lookup by name, as the device declares it (NSString* is passed as id,
// since the deliverables are C++).
#pragma once

#include <objc/runtime.h>

#ifdef __cplusplus
extern "C" {
#endif

Class NSClassFromString(id aClassName);

#ifdef __cplusplus
}
#endif
