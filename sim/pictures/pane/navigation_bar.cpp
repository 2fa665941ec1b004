// The navigation bar as iOS draws it: a back button to the controller below (chevron and title), the
// title in the middle, the right button's title at the right, the buttons in their tint colours.
#include <algorithm>

#include "pane/ios_look.h"
#include "pane/pane_parts.h"

namespace sim::pictures {

void drawNavigationBar(const Canvas& canvas, const BarModel& bar, double y, double width) {
  cairo_t* cr = canvas.cr();
  const double height = ios::kNavigationBarHeight;
  const double middle = y + height / 2;
  const double margin = ios::layoutMargin(width);
  canvas.fillRect(0, y + height - canvas.pixel(), width, canvas.pixel(), ios::kBarHairline);

  double leftEnd = 0;
  if (!bar.backTitle.empty()) {
    canvas.setColour(bar.tint);
    cairo_set_line_width(cr, 2.6);
    cairo_set_line_cap(cr, CAIRO_LINE_CAP_ROUND);
    cairo_set_line_join(cr, CAIRO_LINE_JOIN_ROUND);
    cairo_move_to(cr, 19, middle - 9.5);
    cairo_line_to(cr, 10, middle);
    cairo_line_to(cr, 19, middle + 9.5);
    cairo_stroke(cr);
    TextStyle back{ios::kBarButtonSize, Weight::Regular, bar.tint, width / 3, false, Align::Left};
    TextSize size = canvas.measure(bar.backTitle, back);
    canvas.drawText(bar.backTitle, 26, middle - size.height / 2, back);
    leftEnd = 26 + size.width;
  }
  double rightStart = width;
  if (!bar.rightTitle.empty()) {
    TextStyle right{ios::kBarButtonSize, Weight::Regular, bar.rightTint, -1, false, Align::Right};
    TextSize size = canvas.measure(bar.rightTitle, right);
    canvas.drawText(bar.rightTitle, width - margin, middle - size.height / 2, right);
    rightStart = width - margin - size.width;
  }
  // The title is centred on the bar and kept clear of both buttons.
  double room = 2 * std::min(width / 2 - leftEnd, rightStart - width / 2) - 16;
  if (!bar.title.empty() && room > 0) {
    TextStyle title{ios::kBarTitleSize, Weight::Bold, ios::kLabel, room, false, Align::Centre};
    TextSize size = canvas.measure(bar.title, title);
    canvas.drawText(bar.title, width / 2 - room / 2, middle - size.height / 2, title);
  }
}

}  // namespace sim::pictures
