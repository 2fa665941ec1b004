// Reading a page from its view tree, through the same messages the system's own code sends.
#include <cstring>

#include "host/objc.h"
#include "host/preferences.h"
#include "pane/pane_model.h"

namespace sim::pictures {
namespace {

using host::send;

// Preferences' cell types that matter to the picture.
constexpr long kLinkCell = 1, kLinkListCell = 2, kButtonCell = 13;
// UITableViewCellAccessoryType.
constexpr long kDisclosureIndicator = 1, kDetailDisclosureButton = 2, kCheckmark = 3;

bool isA(id object, const char* className) {
  Class cls = objc_getClass(className);
  return object != nullptr && cls != Nil && host::isKindOf(object, cls);
}

bool responds(id object, const char* selector) {
  return object != nullptr && send<BOOL>(object, "respondsToSelector:", host::sel(selector));
}

std::string textOf(id string) {
  if (!responds(string, "UTF8String")) return {};
  const char* text = send<const char*>(string, "UTF8String");
  return text != nullptr ? text : "";
}

Colour colourOf(id color) {
  host::uikit::RGBA c = host::uikit::components(color);
  return {c.red, c.green, c.blue, c.alpha};
}
std::optional<Colour> optionalColour(id color) {
  if (color == nullptr) return std::nullopt;
  return colourOf(color);
}

std::vector<id> elements(id array) {
  std::vector<id> out;
  if (!responds(array, "count")) return out;
  unsigned long count = send<unsigned long>(array, "count");
  for (unsigned long i = 0; i < count; ++i) out.push_back(send(array, "objectAtIndex:", i));
  return out;
}

// An instance variable's object without sending a message that could make one (UIKit makes a cell's
// labels on first request).
id peek(id object, const char* ivarName) {
  Ivar ivar = class_getInstanceVariable(object_getClass(object), ivarName);
  return ivar != nullptr ? object_getIvar(object, ivar) : nullptr;
}

// The controller below `top` in `navigation`'s stack, or null.
id below(id navigation, id top) {
  std::vector<id> stack = elements(send(navigation, "viewControllers"));
  for (size_t i = 1; i < stack.size(); ++i)
    if (stack[i] == top) return stack[i - 1];
  return nullptr;
}

LabelModel readLabel(id label, LabelModel::Role role) {
  LabelModel model;
  model.role = role;
  model.text = textOf(send(label, "text"));
  id font = send(label, "font");
  model.pointSize = send<CGFloat>(font, "pointSize");
  std::string name = textOf(send(font, "fontName"));
  model.bold = name.find("Bold") != std::string::npos || name.find("Semibold") != std::string::npos;
  model.colour = optionalColour(send(label, "textColor"));
  model.frame = send<CGRect>(label, "frame");
  return model;
}

ViewModel readView(id view) {
  ViewModel model;
  model.frame = send<CGRect>(view, "frame");
  model.hidden = send<BOOL>(view, "isHidden") != NO;
  model.clips = send<BOOL>(view, "clipsToBounds") != NO;
  model.background = optionalColour(send(view, "backgroundColor"));
  if (isA(view, "UIImageView")) {
    model.isImageView = true;
    id image = send(view, "image");
    model.image = host::uikit::imagePixels(image);
    if (image != nullptr) model.imageSize = send<CGSize>(image, "size");
    model.contentMode = send<long>(view, "contentMode");
  }
  if (isA(view, "UILabel")) model.label = readLabel(view, LabelModel::Other);
  for (id subview : elements(send(view, "subviews"))) model.subviews.push_back(readView(subview));
  return model;
}

BarModel readBar(id controller, id navigation) {
  BarModel bar;
  id navigationBar = send(navigation, "navigationBar");
  bar.tint = colourOf(send(navigationBar, "tintColor"));
  id item = send(controller, "navigationItem");
  bar.title = textOf(send(item, "title"));
  if (bar.title.empty()) bar.title = textOf(send(controller, "title"));
  id right = send(item, "rightBarButtonItem");
  if (right != nullptr) {
    bar.rightTitle = textOf(send(right, "title"));
    id tint = responds(right, "tintColor") ? send(right, "tintColor") : nullptr;
    bar.rightTint = tint != nullptr ? colourOf(tint) : bar.tint;
  }
  // Back goes to the controller below the page: in its own stack, or below its navigation controller
  // in the enclosing one (Settings' list).
  id previous = below(navigation, controller);
  if (previous == nullptr) previous = below(send(navigation, "navigationController"), navigation);
  if (previous != nullptr) {
    bar.backTitle = textOf(send(previous, "title"));
    if (bar.backTitle.empty()) bar.backTitle = "Back";
  }
  return bar;
}

RowModel readRow(id cell) {
  RowModel row;
  row.cellClass = object_getClassName(cell);
  row.height = send<CGRect>(cell, "frame").size.height;
  id textLabel = peek(cell, "_textLabel");
  id detailLabel = peek(cell, "_detailTextLabel");
  for (id view : elements(send(send(cell, "contentView"), "subviews"))) {
    if (!isA(view, "UILabel")) continue;
    LabelModel::Role role = view == textLabel     ? LabelModel::Text
                            : view == detailLabel ? LabelModel::Detail
                                                  : LabelModel::Other;
    row.labels.push_back(readLabel(view, role));
  }
  row.tint = colourOf(send(cell, "tintColor"));
  row.background = optionalColour(send(cell, "backgroundColor"));

  id specifier = responds(cell, "specifier") ? send(cell, "specifier") : nullptr;
  long cellType = specifier != nullptr ? send<long>(specifier, "cellType") : -1;
  row.isButton = cellType == kButtonCell;
  id accessory = send(cell, "accessoryView");
  long accessoryType = send<long>(cell, "accessoryType");
  if (accessory != nullptr) {
    row.accessorySize = send<CGRect>(accessory, "frame").size;
    if (isA(accessory, "UISwitch")) {
      row.accessory = RowModel::Switch;
      row.switchOn = send<BOOL>(accessory, "isOn") != NO;
      row.onTint = optionalColour(send(accessory, "onTintColor"));
    } else if (isA(accessory, "UISlider")) {
      row.accessory = RowModel::Slider;
      float low = send<float>(accessory, "minimumValue"), high = send<float>(accessory, "maximumValue");
      float value = send<float>(accessory, "value");
      row.sliderFraction = high > low ? (value - low) / (high - low) : 0;
    } else {
      row.accessory = RowModel::OtherView;
    }
  } else if (accessoryType == kDisclosureIndicator || accessoryType == kDetailDisclosureButton) {
    row.accessory = RowModel::Chevron;
  } else if (accessoryType == kCheckmark) {
    row.accessory = RowModel::Checkmark;
  } else if (cellType == kLinkCell || cellType == kLinkListCell) {
    row.accessory = RowModel::Chevron;
    row.accessoryShownByDefault = true;
  }
  return row;
}

}  // namespace

PaneModel readPane(id controller, id navigation) {
  host::AutoreleasePool pool;
  PaneModel pane;
  id table = send(controller, "view");
  pane.width = send<CGRect>(table, "frame").size.width;
  pane.bar = readBar(controller, navigation);
  if (!isA(table, "UITableView")) return pane;
  pane.tableStyle = send<long>(table, "style");
  pane.tableBackground = optionalColour(send(table, "backgroundColor"));
  if (id header = send(table, "tableHeaderView")) pane.header = readView(header);

  id source = send(table, "dataSource");
  long sections = send<long>(table, "numberOfSections");
  for (long s = 0; s < sections; ++s) {
    SectionModel section;
    if (responds(source, "tableView:titleForHeaderInSection:"))
      section.header = textOf(send(source, "tableView:titleForHeaderInSection:", table, s));
    if (responds(source, "tableView:titleForFooterInSection:"))
      section.footer = textOf(send(source, "tableView:titleForFooterInSection:", table, s));
    pane.sections.push_back(std::move(section));
  }
  // The whole page, as a picture stitched from screenfuls.
  host::settings::visitRows(table, [&](id cell, long s, long) {
    pane.sections[s].rows.push_back(readRow(cell));
    return false;
  });
  return pane;
}

}  // namespace sim::pictures
