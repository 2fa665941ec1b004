// Composes the page's picture: measures every part, then draws top to bottom with the bars on top.
#include "pane/pane_picture.h"

#include <cmath>

#include "pane/ios_look.h"
#include "pane/pane_parts.h"

namespace sim::pictures {
namespace {

// The page's height in points below the bars, and every section's header and footer heights.
struct PageLayout {
  double height = 0;
  std::vector<std::pair<double, double>> sectionChrome;
};

PageLayout layOut(const Canvas& measurer, const PaneModel& pane, const SectionBounds& bounds) {
  PageLayout layout;
  if (pane.header) layout.height += pane.header->frame.size.height;
  for (const SectionModel& section : pane.sections) {
    double header = sectionHeaderHeight(section), footer = sectionFooterHeight(measurer, section, bounds);
    layout.sectionChrome.emplace_back(header, footer);
    layout.height += header + footer;
    for (const RowModel& row : section.rows) layout.height += row.height;
  }
  layout.height += ios::kBottomInset;
  return layout;
}

}  // namespace

bool drawPaneModel(const PaneModel& pane, double scale, const std::string& path, std::string* error,
                   PanePictureInfo* info) {
  const Colour background = pane.tableBackground.value_or(ios::kGroupedBackground);
  const SectionBounds bounds = sectionBounds(pane);
  auto measurer = Canvas::create(1, 1, scale, background, error);
  if (!measurer) return false;
  const PageLayout layout = layOut(*measurer, pane, bounds);
  measurer.reset();

  const double barsHeight = ios::statusBarHeight(pane.width) + ios::kNavigationBarHeight;
  auto canvas = Canvas::create(pane.width, std::ceil(barsHeight + layout.height), scale, background, error);
  if (!canvas) return false;

  double y = barsHeight;
  if (pane.header) {
    drawViewTree(*canvas, *pane.header, 0, y);
    y += pane.header->frame.size.height;
  }
  int rows = 0;
  for (size_t s = 0; s < pane.sections.size(); ++s) {
    const SectionModel& section = pane.sections[s];
    drawSectionHeader(*canvas, section, bounds, y);
    y += layout.sectionChrome[s].first;
    for (size_t r = 0; r < section.rows.size(); ++r) {
      drawRow(*canvas, section.rows[r], bounds, y, r == 0, r + 1 == section.rows.size());
      y += section.rows[r].height;
      ++rows;
    }
    drawSectionFooter(*canvas, section, bounds, y);
    y += layout.sectionChrome[s].second;
  }

  canvas->fillRect(0, 0, pane.width, barsHeight, ios::kBarBackground);
  drawStatusBar(*canvas, pane.width);
  drawNavigationBar(*canvas, pane.bar, ios::statusBarHeight(pane.width), pane.width);

  if (!canvas->writePng(path, error)) return false;
  if (info != nullptr) {
    info->widthPixels = static_cast<int>(std::ceil(canvas->width() * scale));
    info->heightPixels = static_cast<int>(std::ceil(canvas->height() * scale));
    info->rows = rows;
  }
  return true;
}

bool drawPanePicture(host::settings::Pane& pane, double scale, const std::string& path, std::string* error,
                     PanePictureInfo* info) {
  pane.show();  // lays the page out at the screen's size
  return drawPaneModel(readPane(pane.controller(), pane.navigationController()), scale, path, error, info);
}

}  // namespace sim::pictures
