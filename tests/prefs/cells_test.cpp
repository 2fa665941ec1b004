// Cells: the screen-width font of the labels, the pane tint on control cells and switches, and the
// banner header put above the table on every cell request.
#include <gtest/gtest.h>
#include <substrate.h>

#include "host/objc.h"
#include "host/uikit.h"
#include "prefs/settings_device.h"
#include "support/fresh_process.h"

using host::send;
using host::settings::PageShot;
using host::settings::RowShot;
using prefs_testing::paneTint;
using prefs_testing::SettingsDevice;
using testing_support::inFreshProcess;

namespace {

id classObject(const char* name) { return reinterpret_cast<id>(host::requireClass(name)); }

const RowShot* rowWithKey(const PageShot& page, const std::string& key) {
  for (const RowShot& row : page.rows)
    if (row.key == key) return &row;
  return nullptr;
}

// ---- font size by screen width ----

struct WidthAndSize {
  CGFloat width;
  CGFloat size;
};

class FontSize : public testing::TestWithParam<WidthAndSize> {};

TEST_P(FontSize, FollowsTheScreenWidth) {
  WidthAndSize expected = GetParam();
  inFreshProcess([expected] {
    SettingsDevice device;
    host::uikit::setScreenWidth(expected.width);
    auto pane = device.open();
    ASSERT_NE(pane, nullptr);
    EXPECT_EQ(send<CGFloat>(pane->controller(), "fontSizeForDevice"), expected.size);
    PageShot page = pane->show();
    ASSERT_FALSE(page.rows.empty());
    for (const RowShot& row : page.rows) {
      for (const auto& label : row.labels) EXPECT_EQ(label.pointSize, expected.size) << row.key << " " << label.text;
    }
  });
}

INSTANTIATE_TEST_SUITE_P(Widths, FontSize,
                         testing::Values(WidthAndSize{320, 14}, WidthAndSize{375, 14}, WidthAndSize{390, 18},
                                         WidthAndSize{393, 18}, WidthAndSize{414, 18}, WidthAndSize{428, 17},
                                         WidthAndSize{430, 17}, WidthAndSize{768, 17}),
                         [](const testing::TestParamInfo<WidthAndSize>& info) {
                           return "Width" + std::to_string(static_cast<int>(info.param.width));
                         });

TEST(FontSizeReading, AsksTheScreenAgainEachTime) {
  inFreshProcess([] {
    SettingsDevice device;
    auto pane = device.open();
    ASSERT_NE(pane, nullptr);
    host::uikit::setScreenWidth(320);
    EXPECT_EQ(send<CGFloat>(pane->controller(), "fontSizeForDevice"), 14);
    host::uikit::setScreenWidth(768);
    EXPECT_EQ(send<CGFloat>(pane->controller(), "fontSizeForDevice"), 17);
  });
}

// ---- which labels are restyled ----

// A hook on PSListController's cell method: every cell the base class makes gets a red tint of its own
// and a label with an 11-point font nested inside a plain view of its content view; the last cell
// made and its nested label are kept.
id nestedLabel;
id lastBaseCell;
IMP previousCellForRow;
id markBaseCell(id self, SEL cmd, id table, id indexPath) {
  id cell = reinterpret_cast<id (*)(id, SEL, id, id)>(previousCellForRow)(self, cmd, table, indexPath);
  send<void>(cell, "setTintColor:", send(classObject("UIColor"), "colorWithRed:green:blue:alpha:", 1.0, 0.0, 0.0, 1.0));
  id box = send(send(classObject("UIView"), "alloc"), "initWithFrame:", CGRectMake(0, 0, 100, 40));
  id label = send(send(classObject("UILabel"), "alloc"), "initWithFrame:", CGRectMake(0, 0, 100, 20));
  send<void>(label, "setFont:", send(classObject("UIFont"), "systemFontOfSize:", CGFloat{11}));
  send<void>(box, "addSubview:", label);
  send<void>(send(cell, "contentView"), "addSubview:", box);
  host::release(label);
  host::release(box);
  nestedLabel = label;
  lastBaseCell = cell;
  return cell;
}
void markBaseCells() {
  MSHookMessageEx(host::requireClass("PSListController"), host::sel("tableView:cellForRowAtIndexPath:"),
                  reinterpret_cast<IMP>(&markBaseCell), &previousCellForRow);
}

TEST(Labels, OnlyThoseDirectlyInTheContentViewAreRestyled) {
  inFreshProcess([] {
    SettingsDevice device;
    markBaseCells();
    host::uikit::setScreenWidth(390);
    auto pane = device.open();
    ASSERT_NE(pane, nullptr);
    PageShot page = pane->show();
    ASSERT_NE(nestedLabel, nullptr);
    EXPECT_EQ(send<CGFloat>(send(nestedLabel, "font"), "pointSize"), 11);
    const RowShot* row = rowWithKey(page, "enabled");
    ASSERT_NE(row, nullptr);
    ASSERT_FALSE(row->labels.empty());
    EXPECT_EQ(row->labels.front().pointSize, 18);
  });
}

TEST(Labels, TheCellShownIsTheOneTheBaseClassMade) {
  inFreshProcess([] {
    SettingsDevice device;
    markBaseCells();
    auto pane = device.open();
    ASSERT_NE(pane, nullptr);
    host::AutoreleasePool pool;
    id table = send(pane->controller(), "view");
    id indexPath = send(classObject("NSIndexPath"), "indexPathForRow:inSection:", 0L, 1L);
    id cell = send(pane->controller(), "tableView:cellForRowAtIndexPath:", table, indexPath);
    EXPECT_EQ(cell, lastBaseCell);
  });
}

// ---- tints ----

std::string controlRows() {
  using namespace prefs_testing;
  return groupItem("Controls") + switchItem("enabled", "Enabled") + sliderItem("volume", "Volume") +
         groupItem("Links") + buttonItem("Donate", "PayPal");
}

TEST(Tints, SwitchCellsTakeThePaneTintAsCellTintAndOnTint) {
  inFreshProcess([] {
    SettingsDevice device;
    device.writeSpecifierList(controlRows());
    auto pane = device.open();
    ASSERT_NE(pane, nullptr);
    PageShot page = pane->show();
    const RowShot* row = rowWithKey(page, "enabled");
    ASSERT_NE(row, nullptr);
    ASSERT_TRUE(row->hasSwitch);
    EXPECT_EQ(row->tint, paneTint());
    ASSERT_TRUE(row->hasOnTint);
    EXPECT_EQ(row->onTint, paneTint());
  });
}

TEST(Tints, AControlThatIsNotASwitchTakesTheCellTintOnly) {
  inFreshProcess([] {
    SettingsDevice device;
    device.writeSpecifierList(controlRows());
    auto pane = device.open();
    ASSERT_NE(pane, nullptr);
    PageShot page = pane->show();
    const RowShot* row = rowWithKey(page, "volume");
    ASSERT_NE(row, nullptr);
    EXPECT_EQ(row->controlClass, "UISlider");
    EXPECT_FALSE(row->hasSwitch);
    EXPECT_EQ(row->tint, paneTint());
  });
}

TEST(Tints, CellsWithoutAControlKeepTheirOwnTint) {
  inFreshProcess([] {
    SettingsDevice device;
    device.writeSpecifierList(controlRows());
    markBaseCells();
    auto pane = device.open();
    ASSERT_NE(pane, nullptr);
    PageShot page = pane->show();
    ASSERT_EQ(page.rows.size(), 3u);
    EXPECT_EQ(page.rows[0].tint, paneTint()) << "a switch row";
    EXPECT_EQ(page.rows[1].tint, paneTint()) << "a slider row";
    const RowShot& button = page.rows[2];
    EXPECT_FALSE(button.hasControl);
    EXPECT_EQ(button.tint, (host::uikit::RGBA{1.0, 0.0, 0.0, 1.0}));
  });
}

// ---- the header on every cell request ----

TEST(HeaderInstallation, EveryCellRequestPutsTheSameHeaderBack) {
  inFreshProcess([] {
    SettingsDevice device;
    auto pane = device.open();
    ASSERT_NE(pane, nullptr);
    pane->show();
    host::AutoreleasePool pool;
    id controller = pane->controller();
    id table = send(controller, "view");
    id header = send(controller, "headerView");
    ASSERT_NE(header, nullptr);
    EXPECT_EQ(send(table, "tableHeaderView"), header);
    for (long row : {0L, 1L}) {
      send<void>(table, "setTableHeaderView:", id{nullptr});
      id indexPath = send(classObject("NSIndexPath"), "indexPathForRow:inSection:", row, 1L);
      send(controller, "tableView:cellForRowAtIndexPath:", table, indexPath);
      EXPECT_EQ(send(table, "tableHeaderView"), header) << "row " << row;
    }
  });
}

}  // namespace
