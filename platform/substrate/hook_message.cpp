#include <substrate.h>

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

}  // namespace

extern "C" void MSHookMessageEx(Class cls, SEL selector, IMP replacement, IMP* previous) {
  if (cls == Nil || selector == nullptr || replacement == nullptr) return;
  Method method = class_getInstanceMethod(cls, selector);
  if (method == nullptr) return;
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
