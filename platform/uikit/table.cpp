// UIScrollView, UITableView (rows from its data source, a header view), UITableViewCell and
// NSIndexPath's row/section form.
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <deque>
#include <map>
#include <string>

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

// The table loads the rows a screen shows, as UIKit does: on layout it asks its data source for the
// cells of the rows its bounds (at the scroll offset) cover, puts the cells of rows scrolled away in the
// reuse pool of their identifier, and hands them out again through dequeueReusableCellWithIdentifier:.
// Row counts are asked once per reload. Rows are stacked below the header view, kRowHeight each.
struct TableState {
  id dataSource = nullptr;            // not retained, as on the device
  id header = nullptr;                // retained
  long style = 0;
  bool counted = false;               // sectionStarts holds this reload's counts
  std::vector<long> sectionStarts;    // the first row of each section, counted through the table, then the total
  long firstLoaded = 0;               // the row (counted through the table) of loaded.front()
  std::deque<id> loaded;              // the cells of the rows on screen, in order, retained
  std::map<std::string, std::vector<id>> reusable;  // cells waiting to be dequeued, retained
  unsigned long generation = 0;       // changes with every reload
};

TableState& tableState(id table) {
  auto*& state = ivarRef<TableState*>(table, "_hostTableState");
  if (state == nullptr) state = new TableState;
  return *state;
}

// Takes `cell` off the table into its identifier's reuse pool (keeping the table's reference).
void enqueue(TableState& state, id cell) {
  send<void>(cell, "removeFromSuperview");
  id identifier = send(cell, "reuseIdentifier");
  const char* name = identifier != nullptr ? send<const char*>(identifier, "UTF8String") : nullptr;
  if (name == nullptr) {
    release(cell);
    return;
  }
  state.reusable[name].push_back(cell);
}

// A reload: the rows on screen wait for reuse, and the counts are asked again at the next layout.
void unloadRows(id table) {
  TableState& state = tableState(table);
  for (id cell : state.loaded) enqueue(state, cell);
  state.loaded.clear();
  state.counted = false;
  ++state.generation;
}

void dropCells(id table) {
  unloadRows(table);
  TableState& state = tableState(table);
  for (auto& [identifier, cells] : state.reusable)
    for (id cell : cells) release(cell);
  state.reusable.clear();
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
// A new data source invalidates the rows shown so far, and the cells waiting for reuse.
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

// The rows of every section, counted once per reload.
void countRows(id self) {
  TableState& state = tableState(self);
  if (state.counted) return;
  state.counted = true;
  state.sectionStarts.assign(1, 0);
  long sections = tableNumberOfSections(self, nullptr);
  for (long s = 0; s < sections; ++s)
    state.sectionStarts.push_back(state.sectionStarts.back() + std::max(0L, tableNumberOfRows(self, nullptr, s)));
}

long totalRows(const TableState& state) { return state.sectionStarts.empty() ? 0 : state.sectionStarts.back(); }

// The row counted through the table, or -1 for one outside the counts.
long flatRow(const TableState& state, long section, long row) {
  if (section < 0 || row < 0 || static_cast<size_t>(section) + 1 >= state.sectionStarts.size()) return -1;
  long flat = state.sectionStarts[section] + row;
  return flat < state.sectionStarts[section + 1] ? flat : -1;
}

id indexPathOfFlatRow(const TableState& state, long flat) {
  auto after = std::upper_bound(state.sectionStarts.begin(), state.sectionStarts.end(), flat);
  long section = static_cast<long>(after - state.sectionStarts.begin()) - 1;
  return makeIndexPath(flat - state.sectionStarts[section], section);
}

CGFloat headerHeight(const TableState& state) {
  return state.header != nullptr ? send<CGRect>(state.header, "frame").size.height : 0;
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

// Places the loaded cells below the header and sizes the content to every row.
void positionRows(id self) {
  TableState& state = tableState(self);
  CGFloat width = send<CGRect>(self, "bounds").size.width;
  CGFloat top = headerHeight(state);
  for (size_t i = 0; i < state.loaded.size(); ++i)
    send<void>(state.loaded[i], "setFrame:", CGRectMake(0, top + kRowHeight * (state.firstLoaded + static_cast<long>(i)), width, kRowHeight));
  ivarRef<CGSize>(self, "_contentSize") = CGSizeMake(width, top + kRowHeight * totalRows(state));
}

// The data source's cell for a row; a data source that gives none breaks UIKit's contract.
id askForCell(id self, TableState& state, long flat) {
  AutoreleasePool pool;
  id cell = send(state.dataSource, "tableView:cellForRowAtIndexPath:", self, indexPathOfFlatRow(state, flat));
  if (cell == nullptr) {
    char reason[160];
    std::snprintf(reason, sizeof reason, "UITableView (%p) failed to obtain a cell from its dataSource (%p)",
                  static_cast<void*>(self), static_cast<void*>(state.dataSource));
    raise("NSInternalInconsistencyException", reason);
  }
  return retain(cell);
}

// Loads the rows the table's bounds cover at its scroll offset, in order, and lets the others go.
void tableLoadRows(id self) {
  TableState& state = tableState(self);
  countRows(self);
  unsigned long generation = state.generation;
  CGFloat top = send<CGPoint>(self, "contentOffset").y - headerHeight(state);
  CGFloat height = send<CGRect>(self, "bounds").size.height;
  long first = std::clamp(static_cast<long>(std::floor(top / kRowHeight)), 0L, totalRows(state));
  long end = std::clamp(static_cast<long>(std::ceil((top + height) / kRowHeight)), first, totalRows(state));
  while (!state.loaded.empty() && state.firstLoaded < first) {
    enqueue(state, state.loaded.front());
    state.loaded.pop_front();
    ++state.firstLoaded;
  }
  while (!state.loaded.empty() && state.firstLoaded + static_cast<long>(state.loaded.size()) > end) {
    enqueue(state, state.loaded.back());
    state.loaded.pop_back();
  }
  if (state.loaded.empty()) state.firstLoaded = first;
  for (long flat = state.firstLoaded - 1; flat >= first; --flat) {  // rows scrolled in from above
    id cell = askForCell(self, state, flat);
    if (state.generation != generation) {  // the data source reloaded the table meanwhile
      release(cell);
      return;
    }
    state.loaded.push_front(cell);
    state.firstLoaded = flat;
    send<void>(self, "addSubview:", cell);
  }
  for (long flat = state.firstLoaded + static_cast<long>(state.loaded.size()); flat < end; ++flat) {
    id cell = askForCell(self, state, flat);
    if (state.generation != generation) {
      release(cell);
      return;
    }
    state.loaded.push_back(cell);
    send<void>(self, "addSubview:", cell);
  }
}

void tableLayoutSubviews(id self, SEL) {
  tableLoadRows(self);
  positionRows(self);
}

void tableReloadData(id self, SEL) { unloadRows(self); }

// The cell shown for a row; nil for a row not on screen.
id tableCellForRow(id self, SEL, id indexPath) {
  if (indexPath == nullptr) return nullptr;
  TableState& state = tableState(self);
  long flat = flatRow(state, send<long>(indexPath, "section"), send<long>(indexPath, "row"));
  if (flat < state.firstLoaded || flat >= state.firstLoaded + static_cast<long>(state.loaded.size())) return nullptr;
  return state.loaded[flat - state.firstLoaded];
}

id tableIndexPathForCell(id self, SEL, id cell) {
  TableState& state = tableState(self);
  for (size_t i = 0; i < state.loaded.size(); ++i)
    if (state.loaded[i] == cell) return indexPathOfFlatRow(state, state.firstLoaded + static_cast<long>(i));
  return nullptr;
}

id tableVisibleCells(id self, SEL) {
  TableState& state = tableState(self);
  return makeArray(std::vector<id>(state.loaded.begin(), state.loaded.end()));
}

// A cell of the identifier that has left the screen (autoreleased), or nil: the data source makes one.
id tableDequeue(id self, SEL, id identifier) {
  const char* name = identifier != nullptr ? send<const char*>(identifier, "UTF8String") : nullptr;
  if (name == nullptr) return nullptr;
  auto found = tableState(self).reusable.find(name);
  if (found == tableState(self).reusable.end() || found->second.empty()) return nullptr;
  id cell = found->second.back();
  found->second.pop_back();
  return autorelease(cell);
}

// Where a row lies in the table's content; zero for a row the table does not have.
CGRect tableRectForRow(id self, SEL, id indexPath) {
  TableState& state = tableState(self);
  countRows(self);
  long flat = flatRow(state, send<long>(indexPath, "section"), send<long>(indexPath, "row"));
  if (flat < 0) return CGRectZero;
  return CGRectMake(0, headerHeight(state) + kRowHeight * flat, send<CGRect>(self, "bounds").size.width, kRowHeight);
}

// Scrolls so the row is at the top (UITableViewScrollPositionTop, 1), the middle (2), the bottom (3) or
// just in view (0, none), within the content; the cells follow at the next layout.
void tableScrollToRow(id self, SEL, id indexPath, long position, BOOL) {
  CGRect row = tableRectForRow(self, nullptr, indexPath);
  CGFloat height = send<CGRect>(self, "bounds").size.height;
  CGFloat offset = send<CGPoint>(self, "contentOffset").y;
  if (position == 1) offset = row.origin.y;
  else if (position == 2) offset = row.origin.y - (height - kRowHeight) / 2;
  else if (position == 3 || row.origin.y + kRowHeight > offset + height) offset = row.origin.y + kRowHeight - height;
  else if (row.origin.y < offset) offset = row.origin.y;
  CGFloat bottom = std::max<CGFloat>(0, headerHeight(tableState(self)) + kRowHeight * totalRows(tableState(self)) - height);
  send<void>(self, "setContentOffset:", CGPointMake(0, std::clamp<CGFloat>(offset, 0, bottom)));
}

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
                   .method("rectForRowAtIndexPath:", &tableRectForRow)
                   .method("scrollToRowAtIndexPath:atScrollPosition:animated:", &tableScrollToRow)
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
