// UIScrollView, UITableView (rows from its data source, a header view), UITableViewCell and
// NSIndexPath's row/section form.
#include <cstdio>

#include "uikit_internal.h"

namespace host::uikit::internal {
namespace {

constexpr CGFloat kRowHeight = 44;
constexpr CGFloat kCellWidth = 320;
constexpr CGFloat kAccessoryWidth = 51 + 16;

Class tableClass;
Class cellClass;

// ---- NSIndexPath ----

id indexPathFor(id cls, SEL, long row, long section) {
  id path = send(cls, "new");
  ivarRef<long>(path, "_row") = row;
  ivarRef<long>(path, "_section") = section;
  return autorelease(path);
}
long indexPathRow(id self, SEL) { return ivarRef<long>(self, "_row"); }
long indexPathSection(id self, SEL) { return ivarRef<long>(self, "_section"); }
unsigned long indexPathLength(id, SEL) { return 2; }
unsigned long indexPathIndexAt(id self, SEL, unsigned long position) {
  return static_cast<unsigned long>(position == 0 ? indexPathSection(self, nullptr) : indexPathRow(self, nullptr));
}
BOOL indexPathIsEqual(id self, SEL, id other) {
  if (!isKindOf(other, requireClass("NSIndexPath"))) return NO;
  return indexPathRow(self, nullptr) == indexPathRow(other, nullptr) &&
                 indexPathSection(self, nullptr) == indexPathSection(other, nullptr)
             ? YES
             : NO;
}
unsigned long indexPathHash(id self, SEL) {
  return static_cast<unsigned long>(indexPathSection(self, nullptr)) * 1000003ul + static_cast<unsigned long>(indexPathRow(self, nullptr));
}
id indexPathCopy(id self, SEL) { return retain(self); }

id makeIndexPath(long row, long section) {
  return send(reinterpret_cast<id>(requireClass("NSIndexPath")), "indexPathForRow:inSection:", row, section);
}

// ---- UITableView ----

struct TableState {
  id dataSource = nullptr;          // not retained, as on the device
  id header = nullptr;              // retained
  std::vector<std::vector<id>> rows;  // the loaded cells by section and row, retained
  bool loaded = false;
  long style = 0;
};

TableState& tableState(id table) {
  auto*& state = ivarRef<TableState*>(table, "_hostTableState");
  if (state == nullptr) state = new TableState;
  return *state;
}

void dropCells(id table) {
  TableState& state = tableState(table);
  for (auto& section : state.rows) {
    for (id cell : section) {
      send<void>(cell, "removeFromSuperview");
      release(cell);
    }
  }
  state.rows.clear();
  state.loaded = false;
}

id tableInitWithFrameStyle(id self, SEL, CGRect frame, long style) {
  self = sendSuper(self, class_getSuperclass(tableClass), "initWithFrame:", frame);
  tableState(self).style = style;
  return self;
}
id tableInitWithFrame(id self, SEL, CGRect frame) { return tableInitWithFrameStyle(self, nullptr, frame, 0); }

void tableDealloc(id self, SEL) {
  if (ivarRef<TableState*>(self, "_hostTableState") != nullptr) {
    dropCells(self);
    release(tableState(self).header);
    delete &tableState(self);
    ivarRef<TableState*>(self, "_hostTableState") = nullptr;
  }
  sendSuper<void>(self, class_getSuperclass(tableClass), "dealloc");
}

long tableStyle(id self, SEL) { return tableState(self).style; }
id tableDataSource(id self, SEL) { return tableState(self).dataSource; }
// A new data source invalidates the rows shown so far.
void tableSetDataSource(id self, SEL, id dataSource) {
  dropCells(self);
  tableState(self).dataSource = dataSource;
}

long tableNumberOfSections(id self, SEL) {
  id source = tableState(self).dataSource;
  if (source == nullptr) return 0;
  if (!send<BOOL>(source, "respondsToSelector:", sel("numberOfSectionsInTableView:"))) return 1;
  return send<long>(source, "numberOfSectionsInTableView:", self);
}
long tableNumberOfRows(id self, SEL, long section) {
  id source = tableState(self).dataSource;
  if (source == nullptr) return 0;
  return send<long>(source, "tableView:numberOfRowsInSection:", self, section);
}

// The header spans the table's width and keeps its own height; it is laid out at once, so views
// constrained to it follow.
id tableHeader(id self, SEL) { return tableState(self).header; }
void tableSetHeader(id self, SEL, id header) {
  TableState& state = tableState(self);
  if (state.header != header) {
    if (state.header != nullptr && send(state.header, "superview") == self) send<void>(state.header, "removeFromSuperview");
    assignStrong(state.header, header);
  }
  if (header == nullptr) return;
  CGRect frame = send<CGRect>(header, "frame");
  CGFloat width = send<CGRect>(self, "bounds").size.width;
  send<void>(header, "setFrame:", CGRectMake(0, 0, width, frame.size.height));
  if (send(header, "superview") != self) send<void>(self, "addSubview:", header);
  layOut(header);
}

// Stacks the header and the rows from the top.
void positionRows(id self) {
  TableState& state = tableState(self);
  CGFloat width = send<CGRect>(self, "bounds").size.width;
  CGFloat y = state.header != nullptr ? send<CGRect>(state.header, "frame").size.height : 0;
  for (auto& section : state.rows) {
    for (id cell : section) {
      send<void>(cell, "setFrame:", CGRectMake(0, y, width, kRowHeight));
      y += kRowHeight;
    }
  }
  ivarRef<CGSize>(self, "_contentSize") = CGSizeMake(width, y);
}

// The table shows every row (the screen is taken to be tall enough): on its first layout after a
// reload it asks the data source for each row's cell, in order.
void tableLoadRows(id self) {
  TableState& state = tableState(self);
  if (state.loaded) return;
  state.loaded = true;
  long sections = tableNumberOfSections(self, nullptr);
  for (long s = 0; s < sections; ++s) {
    state.rows.emplace_back();
    long rows = tableNumberOfRows(self, nullptr, s);
    for (long r = 0; r < rows; ++r) {
      AutoreleasePool pool;
      id cell = send(state.dataSource, "tableView:cellForRowAtIndexPath:", self, makeIndexPath(r, s));
      if (cell == nullptr) {
        char reason[160];
        std::snprintf(reason, sizeof reason, "UITableView (%p) failed to obtain a cell from its dataSource (%p)",
                      static_cast<void*>(self), static_cast<void*>(state.dataSource));
        raise("NSInternalInconsistencyException", reason);
      }
      if (!state.loaded) return;  // the data source reloaded the table meanwhile
      state.rows.back().push_back(retain(cell));
      send<void>(self, "addSubview:", cell);
    }
  }
}

void tableLayoutSubviews(id self, SEL) {
  tableLoadRows(self);
  positionRows(self);
}

void tableReloadData(id self, SEL) { dropCells(self); }

// The cell shown for a row; nil for a row the table has not loaded.
id tableCellForRow(id self, SEL, id indexPath) {
  TableState& state = tableState(self);
  long section = send<long>(indexPath, "section");
  long row = send<long>(indexPath, "row");
  if (indexPath == nullptr || section < 0 || row < 0 || static_cast<size_t>(section) >= state.rows.size() ||
      static_cast<size_t>(row) >= state.rows[section].size())
    return nullptr;
  return state.rows[section][row];
}

id tableIndexPathForCell(id self, SEL, id cell) {
  TableState& state = tableState(self);
  for (size_t s = 0; s < state.rows.size(); ++s)
    for (size_t r = 0; r < state.rows[s].size(); ++r)
      if (state.rows[s][r] == cell) return makeIndexPath(static_cast<long>(r), static_cast<long>(s));
  return nullptr;
}

id tableVisibleCells(id self, SEL) {
  std::vector<id> cells;
  for (auto& section : tableState(self).rows) cells.insert(cells.end(), section.begin(), section.end());
  return makeArray(cells);
}

// Every row stays loaded, so no cell is ever waiting for reuse.
id tableDequeue(id, SEL, id) { return nullptr; }

// ---- UIScrollView ----

CGPoint scrollContentOffset(id self, SEL) { return ivarRef<CGPoint>(self, "_contentOffset"); }
void scrollSetContentOffset(id self, SEL, CGPoint offset) { ivarRef<CGPoint>(self, "_contentOffset") = offset; }
CGSize scrollContentSize(id self, SEL) { return ivarRef<CGSize>(self, "_contentSize"); }
void scrollSetContentSize(id self, SEL, CGSize size) { ivarRef<CGSize>(self, "_contentSize") = size; }

// ---- UITableViewCell ----

// UITableViewCellStyle: Default 0 has no detail label; Value1, Value2 and Subtitle have one.
long& cellStyle(id cell) { return ivarRef<long>(cell, "_style"); }

id newSubview(const char* className, id parent) {
  id view = send(send(reinterpret_cast<id>(requireClass(className)), "alloc"), "initWithFrame:", CGRectZero);
  send<void>(parent, "addSubview:", view);
  return view;  // +1, for the cell's own field
}

id cellInitWithStyle(id self, SEL, long style, id reuseIdentifier) {
  self = sendSuper(self, class_getSuperclass(cellClass), "initWithFrame:", CGRectMake(0, 0, kCellWidth, kRowHeight));
  cellStyle(self) = style;
  send<void>(self, "setReuseIdentifier:", reuseIdentifier);
  ivarRef<id>(self, "_contentView") = newSubview("UIView", self);
  send<void>(ivarRef<id>(self, "_contentView"), "setFrame:", CGRectMake(0, 0, kCellWidth, kRowHeight));
  return self;
}
id cellInitWithFrame(id self, SEL, CGRect frame) {
  self = cellInitWithStyle(self, nullptr, 0, nullptr);
  send<void>(self, "setFrame:", frame);
  return self;
}

// The labels are made on first use, directly inside the content view.
id cellTextLabel(id self, SEL) {
  id& label = ivarRef<id>(self, "_textLabel");
  if (label == nullptr) label = newSubview("UILabel", ivarRef<id>(self, "_contentView"));
  return label;
}
id cellDetailTextLabel(id self, SEL) {
  if (cellStyle(self) == 0) return nullptr;
  id& label = ivarRef<id>(self, "_detailTextLabel");
  if (label == nullptr) label = newSubview("UILabel", ivarRef<id>(self, "_contentView"));
  return label;
}
id cellImageView(id self, SEL) {
  id& view = ivarRef<id>(self, "_imageView");
  if (view == nullptr) view = newSubview("UIImageView", ivarRef<id>(self, "_contentView"));
  return view;
}
id cellContentView(id self, SEL) { return ivarRef<id>(self, "_contentView"); }

// The accessory view sits in the cell beside the content view, not inside it.
id cellAccessoryView(id self, SEL) { return ivarRef<id>(self, "_accessoryView"); }
void cellSetAccessoryView(id self, SEL, id view) {
  id& slot = ivarRef<id>(self, "_accessoryView");
  if (slot == view) return;
  if (slot != nullptr && send(slot, "superview") == self) send<void>(slot, "removeFromSuperview");
  assignStrong(slot, view);
  if (view != nullptr) send<void>(self, "addSubview:", view);
}
long cellAccessoryType(id self, SEL) { return ivarRef<long>(self, "_accessoryType"); }
void cellSetAccessoryType(id self, SEL, long type) { ivarRef<long>(self, "_accessoryType") = type; }
long cellSelectionStyle(id self, SEL) { return ivarRef<long>(self, "_selectionStyle"); }
void cellSetSelectionStyle(id self, SEL, long style) { ivarRef<long>(self, "_selectionStyle") = style; }

// The content view takes the cell's width less the accessory's; the accessory sits at the right edge.
void cellLayoutSubviews(id self, SEL) {
  CGRect bounds = send<CGRect>(self, "bounds");
  id accessory = ivarRef<id>(self, "_accessoryView");
  CGFloat contentWidth = bounds.size.width - (accessory != nullptr ? kAccessoryWidth : 0);
  send<void>(ivarRef<id>(self, "_contentView"), "setFrame:", CGRectMake(0, 0, contentWidth, bounds.size.height));
  if (accessory != nullptr) {
    CGSize size = send<CGRect>(accessory, "frame").size;
    send<void>(accessory, "setFrame:",
               CGRectMake(bounds.size.width - size.width - 16, (bounds.size.height - size.height) / 2, size.width, size.height));
  }
  CGFloat half = contentWidth / 2;
  send<void>(ivarRef<id>(self, "_textLabel"), "setFrame:", CGRectMake(16, 0, half - 16, bounds.size.height));
  send<void>(ivarRef<id>(self, "_detailTextLabel"), "setFrame:", CGRectMake(half, 0, half - 16, bounds.size.height));
}

}  // namespace

void defineTables() {
  ClassBuilder("NSIndexPath", "NSObject")
      .ivar<long>("_row")
      .ivar<long>("_section")
      .classMethod("indexPathForRow:inSection:", &indexPathFor)
      .method("row", &indexPathRow)
      .method("item", &indexPathRow)
      .method("section", &indexPathSection)
      .method("length", &indexPathLength)
      .method("indexAtPosition:", &indexPathIndexAt)
      .method("isEqual:", &indexPathIsEqual)
      .method("hash", &indexPathHash)
      .method("copy", &indexPathCopy)
      .registerClass();
  Class scroll = ClassBuilder("UIScrollView", "UIView")
                     .assignProperty("delegate")
                     .ivar<CGPoint>("_contentOffset")
                     .ivar<CGSize>("_contentSize")
                     .method("contentOffset", &scrollContentOffset)
                     .method("setContentOffset:", &scrollSetContentOffset)
                     .method("contentSize", &scrollContentSize)
                     .method("setContentSize:", &scrollSetContentSize)
                     .registerClass();
  tableClass = ClassBuilder("UITableView", scroll)
                   .ivar<TableState*>("_hostTableState")
                   .method("initWithFrame:", &tableInitWithFrame)
                   .method("initWithFrame:style:", &tableInitWithFrameStyle)
                   .method("dealloc", &tableDealloc)
                   .method("style", &tableStyle)
                   .method("dataSource", &tableDataSource)
                   .method("setDataSource:", &tableSetDataSource)
                   .method("numberOfSections", &tableNumberOfSections)
                   .method("numberOfRowsInSection:", &tableNumberOfRows)
                   .method("tableHeaderView", &tableHeader)
                   .method("setTableHeaderView:", &tableSetHeader)
                   .method("layoutSubviews", &tableLayoutSubviews)
                   .method("reloadData", &tableReloadData)
                   .method("cellForRowAtIndexPath:", &tableCellForRow)
                   .method("indexPathForCell:", &tableIndexPathForCell)
                   .method("visibleCells", &tableVisibleCells)
                   .method("dequeueReusableCellWithIdentifier:", &tableDequeue)
                   .registerClass();
  const char* cellFields[] = {"_contentView", "_textLabel", "_detailTextLabel", "_imageView", "_accessoryView"};
  ClassBuilder cell("UITableViewCell", "UIView");
  for (const char* field : cellFields) cell.ivar<id>(field);
  cellClass = cell.ivar<long>("_style")
                  .ivar<long>("_accessoryType")
                  .ivar<long>("_selectionStyle")
                  .strongProperty("reuseIdentifier")
                  .method("initWithStyle:reuseIdentifier:", &cellInitWithStyle)
                  .method("initWithFrame:", &cellInitWithFrame)
                  .method("contentView", &cellContentView)
                  .method("textLabel", &cellTextLabel)
                  .method("detailTextLabel", &cellDetailTextLabel)
                  .method("imageView", &cellImageView)
                  .method("accessoryView", &cellAccessoryView)
                  .method("setAccessoryView:", &cellSetAccessoryView)
                  .method("accessoryType", &cellAccessoryType)
                  .method("setAccessoryType:", &cellSetAccessoryType)
                  .method("selectionStyle", &cellSelectionStyle)
                  .method("setSelectionStyle:", &cellSetSelectionStyle)
                  .method("layoutSubviews", &cellLayoutSubviews)
                  .registerClass();
  for (const char* field : cellFields) releaseIvarAtDealloc(cellClass, field);
}

}  // namespace host::uikit::internal
