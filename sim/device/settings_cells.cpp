#include "device/settings_cells.h"

#include <CoreGraphics/CGGeometry.h>

#include "host/objc.h"

namespace sim::device {
namespace {

using host::send;

Class nestedLabelCellClass;

id newView(const char* className, CGRect frame) {
  return send(send(host::requireClass(className), "alloc"), "initWithFrame:", frame);
}

id nestedLabelCellInit(id self, SEL cmd, long style, id reuseIdentifier, id specifier) {
  self = host::sendSuper(self, class_getSuperclass(nestedLabelCellClass), sel_getName(cmd), style, reuseIdentifier,
                         specifier);
  id box = newView("UIView", CGRectMake(16, 0, 200, 44));
  id label = newView("UILabel", CGRectMake(0, 0, 200, 20));
  send<void>(label, "setText:", send(host::requireClass("NSString"), "stringWithUTF8String:", "nested"));
  send<void>(label, "setFont:", send(host::requireClass("UIFont"), "systemFontOfSize:", CGFloat{11}));
  send<void>(box, "addSubview:", label);
  send<void>(send(self, "contentView"), "addSubview:", box);
  host::release(label);
  host::release(box);
  return self;
}

id noLabel(id, SEL) { return nullptr; }

}  // namespace

void defineSettingsCells() {
  nestedLabelCellClass = host::ClassBuilder("SettingsNestedLabelCell", "PSTableCell")
                             .method("initWithStyle:reuseIdentifier:specifier:", &nestedLabelCellInit)
                             .registerClass();
  // A cell that draws its content itself has neither label.
  host::ClassBuilder("SettingsBareCell", "PSTableCell")
      .method("textLabel", &noLabel)
      .method("detailTextLabel", &noLabel)
      .registerClass();
}

}  // namespace sim::device
