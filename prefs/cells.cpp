// Per-row styling: screen-width fonts on the cells' labels, the pane tint on control cells and
// switches, and the banner header above the table.
#include "common/foundation.h"
#include "common/objc_msg.h"
#include "prefs/pane.h"

namespace pane {
namespace {

bool isKindOf(id object, Class cls) {
  return cls != Nil && rv::isYes(rv::msg<BOOL>(object, RV_SEL("isKindOfClass:"), cls));
}

// Every label directly inside the content view; labels nested deeper keep their fonts.
void restyleLabels(id self, id cell) {
  Class labelClass = classNamed("UILabel");
  id subviews = rv::msg(rv::msg(cell, RV_SEL("contentView")), RV_SEL("subviews"));
  unsigned long count = rv::msg<unsigned long>(subviews, RV_SEL("count"));
  for (unsigned long i = 0; i < count; ++i) {
    id view = rv::msg(subviews, RV_SEL("objectAtIndex:"), i);
    if (!isKindOf(view, labelClass)) continue;
    CGFloat size = rv::msg<CGFloat>(self, RV_SEL("fontSizeForDevice"));
    rv::msg<void>(view, RV_SEL("setFont:"), rv::msg(classNamed("UIFont"), RV_SEL("systemFontOfSize:"), size));
  }
}

CGFloat mainScreenWidth() {
  return rv::msg<CGRect>(rv::msg(classNamed("UIScreen"), RV_SEL("mainScreen")), RV_SEL("bounds")).size.width;
}

}  // namespace

// Restyles the cell PSListController made for the row and returns that same cell. The header is set
// on every request, so it is there as soon as the first row shows, after scrolling and reloads too.
id tableViewCellForRow(id self, SEL cmd, id tableView, id indexPath) {
  id cell = rv::msgSuper(self, superclass(), cmd, tableView, indexPath);
  restyleLabels(self, cell);
  rv::msg<void>(tableView, RV_SEL("setTableHeaderView:"), rv::msg(self, RV_SEL("headerView")));
  if (isKindOf(cell, classNamed("PSControlTableCell"))) {
    rv::msg<void>(cell, RV_SEL("setTintColor:"), tintColor());
    id control = rv::msg(cell, RV_SEL("control"));
    if (isKindOf(control, NSClassFromString(string("UISwitch")))) {
      rv::msg<void>(control, RV_SEL("setOnTintColor:"), tintColor());
    }
  }
  return cell;
}

// 14 points up to 375 wide, 18 up to 414, 17 beyond. The width is read afresh for each test.
CGFloat fontSizeForDevice(id, SEL) {
  if (mainScreenWidth() <= 375) return 14.0;
  if (mainScreenWidth() > 414) return 17.0;
  return 18.0;
}

}  // namespace pane
