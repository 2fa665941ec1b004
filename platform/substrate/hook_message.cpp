// MSHookMessageEx, as the jailbreak's hooking libraries do it.
//
// A nil class or a selector the class cannot answer stops the process, naming the call. The libraries
// disagree there: ElleKit declares the class a non-optional Swift AnyClass (a nil one is undefined
// behaviour) and returns quietly for a missing method; Substitute aborts the process for either. No
// caller may count on either outcome, so a caller that hands one over fails here at once.
#include <substrate.h>

#include <cstdio>
#include <cstdlib>

extern "C" void __objc_update_dispatch_table_for_class(Class cls);

namespace {

bool ownsMethod(Class cls, SEL selector) {
  unsigned count = 0;
  Method* methods = class_copyMethodList(cls, &count);
  bool owns = false;
  for (unsigned i = 0; i < count && !owns; ++i) owns = sel_isEqual(method_getName(methods[i]), selector);
  std::free(methods);
  return owns;
}

[[noreturn]] void refuse(const char* what, Class cls, SEL selector) {
  std::fprintf(stderr, "MSHookMessageEx: %s (%s, %s): undefined behaviour in ElleKit, an abort in Substitute\n", what,
               cls != Nil ? class_getName(cls) : "nil", selector != nullptr ? sel_getName(selector) : "nil");
  std::abort();
}

}  // namespace

extern "C" void MSHookMessageEx(Class cls, SEL selector, IMP replacement, IMP* previous) {
  if (cls == Nil) refuse("a nil class", cls, selector);
  if (selector == nullptr || replacement == nullptr) return;
  Method method = class_getInstanceMethod(cls, selector);
  if (method == nullptr) refuse("a selector the class does not answer", cls, selector);
  IMP old;
  if (ownsMethod(cls, selector)) {
    old = method_setImplementation(method, replacement);
  } else {
    // Inherited: give the class its own method, leaving the superclass untouched.
    old = method_getImplementation(method);
    class_addMethod(cls, selector, replacement, method_getTypeEncoding(method));
  }
  // Subclasses that already cached the old implementation must see the new one.
  __objc_update_dispatch_table_for_class(cls);
  if (previous != nullptr) *previous = old;
}
