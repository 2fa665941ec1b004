// The Settings pane drawn from its view tree, read back as a person would look at it: the banner, the
// tinted controls, the rows, the labels' sizes at three screen widths.
#include <gtest/gtest.h>

#include <cmath>
#include <functional>
#include <string>

#include "host/uikit.h"
#include "pane/ios_look.h"
#include "pane/pane_picture.h"
#include "pictures/png_image.h"
#include "prefs/settings_device.h"
#include "support/fresh_process.h"
#include "support/temp_dir.h"

using pictures_testing::Image;
using pictures_testing::Rgb;
using prefs_testing::Layout;
using prefs_testing::SettingsDevice;
using testing_support::inFreshProcess;
using testing_support::TempDir;
namespace ios = sim::pictures::ios;

namespace {

struct Drawn {
  Image image;
  host::settings::PageShot page;
  double scale = 2;
  double width = 390;
  int px(double points) const { return static_cast<int>(std::lround(points * scale)); }
  double barsHeight() const { return ios::statusBarHeight(width) + ios::kNavigationBarHeight; }
  // The rows, found as the white runs at the right edge, below the bars.
  std::vector<std::pair<int, int>> rows() const {
    return pictures_testing::whiteRuns(image, image.width - 2, px(barsHeight()));
  }
};

// Opens the pane on a screen `width` points wide, lets `act` do what a person does on it, and draws it.
// The pane opens once per process: call this in a fresh one.
Drawn drawPane(double width, double scale, Layout layout = {},
               const std::function<void(host::settings::Pane&)>& act = {}) {
  Drawn drawn;
  drawn.scale = scale;
  drawn.width = width;
  host::uikit::setScreenWidth(width);
  SettingsDevice device(layout);
  auto pane = device.open();
  if (!pane) return drawn;
  if (act) act(*pane);
  drawn.page = pane->show();
  TempDir dir;
  std::string error;
  EXPECT_TRUE(sim::pictures::drawPanePicture(*pane, scale, (dir / "pane.png").string(), &error)) << error;
  drawn.image = pictures_testing::readPng((dir / "pane.png").string());
  return drawn;
}

// The picture of the pane at `width` and `scale`, drawn in a fresh process and read back here.
Drawn drawnElsewhere(const TempDir& dir, double width, double scale, Layout layout = {}) {
  std::string file = (dir / ("pane-" + std::to_string(static_cast<int>(width)) + ".png")).string();
  inFreshProcess([&] {
    host::uikit::setScreenWidth(width);
    SettingsDevice device(layout);
    auto pane = device.open();
    ASSERT_NE(pane, nullptr);
    std::string error;
    EXPECT_TRUE(sim::pictures::drawPanePicture(*pane, scale, file, &error)) << error;
  });
  Drawn drawn;
  drawn.scale = scale;
  drawn.width = width;
  drawn.image = pictures_testing::readPng(file);
  return drawn;
}

Rgb rgbOf(const host::uikit::RGBA& c) {
  return {static_cast<int>(std::lround(c.red * 255)), static_cast<int>(std::lround(c.green * 255)),
          static_cast<int>(std::lround(c.blue * 255))};
}

// How many pixels of the box are `colour`.
int countOf(const Image& image, int x0, int y0, int x1, int y1, const Rgb& colour) {
  int n = 0;
  for (int y = y0; y < y1; ++y)
    for (int x = x0; x < x1; ++x) n += image.at(x, y).near(colour) ? 1 : 0;
  return n;
}

// The width in pixels of the dark ink in the left half of a row (its title).
int titleInkWidth(const Image& image, std::pair<int, int> row) {
  int first = -1, last = -1;
  for (int x = 0; x < image.width / 2; ++x)
    for (int y = row.first; y < row.first + row.second; ++y)
      if (image.at(x, y).luminance() < 110) {
        if (first < 0) first = x;
        last = x;
        break;
      }
  return first < 0 ? 0 : last - first + 1;
}

}  // namespace

TEST(PanePicture, ReadsWhatThePaneSetUpThroughTheStandIns) {
  inFreshProcess([] {
    host::uikit::setScreenWidth(390);
    SettingsDevice device;
    auto pane = device.open();
    ASSERT_NE(pane, nullptr);
    pane->show();
    sim::pictures::PaneModel model = sim::pictures::readPane(pane->controller(), pane->navigationController());
    EXPECT_EQ(model.bar.title, "Ravelo");
    EXPECT_EQ(model.bar.backTitle, "Settings");
    EXPECT_EQ(model.bar.rightTitle, "Respring");
    EXPECT_EQ(rgbOf({model.bar.rightTint.red, model.bar.rightTint.green, model.bar.rightTint.blue, 1}),
              rgbOf(prefs_testing::paneTint()));
    ASSERT_TRUE(model.header.has_value());
    ASSERT_EQ(model.header->subviews.size(), 1u);
    const sim::pictures::ViewModel& banner = model.header->subviews[0];
    EXPECT_TRUE(banner.isImageView && banner.image != nullptr && banner.clips);
    EXPECT_EQ(banner.contentMode, 2);
    EXPECT_EQ(banner.frame.size.width, 390);
    EXPECT_EQ(banner.frame.size.height, 160);
    ASSERT_EQ(model.sections.size(), 12u);
    EXPECT_EQ(model.sections[0].header, "Ravelo");
    EXPECT_EQ(model.sections[0].footer.rfind("Turn Ravelo on", 0), 0u);
    const sim::pictures::RowModel& list = model.sections[1].rows[1];  // Icon Tap Sound
    EXPECT_EQ(list.accessory, sim::pictures::RowModel::Chevron);
    ASSERT_EQ(list.labels.size(), 2u);
    EXPECT_EQ(list.labels[1].role, sim::pictures::LabelModel::Detail);
    EXPECT_EQ(list.labels[1].pointSize, 18);
    EXPECT_TRUE(model.sections[11].rows[0].isButton);
  });
}

TEST(PanePicture, TheBannerFillsTheHeaderAndShowsItsOwnPixelsWhereUnscaled) {
  TempDir dir;
  // 320 points at 2x: the 640x320 banner, aspect-filled into 320x160 points, lands pixel for pixel.
  Drawn drawn = drawnElsewhere(dir, 320, 2);
  Image banner = pictures_testing::readPng(PREFS_RESOURCES_DIR "/banner.png");
  ASSERT_EQ(drawn.image.width, 640);
  const int top = drawn.px(drawn.barsHeight());
  int different = 0;
  for (int y = 0; y < banner.height; ++y)
    for (int x = 0; x < banner.width; ++x) different += drawn.image.at(x, top + y) == banner.at(x, y) ? 0 : 1;
  EXPECT_EQ(different, 0);

  // 390 points at 3x: scaled, still filling the 160-point band edge to edge with the banner's colours.
  Drawn wide = drawnElsewhere(dir, 390, 3);
  ASSERT_EQ(wide.image.width, 1170);
  const int wideTop = wide.px(wide.barsHeight());
  const Rgb background = wide.image.at(1, wideTop - 2);
  int distinct = 0;
  for (int x = 0; x < wide.image.width; x += 7) distinct += wide.image.at(x, wideTop + wide.px(80)) == background ? 0 : 1;
  EXPECT_GT(distinct, wide.image.width / 7 - 2);
  EXPECT_NE(wide.image.at(wide.image.width - 3, wideTop + wide.px(158)), wide.image.at(3, wideTop + wide.px(2)));
}

TEST(PanePicture, WithoutTheBannerTheHeaderIsAnEmpty160PointBand) {
  TempDir dir;
  Drawn drawn = drawnElsewhere(dir, 390, 2, Layout{.banner = false});
  const int top = drawn.px(drawn.barsHeight());
  const Rgb background = rgbOf({ios::kGroupedBackground.red, ios::kGroupedBackground.green,
                                ios::kGroupedBackground.blue, 1});
  EXPECT_EQ(countOf(drawn.image, 0, top + 1, drawn.image.width, top + drawn.px(160), background),
            drawn.image.width * (drawn.px(160) - 1));
  auto rows = drawn.rows();
  ASSERT_FALSE(rows.empty());
  EXPECT_EQ(rows.front().first, top + drawn.px(160 + ios::kHeaderWithTitle));
}

TEST(PanePicture, RowsAreThePagesRowsAtTheirHeights) {
  inFreshProcess([] {
    Drawn drawn = drawPane(390, 2);
    auto rows = drawn.rows();
    ASSERT_EQ(rows.size(), drawn.page.rows.size());
    for (const auto& row : rows) EXPECT_EQ(row.second, drawn.px(44) - 1) << "row at " << row.first;  // then a hairline
  });
}

TEST(PanePicture, ThePaneTintIsOnRespringOnEverySwitchThatIsOnAndOnTheButtonRows) {
  inFreshProcess([] {
    Drawn drawn = drawPane(390, 2, {}, [](host::settings::Pane& pane) {
      std::string error;
      for (const char* key : {"enabled", "IconSound", "VolumeDownC", "Startup"}) EXPECT_TRUE(pane.toggleSwitch(key, &error));
    });
    const Rgb tint = rgbOf(prefs_testing::paneTint());
    const Image& image = drawn.image;
    EXPECT_GT(countOf(image, image.width / 2, drawn.px(ios::statusBarHeight(390)), image.width, drawn.px(drawn.barsHeight()), tint), 40)
        << "Respring";

    auto rows = drawn.rows();
    ASSERT_EQ(rows.size(), drawn.page.rows.size());
    int on = 0, buttons = 0;
    for (size_t i = 0; i < rows.size(); ++i) {
      const auto& shot = drawn.page.rows[i];
      const int middle = rows[i].first + rows[i].second / 2;
      if (shot.hasSwitch) {
        // The track's left end, which the knob leaves uncovered when the switch is on.
        Rgb track = image.at(drawn.px(390 - ios::layoutMargin(390) - 51 + 5), middle);
        EXPECT_EQ(track.near(tint), shot.switchOn) << shot.key;
        on += shot.switchOn ? 1 : 0;
      }
      if (shot.cellClass == "PSTableCell" && shot.key.empty()) {
        EXPECT_GT(countOf(image, 0, rows[i].first, image.width, rows[i].first + rows[i].second, tint), 30) << i;
        ++buttons;
      }
    }
    EXPECT_EQ(on, 4);
    EXPECT_EQ(buttons, 2);
  });
}

TEST(PanePicture, LabelsShowTheFontSizeTheScreenWidthGivesThem) {
  // "Enabled", the first row's title, at 14, 18 and 17 points.
  TempDir dir;
  int widths[3] = {};
  const double screens[3] = {320, 390, 430};
  for (int i = 0; i < 3; ++i) {
    Drawn drawn = drawnElsewhere(dir, screens[i], 2);
    ASSERT_FALSE(drawn.rows().empty());
    widths[i] = titleInkWidth(drawn.image, drawn.rows()[0]);
  }
  EXPECT_NEAR(static_cast<double>(widths[0]) / widths[1], 14.0 / 18.0, 0.03);
  EXPECT_NEAR(static_cast<double>(widths[2]) / widths[1], 17.0 / 18.0, 0.03);
  EXPECT_GT(widths[1], widths[2]);
}

TEST(PanePicture, TheSamePageGivesTheSameBytesAndABadPathAClearError) {
  inFreshProcess([] {
    SettingsDevice device;
    auto pane = device.open();
    ASSERT_NE(pane, nullptr);
    TempDir dir;
    std::string error;
    ASSERT_TRUE(sim::pictures::drawPanePicture(*pane, 3, (dir / "a.png").string(), &error)) << error;
    ASSERT_TRUE(sim::pictures::drawPanePicture(*pane, 3, (dir / "b.png").string(), &error)) << error;
    EXPECT_EQ(pictures_testing::fileBytes((dir / "a.png").string()), pictures_testing::fileBytes((dir / "b.png").string()));

    std::string bad = (dir / "no/such/folder/pane.png").string();
    EXPECT_FALSE(sim::pictures::drawPanePicture(*pane, 2, bad, &error));
    EXPECT_NE(error.find("cannot write " + bad), std::string::npos) << error;
  });
}
