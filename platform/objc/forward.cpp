// The device's answer to a message nobody implements: an uncaught exception that ends the process.
// GCC's runtime would otherwise crash inside objc_msg_lookup; this names the class and selector.
#include "host/objc.h"

#include <cstdio>
#include <cstdlib>

namespace {

IMP unrecognizedSelector(id receiver, SEL selector) {
  bool isClass = receiver != nullptr && class_isMetaClass(object_getClass(receiver));
  const char* className = receiver != nullptr ? object_getClassName(receiver) : "nil";
  std::fprintf(stderr,
               "*** Terminating app due to uncaught exception 'NSInvalidArgumentException', reason: "
               "'%c[%s %s]: unrecognized selector sent to %s %p'\n",
               isClass ? '+' : '-', className, sel_getName(selector), isClass ? "class" : "instance",
               static_cast<void*>(receiver));
  std::fflush(stderr);
  std::abort();
}

__attribute__((constructor(101))) void installForwardHandler() { __objc_msg_forward2 = unrecognizedSelector; }

}  // namespace
