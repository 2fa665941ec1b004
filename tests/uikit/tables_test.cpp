// Tables: rows from the data source, cells and their labels, the header view.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "host/uikit.h"
#include "uikit_test_support.h"

namespace {

using namespace uikit_testing;
using host::send;

// A data source with two sections (2 rows, 1 row) that counts the cells it is asked for.
int cellRequests;
long sectionCount(id, SEL, id) { return 2; }
long rowCount(id, SEL, id, long section) { return section == 0 ? 2 : 1; }
id cellFor(id, SEL, id, id indexPath) {
  ++cellRequests;
  long style = send<long>(indexPath, "section") == 0 ? 0 : 1;  // default, then value1
  id cell = send(send(cls("UITableViewCell"), "alloc"), "initWithStyle:reuseIdentifier:", style, nsString("cell"));
  char title[32];
  std::snprintf(title, sizeof title, "%ld.%ld", send<long>(indexPath, "section"), send<long>(indexPath, "row"));
  send<void>(send(cell, "textLabel"), "setText:", nsString(title));
  return host::autorelease(cell);
}
id dataSource() {
  static Class c = host::ClassBuilder("TablesTestSource", "NSObject")
                       .method("numberOfSectionsInTableView:", &sectionCount)
                       .method("tableView:numberOfRowsInSection:", &rowCount)
                       .method("tableView:cellForRowAtIndexPath:", &cellFor)
                       .registerClass();
  return host::send(reinterpret_cast<id>(c), "new");
}

id indexPath(long row, long section) { return send(cls("NSIndexPath"), "indexPathForRow:inSection:", row, section); }

TEST(Tables, AskTheirDataSourceForTheRowsOnScreenWhenLaidOut) {
  host::AutoreleasePool pool;
  id source = dataSource();
  id table = newView("UITableView", CGRectMake(0, 0, 390, 844));
  send<void>(table, "setDataSource:", source);
  cellRequests = 0;
  EXPECT_EQ(send<long>(table, "numberOfSections"), 2);
  EXPECT_EQ(send<long>(table, "numberOfRowsInSection:", 0L), 2);
  EXPECT_EQ(send(table, "cellForRowAtIndexPath:", indexPath(0, 0)), nullptr);  // nothing shown yet
  send<void>(table, "layoutIfNeeded");
  EXPECT_EQ(cellRequests, 3);
  id cell = send(table, "cellForRowAtIndexPath:", indexPath(0, 1));
  ASSERT_NE(cell, nullptr);
  EXPECT_EQ(text(send(send(cell, "textLabel"), "text")), "1.0");
  EXPECT_EQ(send(table, "indexPathForCell:", cell) != nullptr, true);
  send<void>(table, "layoutIfNeeded");
  EXPECT_EQ(cellRequests, 3);  // shown rows stay
  send<void>(table, "reloadData");
  send<void>(table, "layoutIfNeeded");
  EXPECT_EQ(cellRequests, 6);
  host::release(table);
  host::release(source);
}

// A data source of 1,000 rows in one section that reuses the cells the table hands back.
std::vector<long> requestedRows;
long thousand(id, SEL, id, long) { return 1000; }
id reusedCellFor(id, SEL, id table, id indexPath) {
  requestedRows.push_back(send<long>(indexPath, "row"));
  id cell = send(table, "dequeueReusableCellWithIdentifier:", nsString("row"));
  if (cell == nullptr)
    cell = host::autorelease(send(send(cls("UITableViewCell"), "alloc"), "initWithStyle:reuseIdentifier:", 0L, nsString("row")));
  send<void>(send(cell, "textLabel"), "setText:", nsString(std::to_string(send<long>(indexPath, "row"))));
  return cell;
}

TEST(Tables, LoadOnlyWhatTheScreenShowsAndReuseTheCellsScrolledAway) {
  host::AutoreleasePool pool;
  static Class c = host::ClassBuilder("LongTableSource", "NSObject")
                       .method("tableView:numberOfRowsInSection:", &thousand)
                       .method("tableView:cellForRowAtIndexPath:", &reusedCellFor)
                       .registerClass();
  id source = send(reinterpret_cast<id>(c), "new");
  id table = newView("UITableView", CGRectMake(0, 0, 390, 440));  // ten 44-point rows
  send<void>(table, "setDataSource:", source);
  requestedRows.clear();
  send<void>(table, "layoutIfNeeded");
  EXPECT_EQ(requestedRows, (std::vector<long>{0, 1, 2, 3, 4, 5, 6, 7, 8, 9}));
  id first = send(table, "cellForRowAtIndexPath:", indexPath(0, 0));
  EXPECT_EQ(send<CGSize>(table, "contentSize").height, 44000);

  send<void>(table, "scrollToRowAtIndexPath:atScrollPosition:animated:", indexPath(500, 0), 1L, static_cast<BOOL>(NO));
  requestedRows.clear();
  send<void>(table, "layoutIfNeeded");
  EXPECT_EQ(requestedRows.front(), 500);
  EXPECT_EQ(requestedRows.size(), 10u);
  EXPECT_EQ(send(table, "cellForRowAtIndexPath:", indexPath(0, 0)), nullptr);  // scrolled away
  id reused = send(table, "cellForRowAtIndexPath:", indexPath(509, 0));
  EXPECT_EQ(text(send(send(reused, "textLabel"), "text")), "509");
  EXPECT_EQ(send<unsigned long>(send(table, "visibleCells"), "count"), 10u);
  bool firstReused = false;
  for (long row = 500; row < 510; ++row) firstReused |= send(table, "cellForRowAtIndexPath:", indexPath(row, 0)) == first;
  EXPECT_TRUE(firstReused);
  host::release(table);
  host::release(source);
}

TEST(Tables, AHeaderTakesTheTableWidthAndKeepsItsHeight) {
  host::AutoreleasePool pool;
  id table = newView("UITableView", CGRectMake(0, 0, 414, 896));
  id header = newView("UIView", CGRectMake(0, 0, 160, 160));
  send<void>(table, "setTableHeaderView:", header);
  EXPECT_EQ(send(table, "tableHeaderView"), header);
  CGRect frame = host::uikit::frame(header);
  EXPECT_EQ(frame.size.width, 414);
  EXPECT_EQ(frame.size.height, 160);
  EXPECT_EQ(send(header, "superview"), table);
  send<void>(table, "setTableHeaderView:", header);  // again: still one subview
  EXPECT_EQ(send<unsigned long>(send(table, "subviews"), "count"), 1u);
  host::release(header);
  host::release(table);
}

TEST(Cells, LabelsLiveDirectlyInTheContentViewAndOnlyDetailStylesHaveADetailLabel) {
  host::AutoreleasePool pool;
  id plain = send(send(cls("UITableViewCell"), "alloc"), "initWithStyle:reuseIdentifier:", 0L, id{nullptr});
  id value1 = send(send(cls("UITableViewCell"), "alloc"), "initWithStyle:reuseIdentifier:", 1L, id{nullptr});
  EXPECT_EQ(send<unsigned long>(send(send(plain, "contentView"), "subviews"), "count"), 0u);
  id label = send(plain, "textLabel");
  EXPECT_EQ(elements(send(send(plain, "contentView"), "subviews")), std::vector<id>{label});
  EXPECT_EQ(send(plain, "detailTextLabel"), nullptr);
  id detail = send(value1, "detailTextLabel");
  ASSERT_NE(detail, nullptr);
  EXPECT_EQ(send(detail, "superview"), send(value1, "contentView"));
  EXPECT_EQ(send(send(value1, "contentView"), "superview"), value1);
  host::release(plain);
  host::release(value1);
}

TEST(Cells, AnAccessoryViewSitsBesideTheContentView) {
  host::AutoreleasePool pool;
  id cell = send(send(cls("UITableViewCell"), "alloc"), "initWithStyle:reuseIdentifier:", 0L, id{nullptr});
  id sw = newView("UISwitch", CGRectZero);
  send<void>(cell, "setAccessoryView:", sw);
  EXPECT_EQ(send(sw, "superview"), cell);
  EXPECT_EQ(send<unsigned long>(send(send(cell, "contentView"), "subviews"), "count"), 0u);
  host::release(sw);
  host::release(cell);
}

TEST(Labels, ShowTheSystemFontAt17PointsUntilGivenAnother) {
  host::AutoreleasePool pool;
  id label = newView("UILabel", CGRectZero);
  EXPECT_EQ(send<CGFloat>(send(label, "font"), "pointSize"), 17.0);
  send<void>(label, "setFont:", send(cls("UIFont"), "systemFontOfSize:", CGFloat{14}));
  EXPECT_EQ(send<CGFloat>(send(label, "font"), "pointSize"), 14.0);
  host::release(label);
}

}  // namespace
