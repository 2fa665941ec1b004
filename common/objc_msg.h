// Objective-C messaging for system code.
//
// The one place that knows which runtime it runs on: Apple's (objc_msgSend) on the device, GCC's
// (objc_msg_lookup) on the Linux host. Everything else sends messages through rv::msg and friends.
#pragma once

#include <objc/runtime.h>
#include <objc/message.h>
#include <type_traits>

namespace rv {

template <typename R>
inline R zeroValue() {
  if constexpr (std::is_void_v<R>) {
    return;
  } else {
    return R{};
  }
}

// Sends `sel` to `self` with `args`, returning R (struct returns included). A nil receiver answers
// a zero value of R and runs nothing, as on the device.
template <typename R = id, typename... A>
inline R msg(id self, SEL sel, A... args) {
  if (self == nullptr) return zeroValue<R>();
  using Fn = R (*)(id, SEL, A...);
#if defined(__APPLE__)
  return reinterpret_cast<Fn>(reinterpret_cast<void (*)(void)>(objc_msgSend))(self, sel, args...);
#else
  return reinterpret_cast<Fn>(reinterpret_cast<void (*)(void)>(objc_msg_lookup(self, sel)))(self, sel, args...);
#endif
}

// Sends a message to a class object (a class method).
template <typename R = id, typename... A>
inline R msg(Class cls, SEL sel, A... args) {
  return msg<R, A...>(reinterpret_cast<id>(cls), sel, args...);
}

// Sends `sel` to `self`, starting the method search at `superclass` (a [super ...] send). Pass the
// superclass of the class that defines the calling method, never that of self's class.
template <typename R = id, typename... A>
inline R msgSuper(id self, Class superclass, SEL sel, A... args) {
  if (self == nullptr) return zeroValue<R>();
  objc_super target{self, superclass};
#if defined(__APPLE__)
  using SuperFn = R (*)(objc_super*, SEL, A...);
  return reinterpret_cast<SuperFn>(reinterpret_cast<void (*)(void)>(objc_msgSendSuper))(&target, sel, args...);
#else
  using Fn = R (*)(id, SEL, A...);
  return reinterpret_cast<Fn>(reinterpret_cast<void (*)(void)>(objc_msg_lookup_super(&target, sel)))(self, sel, args...);
#endif
}

// A CoreFoundation object as the Objective-C object it is (CF types are toll-free bridged).
inline id asId(const void* object) { return reinterpret_cast<id>(const_cast<void*>(object)); }

// The runtime's answer to "is this a yes": BOOL is bool on arm64 Apple, signed/unsigned char elsewhere.
inline bool isYes(BOOL value) { return value ? true : false; }

}  // namespace rv

// RV_SEL("name:") is the registered selector for a literal name, looked up once per call site. The
// cache is a plain zero-initialised static, so no static constructor or guard is involved.
#define RV_SEL(name)                                   \
  ([]() -> SEL {                                       \
    static SEL cached_;                                \
    if (cached_ == nullptr) cached_ = sel_registerName(name); \
    return cached_;                                    \
  }())
