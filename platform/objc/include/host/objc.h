// Host Objective-C layer: defining classes from C++ and controlling object lifetimes.
//
// The runtime is GCC's libobjc. This layer adds what Apple's runtime and Foundation give the device:
// the root class NSObject with manual reference counting, autorelease pools, and an abort naming
// class and selector for any message nobody implements.
#pragma once

#include <objc/runtime.h>
#include <objc/message.h>

#include <cstddef>
#include <algorithm>
#include <array>
#include <cstdint>
#include <string>
#include <string_view>
#include <type_traits>
#include <vector>

namespace host {

// ---- type encodings, derived from a method's C++ signature -------------------------------------
//
// The runtime records each method's types as the device's runtime does, so code that reads them
// (the emulated device binaries' bridge) learns how every argument and result travels. A struct type
// has no encoding of its own: the header that defines it specialises TypeEncoding (CGRect's is in
// host/uikit.h); a method using a struct without one does not compile.

template <typename T>
struct TypeEncoding {};  // no `value`: a type without an encoding

template <typename T>
concept Encodable = requires { TypeEncoding<T>::value; };

namespace encoding {
template <const std::string_view&... Parts>
struct Join {
  static constexpr auto storage = [] {
    std::array<char, (Parts.size() + ... + 0) + 1> text{};
    size_t at = 0;
    ((std::copy(Parts.begin(), Parts.end(), text.begin() + at), at += Parts.size()), ...);
    return text;
  }();
  static constexpr std::string_view value{storage.data(), storage.size() - 1};
};
inline constexpr std::string_view kObject = "@", kSelector = ":", kPointer = "^", kConstPointer = "r^";
}  // namespace encoding

#define RAVELO_HOST_TYPE_ENCODING(Type, text) \
  template <>                                  \
  struct TypeEncoding<Type> {                  \
    static constexpr std::string_view value = text; \
  }
RAVELO_HOST_TYPE_ENCODING(void, "v");
RAVELO_HOST_TYPE_ENCODING(id, "@");
RAVELO_HOST_TYPE_ENCODING(Class, "#");
RAVELO_HOST_TYPE_ENCODING(SEL, ":");
RAVELO_HOST_TYPE_ENCODING(IMP, "^?");
RAVELO_HOST_TYPE_ENCODING(bool, "B");
RAVELO_HOST_TYPE_ENCODING(unsigned char, "C");  // BOOL on this runtime
RAVELO_HOST_TYPE_ENCODING(char, "c");
RAVELO_HOST_TYPE_ENCODING(signed char, "c");
RAVELO_HOST_TYPE_ENCODING(short, "s");
RAVELO_HOST_TYPE_ENCODING(unsigned short, "S");
RAVELO_HOST_TYPE_ENCODING(int, "i");
RAVELO_HOST_TYPE_ENCODING(unsigned, "I");
RAVELO_HOST_TYPE_ENCODING(long, "q");
RAVELO_HOST_TYPE_ENCODING(long long, "q");
RAVELO_HOST_TYPE_ENCODING(unsigned long, "Q");
RAVELO_HOST_TYPE_ENCODING(unsigned long long, "Q");
RAVELO_HOST_TYPE_ENCODING(float, "f");
RAVELO_HOST_TYPE_ENCODING(double, "d");
RAVELO_HOST_TYPE_ENCODING(char*, "*");
RAVELO_HOST_TYPE_ENCODING(const char*, "r*");
RAVELO_HOST_TYPE_ENCODING(void*, "^v");
RAVELO_HOST_TYPE_ENCODING(const void*, "r^v");

template <Encodable T>
struct TypeEncoding<T*> {
  static constexpr std::string_view value = encoding::Join<encoding::kPointer, TypeEncoding<T>::value>::value;
};
template <Encodable T>
struct TypeEncoding<const T*> {
  static constexpr std::string_view value = encoding::Join<encoding::kConstPointer, TypeEncoding<T>::value>::value;
};

template <typename R, typename... A>
struct TypeEncoding<R (*)(A...)> {
  static constexpr std::string_view value = "^?";
};

template <typename R, typename... A>
struct Encoding {
  static_assert((Encodable<R> && ... && Encodable<A>),
                "a method argument or result without an Objective-C type encoding: specialise host::TypeEncoding");
  static constexpr const char* value = encoding::Join<TypeEncoding<R>::value, encoding::kObject,
                                                      encoding::kSelector, TypeEncoding<A>::value...>::storage.data();
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
  // An instance variable of type T, with T's type encoding ("?" for the stand-ins' own C++ types).
  template <typename T>
  ClassBuilder& ivar(const char* name) {
    if constexpr (Encodable<T>) return ivar(name, sizeof(T), alignof(T), TypeEncoding<T>::value.data());
    else return ivar(name, sizeof(T), alignof(T), "?");
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

// Calls `observer(object, context)` as each object's NSObject -dealloc begins (its subclasses' own
// tear-down has run; its memory is still valid). One observer per process; nullptr removes it. For a
// bridge that keeps its own record of objects (the device binaries under emulation).
void setDeallocObserver(void (*observer)(id object, void* context), void* context);

// Number of NSObject instances currently alive (allocated and not yet deallocated), for leak tests.
long liveObjectCount();

// True when `object` is an instance of `cls` or of a subclass.
bool isKindOf(id object, Class cls);

}  // namespace host

// Apple's pool entry points, which the device's compiler-generated code and Foundation use.
extern "C" void* objc_autoreleasePoolPush(void);
extern "C" void objc_autoreleasePoolPop(void* token);
