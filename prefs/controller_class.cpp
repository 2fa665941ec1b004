// Registers RaveloRootListController with the Objective-C runtime when the bundle loads.
//
// The Settings app looks the bundle's principal class up by name right after loading the bundle's
// executable, so building the class in the executable's one static initialiser is early enough.
#include <stddef.h>
#include <stdint.h>
#include <type_traits>

#include "prefs/pane.h"

namespace pane {
namespace {

// Filled once by registerController, read by the methods; zero until then.
Class registeredSuperclass;
ptrdiff_t headerViewOffset;
ptrdiff_t headerImageViewOffset;
ptrdiff_t specifiersOffset;
bool hasSpecifiersField;

// Type encodings of the method arguments the runtime records with each method.
constexpr char boolCode() {
  if constexpr (std::is_same_v<BOOL, bool>) return 'B';
  else if constexpr (std::is_same_v<BOOL, unsigned char>) return 'C';
  else return 'c';
}
constexpr char kViewAppearanceTypes[] = {'v', '@', ':', boolCode(), '\0'};

constexpr uint8_t log2Alignment(size_t alignment) {
  uint8_t shift = 0;
  while ((static_cast<size_t>(1) << shift) < alignment) ++shift;
  return shift;
}

struct MethodEntry {
  const char* selector;
  IMP implementation;
  const char* types;
};

template <typename F>
IMP imp(F function) {
  return reinterpret_cast<IMP>(function);
}

bool addObjectField(Class cls, const char* name, const char* types) {
  return class_addIvar(cls, name, sizeof(id), log2Alignment(alignof(id)), types);
}

ptrdiff_t fieldOffset(Class cls, const char* name, bool* found) {
  Ivar field = class_getInstanceVariable(cls, name);
  if (found != nullptr) *found = field != nullptr;
  return field != nullptr ? ivar_getOffset(field) : 0;
}

// Builds the class: the two header fields, then the methods in the order of the class's method list.
// Without PSListController (or with the name already taken) nothing is registered, and the Settings
// app simply finds no principal class.
__attribute__((constructor)) void registerController() {
  Class base = objc_getClass("PSListController");
  if (base == Nil) return;
  Class cls = objc_allocateClassPair(base, "RaveloRootListController", 0);
  if (cls == Nil) return;
  if (!addObjectField(cls, "_headerView", "@\"UIView\"") ||
      !addObjectField(cls, "_headerImageView", "@\"UIImageView\"")) {
    return;  // never registered: the methods below would write into fields the class lacks
  }

  const MethodEntry methods[] = {
      {"specifiers", imp(&specifiers), "@@:"},
      {"viewWillAppear:", imp(&viewWillAppear), kViewAppearanceTypes},
      {"viewWillDisappear:", imp(&viewWillDisappear), kViewAppearanceTypes},
      {"viewDidLoad", imp(&viewDidLoad), "v@:"},
      {"tableView:cellForRowAtIndexPath:", imp(&tableViewCellForRow), "@@:@@"},
      {"fontSizeForDevice", imp(&fontSizeForDevice), "d@:"},
      {"respring", imp(&respring), "v@:"},
      {"PayPal", imp(&openDonationPage), "v@:"},
      {"Email", imp(&openMail), "v@:"},
      {"headerView", imp(&headerView), "@@:"},
      {"setHeaderView:", imp(&setHeaderView), "v@:@"},
      {"headerImageView", imp(&headerImageView), "@@:"},
      {"setHeaderImageView:", imp(&setHeaderImageView), "v@:@"},
      {"dealloc", imp(&dealloc), "v@:"},
      // The runtime-made class belongs to no image, so the platform would answer the Settings app's
      // own bundle for it; this answers RaveloPrefs.bundle, where "Root" is.
      {"bundle", imp(&bundle), "@@:"},
  };
  for (const MethodEntry& method : methods) {
    class_addMethod(cls, sel_registerName(method.selector), method.implementation, method.types);
  }
  objc_registerClassPair(cls);

  registeredSuperclass = base;  // the class's superclass, never that of a subclass of it
  headerViewOffset = fieldOffset(cls, "_headerView", nullptr);
  headerImageViewOffset = fieldOffset(cls, "_headerImageView", nullptr);
  specifiersOffset = fieldOffset(cls, "_specifiers", &hasSpecifiersField);
}

id& fieldAt(id self, ptrdiff_t offset) { return *reinterpret_cast<id*>(reinterpret_cast<char*>(self) + offset); }

}  // namespace

Class superclass() { return registeredSuperclass; }

id& headerViewField(id self) { return fieldAt(self, headerViewOffset); }
id& headerImageViewField(id self) { return fieldAt(self, headerImageViewOffset); }

id* specifiersField(id self) { return hasSpecifiersField ? &fieldAt(self, specifiersOffset) : nullptr; }

}  // namespace pane
