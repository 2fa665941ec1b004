// PSTableCell (a row showing its specifier's label, and for a list its chosen value's title),
// PSControlTableCell (a row with a control that writes its value back), PSSwitchTableCell (a UISwitch)
// and PSSliderTableCell (a UISlider).
#include "preferences_internal.h"

namespace host::preferences {
namespace {

constexpr long kStyleDefault = 0;
constexpr long kStyleValue1 = 1;
constexpr unsigned long kValueChanged = host::uikit::UIControlEventValueChanged;

Class tableCellClass;
Class controlCellClass;

id newAutoreleased(const char* className) {
  return autorelease(send(send(reinterpret_cast<id>(requireClass(className)), "alloc"), "initWithFrame:", CGRectZero));
}

// The stored value, through the specifier's getter on its target (nil without one).
id readValue(id specifier) {
  id target = send(specifier, "target");
  SEL getter = send<SEL>(specifier, "getter");
  if (target == nullptr || getter == nullptr) return nullptr;
  using Getter = id (*)(id, SEL, id);
  return reinterpret_cast<Getter>(objc_msg_lookup(target, getter))(target, getter, specifier);
}

// ---- PSTableCell ----

id tableCellInit(id self, SEL, long style, id reuseIdentifier, id specifier) {
  self = sendSuper(self, class_getSuperclass(tableCellClass), "initWithStyle:reuseIdentifier:", style, reuseIdentifier);
  send<void>(self, "setSpecifier:", specifier);
  send<void>(self, "refreshCellContentsWithSpecifier:", specifier);
  return self;
}

// The label shows the specifier's name; a list row also shows the title of the stored value.
void tableCellRefresh(id self, SEL, id specifier) {
  send<void>(send(self, "textLabel"), "setText:", send(specifier, "name"));
  if (send<long>(specifier, "cellType") == host::settings::PSLinkListCell) {
    id value = readValue(specifier);
    id title = value != nullptr ? send(send(specifier, "titleDictionary"), "objectForKey:", value) : nullptr;
    send<void>(send(self, "detailTextLabel"), "setText:", title);
  }
}
long tableCellType(id self, SEL) { return send<long>(send(self, "specifier"), "cellType"); }

// ---- PSControlTableCell ----

id controlCellInit(id self, SEL, long style, id reuseIdentifier, id specifier) {
  self = sendSuper(self, tableCellClass, "initWithStyle:reuseIdentifier:specifier:", style, reuseIdentifier, specifier);
  id control = send(self, "newControl");
  send<void>(self, "setControl:", control);
  release(control);
  send<void>(control, "addTarget:action:forControlEvents:", self, sel("controlChanged:"), kValueChanged);
  send<void>(self, "refreshCellContentsWithSpecifier:", specifier);
  return self;
}
id controlCellNewControl(id, SEL) { return nullptr; }
id controlCellControl(id self, SEL) { return ivarRef<id>(self, "_control"); }
// The control is the cell's accessory view, beside the content view.
void controlCellSetControl(id self, SEL, id control) {
  assignStrong(ivarRef<id>(self, "_control"), control);
  send<void>(self, "setAccessoryView:", control);
}
void controlCellRefresh(id self, SEL, id specifier) {
  sendSuper<void>(self, tableCellClass, "refreshCellContentsWithSpecifier:", specifier);
  if (ivarRef<id>(self, "_control") != nullptr) send<void>(self, "setValue:", readValue(specifier));
}
void controlCellSetValue(id, SEL, id) {}
id controlCellControlValue(id, SEL) { return nullptr; }
// A change of the control goes to the specifier's setter on its target, with the control's value.
void controlCellChanged(id self, SEL, id) {
  id specifier = send(self, "specifier");
  perform(send(specifier, "target"), send<SEL>(specifier, "setter"), send(self, "controlValue"), specifier);
}

// ---- PSSwitchTableCell ----

id switchCellNewControl(id, SEL) { return retain(newAutoreleased("UISwitch")); }
// A stored value that is not a number or a string shows as off.
void switchCellSetValue(id self, SEL, id value) {
  bool on = value != nullptr && send<BOOL>(value, "respondsToSelector:", sel("boolValue")) && send<BOOL>(value, "boolValue");
  send<void>(ivarRef<id>(self, "_control"), "setOn:animated:", static_cast<BOOL>(on ? YES : NO), static_cast<BOOL>(NO));
}
id switchCellControlValue(id self, SEL) {
  BOOL on = send<BOOL>(ivarRef<id>(self, "_control"), "isOn");
  return send(reinterpret_cast<id>(requireClass("NSNumber")), "numberWithBool:", on);
}

// ---- PSSliderTableCell ----

float floatProperty(id specifier, const char* key, float fallback) {
  id value = property(specifier, key);
  if (value == nullptr || !send<BOOL>(value, "respondsToSelector:", sel("floatValue"))) return fallback;
  return send<float>(value, "floatValue");
}
id sliderCellNewControl(id self, SEL) {
  id slider = retain(newAutoreleased("UISlider"));
  id specifier = send(self, "specifier");
  send<void>(slider, "setMaximumValue:", floatProperty(specifier, "max", 1.0f));
  send<void>(slider, "setMinimumValue:", floatProperty(specifier, "min", 0.0f));
  return slider;
}
void sliderCellSetValue(id self, SEL, id value) {
  float v = value != nullptr && send<BOOL>(value, "respondsToSelector:", sel("floatValue")) ? send<float>(value, "floatValue") : 0.0f;
  send<void>(ivarRef<id>(self, "_control"), "setValue:", v);
}
id sliderCellControlValue(id self, SEL) {
  float v = send<float>(ivarRef<id>(self, "_control"), "value");
  return send(reinterpret_cast<id>(requireClass("NSNumber")), "numberWithFloat:", v);
}

}  // namespace

void defineCells() {
  tableCellClass = ClassBuilder("PSTableCell", "UITableViewCell")
                       .strongProperty("specifier")
                       .method("initWithStyle:reuseIdentifier:specifier:", &tableCellInit)
                       .method("refreshCellContentsWithSpecifier:", &tableCellRefresh)
                       .method("type", &tableCellType)
                       .registerClass();
  controlCellClass = ClassBuilder("PSControlTableCell", tableCellClass)
                         .ivar<id>("_control")
                         .method("initWithStyle:reuseIdentifier:specifier:", &controlCellInit)
                         .method("newControl", &controlCellNewControl)
                         .method("control", &controlCellControl)
                         .method("setControl:", &controlCellSetControl)
                         .method("refreshCellContentsWithSpecifier:", &controlCellRefresh)
                         .method("setValue:", &controlCellSetValue)
                         .method("controlValue", &controlCellControlValue)
                         .method("controlChanged:", &controlCellChanged)
                         .registerClass();
  releaseIvarAtDealloc(controlCellClass, "_control");
  ClassBuilder("PSSwitchTableCell", controlCellClass)
      .method("newControl", &switchCellNewControl)
      .method("setValue:", &switchCellSetValue)
      .method("controlValue", &switchCellControlValue)
      .registerClass();
  ClassBuilder("PSSliderTableCell", controlCellClass)
      .method("newControl", &sliderCellNewControl)
      .method("setValue:", &sliderCellSetValue)
      .method("controlValue", &sliderCellControlValue)
      .registerClass();
}

// A list row shows its value's title on the right; other rows only their label.
long cellStyleFor(long cellType) { return cellType == host::settings::PSLinkListCell ? kStyleValue1 : kStyleDefault; }

}  // namespace host::preferences
