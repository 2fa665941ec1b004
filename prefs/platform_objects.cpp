// Small helpers for the platform objects the controller makes: strings, the pane tint, strong fields.
#include "common/objc_msg.h"
#include "prefs/pane.h"

namespace pane {

Class classNamed(const char* name) { return objc_getClass(name); }

id string(const char* text) {
  if (text == nullptr) return nullptr;
  return rv::msg(classNamed("NSString"), RV_SEL("stringWithUTF8String:"), text);
}

id tintColor() {
  return rv::msg(classNamed("UIColor"), RV_SEL("colorWithRed:green:blue:alpha:"), CGFloat{0.796}, CGFloat{0.855},
                 CGFloat{0.91}, CGFloat{1.0});
}

void assignStrong(id& field, id value) {
  if (field == value) return;
  rv::msg(value, RV_SEL("retain"));
  id old = field;
  field = value;
  rv::msg<void>(old, RV_SEL("release"));
}

}  // namespace pane
