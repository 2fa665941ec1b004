// Reading what a preference page shows, and writing it out as text.
#include <cstdio>

#include "preferences_internal.h"

namespace host::settings {
namespace {

using host::preferences::elements;
using host::preferences::text;

bool isA(id object, const char* className) {
  Class cls = objc_getClass(className);
  return cls != Nil && isKindOf(object, cls);
}

// Every label below `view`, depth first in subview order; `depth` is that of view's subviews.
void collectLabels(id view, int depth, std::vector<LabelShot>& labels) {
  for (id subview : elements(send(view, "subviews"))) {
    if (isA(subview, "UILabel"))
      labels.push_back({text(send(subview, "text")), send<CGFloat>(send(subview, "font"), "pointSize"), depth});
    collectLabels(subview, depth + 1, labels);
  }
}

RowShot shootRow(id cell, long section, long row) {
  RowShot shot;
  shot.section = section;
  shot.row = row;
  shot.cellClass = object_getClassName(cell);
  id specifier = send<BOOL>(cell, "respondsToSelector:", sel("specifier")) ? send(cell, "specifier") : nullptr;
  shot.key = text(send(specifier, "propertyForKey:", host::preferences::string("key")));
  collectLabels(send(cell, "contentView"), 1, shot.labels);
  shot.tint = host::uikit::components(send(cell, "tintColor"));
  if (isA(cell, "PSControlTableCell")) {
    id control = send(cell, "control");
    shot.hasControl = control != nullptr;
    if (control != nullptr) shot.controlClass = object_getClassName(control);
    if (isA(control, "UISwitch")) {
      shot.hasSwitch = true;
      shot.switchOn = send<BOOL>(control, "isOn") != NO;
      id onTint = send(control, "onTintColor");
      shot.hasOnTint = onTint != nullptr;
      shot.onTint = host::uikit::components(onTint);
    }
  }
  shot.detail = text(send(send(cell, "detailTextLabel"), "text"));
  return shot;
}

std::string rgba(const host::uikit::RGBA& c) {
  char buffer[64];
  std::snprintf(buffer, sizeof buffer, "%.3f,%.3f,%.3f,%.3f", c.red, c.green, c.blue, c.alpha);
  return buffer;
}

std::string size(CGSize s) {
  char buffer[64];
  std::snprintf(buffer, sizeof buffer, "%gx%g", s.width, s.height);
  return buffer;
}

std::string quoted(const std::string& s) {
  std::string out = "\"";
  for (char c : s) {
    if (c == '"' || c == '\\') out += '\\';
    out += c;
  }
  return out + "\"";
}

// The text the table's data source gives for a section's header or footer; false for nil or none.
bool sectionText(id table, const char* selector, long section, std::string* out) {
  id source = send(table, "dataSource");
  if (source == nullptr || !send<BOOL>(source, "respondsToSelector:", sel(selector))) return false;
  id title = send(source, selector, table, section);
  if (title == nullptr) return false;
  *out = text(title);
  return true;
}

std::string formatGroup(const GroupShot& group) {
  return "group " + std::to_string(group.section) + " header " + (group.hasHeader ? quoted(group.header) : "none") +
         " footer " + (group.hasFooter ? quoted(group.footer) : "none") + "\n";
}

}  // namespace

BarTints barTintsOf(id navigation) {
  return {host::uikit::components(send(send(navigation, "navigationBar"), "tintColor")),
          host::uikit::components(send(send(send(navigation, "navigationController"), "navigationBar"), "tintColor"))};
}

PageShot snapshot(id controller, id navigation) {
  PageShot page;
  page.title = text(send(controller, "title"));
  id table = send(controller, "view");
  page.viewTint = host::uikit::components(send(table, "tintColor"));
  BarTints bars = barTintsOf(navigation);
  page.barTint = bars.bar;
  page.enclosingBarTint = bars.enclosing;
  page.rightButtonTitle = text(send(send(send(controller, "navigationItem"), "rightBarButtonItem"), "title"));

  id header = isA(table, "UITableView") ? send(table, "tableHeaderView") : nullptr;
  page.hasHeader = header != nullptr;
  if (header != nullptr) {
    page.headerSize = send<CGRect>(header, "frame").size;
    for (id view : elements(send(header, "subviews"))) {
      if (!isA(view, "UIImageView")) continue;
      page.hasBanner = true;
      page.bannerSize = send<CGRect>(view, "frame").size;
      page.bannerHasImage = send(view, "image") != nullptr;
      break;
    }
  }
  if (!isA(table, "UITableView")) return page;
  long sections = send<long>(table, "numberOfSections");
  for (long s = 0; s < sections; ++s) {
    GroupShot group;
    group.section = s;
    group.hasHeader = sectionText(table, "tableView:titleForHeaderInSection:", s, &group.header);
    group.hasFooter = sectionText(table, "tableView:titleForFooterInSection:", s, &group.footer);
    page.groups.push_back(group);
  }
  visitRows(table, [&](id cell, long s, long r) {
    page.rows.push_back(shootRow(cell, s, r));
    return false;
  });
  return page;
}

std::string format(const PageShot& page) {
  std::string out = "page " + quoted(page.title) + " view-tint " + rgba(page.viewTint) + " " +
                    format(BarTints{page.barTint, page.enclosingBarTint}) + " right-button " +
                    quoted(page.rightButtonTitle) + "\n";
  if (!page.hasHeader) {
    out += "header none\n";
  } else {
    out += "header " + size(page.headerSize);
    if (page.hasBanner)
      out += " banner " + size(page.bannerSize) + " image " + (page.bannerHasImage ? "yes" : "no");
    else
      out += " banner none";
    out += "\n";
  }
  size_t nextGroup = 0;
  for (const RowShot& row : page.rows) {
    for (; nextGroup < page.groups.size() && page.groups[nextGroup].section <= row.section; ++nextGroup)
      out += formatGroup(page.groups[nextGroup]);
    out += "row " + std::to_string(row.section) + "." + std::to_string(row.row) + " " + row.cellClass;
    if (!row.key.empty()) out += " key=" + row.key;
    out += " labels [";
    for (size_t i = 0; i < row.labels.size(); ++i) {
      char pt[64];
      std::snprintf(pt, sizeof pt, " %gpt depth %d", row.labels[i].pointSize, row.labels[i].depth);
      out += (i > 0 ? ", " : "") + quoted(row.labels[i].text) + pt;
    }
    out += "] tint " + rgba(row.tint);
    if (row.hasSwitch) {
      out += std::string(" switch ") + (row.switchOn ? "on" : "off");
      out += " on-tint " + (row.hasOnTint ? rgba(row.onTint) : std::string("default"));
    } else if (row.hasControl) {
      out += " control " + row.controlClass;
    }
    if (!row.detail.empty()) out += " detail " + quoted(row.detail);
    out += "\n";
  }
  for (; nextGroup < page.groups.size(); ++nextGroup) out += formatGroup(page.groups[nextGroup]);
  return out;
}

id visitRows(id table, const std::function<bool(id cell, long section, long row)>& visit) {
  CGPoint start = send<CGPoint>(table, "contentOffset");
  bool scrolled = false;
  long sections = send<long>(table, "numberOfSections");
  for (long s = 0; s < sections; ++s) {
    long rows = send<long>(table, "numberOfRowsInSection:", s);
    for (long r = 0; r < rows; ++r) {
      AutoreleasePool pool;
      id indexPath = send(reinterpret_cast<id>(requireClass("NSIndexPath")), "indexPathForRow:inSection:", r, s);
      id cell = send(table, "cellForRowAtIndexPath:", indexPath);
      if (cell == nullptr) {
        send<void>(table, "scrollToRowAtIndexPath:atScrollPosition:animated:", indexPath, 1L /* top */, static_cast<BOOL>(NO));
        send<void>(table, "layoutIfNeeded");
        scrolled = true;
        cell = send(table, "cellForRowAtIndexPath:", indexPath);
      }
      if (cell != nullptr && visit(cell, s, r)) return cell;
    }
  }
  if (scrolled) {
    send<void>(table, "setContentOffset:", start);
    send<void>(table, "layoutIfNeeded");
  }
  return nullptr;
}

std::string format(const BarTints& tints) {
  return "bar-tint " + rgba(tints.bar) + " enclosing-bar-tint " + rgba(tints.enclosing);
}

}  // namespace host::settings
