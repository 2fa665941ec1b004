// A grouped table's section chrome as iOS draws it: the header's title in small capitals above the
// rows, the footer's text wrapped below them.
#include <glib.h>

#include <cmath>

#include "pane/ios_look.h"
#include "pane/pane_parts.h"

namespace sim::pictures {
namespace {

TextStyle sectionText(const SectionBounds& bounds) {
  double width = bounds.right - bounds.left - 2 * bounds.margin;
  return {ios::kSectionTitleSize, Weight::Regular, ios::kSecondaryLabel, width, true, Align::Left};
}

std::string upper(const std::string& text) {
  gchar* up = g_utf8_strup(text.c_str(), static_cast<gssize>(text.size()));
  std::string result = up;
  g_free(up);
  return result;
}

}  // namespace

SectionBounds sectionBounds(const PaneModel& pane) {
  SectionBounds bounds;
  bounds.margin = ios::layoutMargin(pane.width);
  bounds.inset = pane.tableStyle == 2;
  bounds.left = bounds.inset ? ios::kInsetGroupedMargin : 0;
  bounds.right = pane.width - bounds.left;
  return bounds;
}

double sectionHeaderHeight(const SectionModel& section) {
  return section.header.empty() ? ios::kHeaderWithoutTitle : ios::kHeaderWithTitle;
}

double sectionFooterHeight(const Canvas& canvas, const SectionModel& section, const SectionBounds& bounds) {
  if (section.footer.empty()) return ios::kGapWithoutFooter;
  TextSize size = canvas.measure(section.footer, sectionText(bounds));
  return std::ceil(ios::kFooterTop + size.height + ios::kFooterBottom);
}

void drawSectionHeader(const Canvas& canvas, const SectionModel& section, const SectionBounds& bounds, double y) {
  if (section.header.empty()) return;
  std::string title = upper(section.header);
  TextStyle style = sectionText(bounds);
  TextSize size = canvas.measure(title, style);
  canvas.drawText(title, bounds.left + bounds.margin, y + ios::kHeaderWithTitle - 6 - size.height, style);
}

void drawSectionFooter(const Canvas& canvas, const SectionModel& section, const SectionBounds& bounds, double y) {
  if (section.footer.empty()) return;
  canvas.drawText(section.footer, bounds.left + bounds.margin, y + ios::kFooterTop, sectionText(bounds));
}

}  // namespace sim::pictures
