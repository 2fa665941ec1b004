// Host Objective-C layer: defining classes from C++ and controlling object lifetimes.
//
// The runtime is GCC's libobjc. This layer adds what Apple's runtime and Foundation give the device:
// the root class NSObject with manual reference counting, autorelease pools, and an abort naming
// class and selector for any message nobody implements.
#pragma once

#include <objc/runtime.h>
#include <objc/message.h>

#include <cstddef>
#include <cstdint>
#include <string>
#include <type_traits>
#include <vector>

namespace host {

// ---- type encodings, derived from a method's C++ signature -------------------------------------

template <typename T>
constexpr char typeCode() {
  if constexpr (std::is_void_v<T>) return 'v';
  else if constexpr (std::is_same_v<T, id>) return '@';
  else if constexpr (std::is_same_v<T, Class>) return '#';
  else if constexpr (std::is_same_v<T, SEL>) return ':';
  else if constexpr (std::is_same_v<T, bool> || std::is_same_v<T, unsigned char>) return 'C';
  else if constexpr (std::is_same_v<T, char> || std::is_same_v<T, signed char>) return 'c';
  else if constexpr (std::is_same_v<T, double>) return 'd';
  else if constexpr (std::is_same_v<T, float>) return 'f';
  else if constexpr (std::is_same_v<T, int>) return 'i';
  else if constexpr (std::is_same_v<T, unsigned>) return 'I';
  else if constexpr (std::is_same_v<T, long> || std::is_same_v<T, long long>) return 'q';
  else if constexpr (std::is_same_v<T, unsigned long> || std::is_same_v<T, unsigned long long>) return 'Q';
  else if constexpr (std::is_pointer_v<T>) return '^';
  else return '?';  // structs (CGRect...) and anything else
}

template <typename R, typename... A>
struct Encoding {
  static constexpr char value[] = {typeCode<R>(), '@', ':', typeCode<A>()..., '\0'};
};

// ---- defining classes --------------------------------------------------------------------------

// Builds and registers one class. Aborts with a message when the superclass is missing or the name
// is already taken: a stand-in that cannot be defined is a broken build, not a runtime condition.
//
//   Class c = host::ClassBuilder("UILabel", "UIView")
//                 .strongProperty("text")
//                 .method("font", &labelFont)
//                 .registerClass();
class ClassBuilder {
 public:
  ClassBuilder(const char* name, const char* superclassName);
  ClassBuilder(const char* name, Class superclass);

  // A raw instance variable; alignment in bytes.
  ClassBuilder& ivar(const char* name, size_t size, size_t alignment, const char* type);
  template <typename T>
  ClassBuilder& ivar(const char* name) {
    return ivar(name, sizeof(T), alignof(T), "?");
  }

  // An object ivar "_name" with a getter `name` and a setter `setName:` that retains the new value and
  // releases the old one. The object is released when the owner is deallocated.
  ClassBuilder& strongProperty(const char* name);
  // The same ivar and getter, with a setter that does not retain (a weak/assign reference).
  ClassBuilder& assignProperty(const char* name);

  template <typename R, typename... A>
  ClassBuilder& method(const char* selector, R (*imp)(id, SEL, A...)) {
    return addMethod(false, selector, reinterpret_cast<IMP>(imp), Encoding<R, A...>::value);
  }
  template <typename R, typename... A>
  ClassBuilder& classMethod(const char* selector, R (*imp)(id, SEL, A...)) {
    return addMethod(true, selector, reinterpret_cast<IMP>(imp), Encoding<R, A...>::value);
  }

  Class registerClass();

 private:
  ClassBuilder& addMethod(bool onMetaclass, const char* selector, IMP imp, const char* types);
  Class cls_;
  bool registered_ = false;
  std::vector<std::string> strongIvars_;
};

// Releases, at -dealloc of an instance of `cls`, the object held in the ivar `ivarName`.
void releaseIvarAtDealloc(Class cls, const char* ivarName);

// ---- instance variables ------------------------------------------------------------------------

// The byte offset of an ivar, looked up by name along the class chain. Aborts if absent.
ptrdiff_t ivarOffset(Class cls, const char* name);

template <typename T>
T& ivarRef(id object, const char* name) {
  return *reinterpret_cast<T*>(reinterpret_cast<char*>(object) + ivarOffset(object_getClass(object), name));
}

// ---- messaging from stand-ins ------------------------------------------------------------------

SEL sel(const char* name);

template <typename R = id, typename... A>
R send(id self, const char* selector, A... args) {
  if (self == nullptr) {
    if constexpr (std::is_void_v<R>) return;
    else return R{};
  }
  SEL s = sel(selector);
  using Fn = R (*)(id, SEL, A...);
  return reinterpret_cast<Fn>(objc_msg_lookup(self, s))(self, s, args...);
}
template <typename R = id, typename... A>
R send(Class cls, const char* selector, A... args) {
  return send<R, A...>(reinterpret_cast<id>(cls), selector, args...);
}
template <typename R = id, typename... A>
R sendSuper(id self, Class superclass, const char* selector, A... args) {
  objc_super target{self, superclass};
  SEL s = sel(selector);
  using Fn = R (*)(id, SEL, A...);
  return reinterpret_cast<Fn>(objc_msg_lookup_super(&target, s))(self, s, args...);
}

// Looks up a class by name; aborts naming it if absent.
Class requireClass(const char* name);

// ---- lifetimes ---------------------------------------------------------------------------------

id retain(id object);
void release(id object);
id autorelease(id object);
unsigned long retainCount(id object);

// Swaps a strong reference: retains `value`, releases what `slot` held.
void assignStrong(id& slot, id value);

// An autorelease pool for the current thread; drains (releases its objects) when destroyed.
class AutoreleasePool {
 public:
  AutoreleasePool();
  ~AutoreleasePool();
  AutoreleasePool(const AutoreleasePool&) = delete;
  AutoreleasePool& operator=(const AutoreleasePool&) = delete;
  // Releases what was autoreleased so far while keeping the pool open.
  void drain();

 private:
  size_t token_;
};

// Number of NSObject instances currently alive (allocated and not yet deallocated), for leak tests.
long liveObjectCount();

// True when `object` is an instance of `cls` or of a subclass.
bool isKindOf(id object, Class cls);

}  // namespace host

// Apple's pool entry points, which the device's compiler-generated code and Foundation use.
extern "C" void* objc_autoreleasePoolPush(void);
extern "C" void objc_autoreleasePoolPop(void* token);
