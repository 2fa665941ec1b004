// iOS's status bar, which no stand-in models: the time at the left, signal, Wi-Fi and a full battery
// at the right.
#include <cmath>

#include "pane/ios_look.h"
#include "pane/pane_parts.h"

namespace sim::pictures {

void drawStatusBar(const Canvas& canvas, double width) {
  const double height = ios::statusBarHeight(width);
  const double middle = height > 30 ? height / 2 + 3 : height / 2;
  cairo_t* cr = canvas.cr();
  TextStyle time{ios::kStatusTimeSize, Weight::Bold, ios::kLabel, -1, false, Align::Centre};
  TextSize size = canvas.measure("9:41", time);
  canvas.drawText("9:41", height > 30 ? 54 : 30, middle - size.height / 2, time);

  // Battery, then Wi-Fi, then signal, from the right edge in.
  double right = width - (height > 30 ? 26 : 8);
  canvas.setColour(rgb(0, 0, 0, 0.35));
  canvas.roundedRect(right - 25, middle - 6, 24, 12, 3.5);
  cairo_set_line_width(cr, 1);
  cairo_stroke(cr);
  canvas.setColour(ios::kLabel);
  canvas.roundedRect(right - 23, middle - 4, 20, 8, 2);
  cairo_fill(cr);
  canvas.setColour(rgb(0, 0, 0, 0.4));
  canvas.roundedRect(right, middle - 2, 1.5, 4, 0.75);
  cairo_fill(cr);

  double wifiX = right - 25 - 5 - 8;
  canvas.setColour(ios::kLabel);
  cairo_set_line_width(cr, 1.6);
  for (int arc = 0; arc < 3; ++arc) {
    cairo_new_sub_path(cr);
    cairo_arc(cr, wifiX, middle + 4.5, 3 + arc * 3.3, -M_PI * 3 / 4, -M_PI / 4);
    cairo_stroke(cr);
  }
  cairo_arc(cr, wifiX, middle + 4.5, 1.3, 0, 2 * M_PI);
  cairo_fill(cr);

  double signalRight = wifiX - 8 - 5;
  for (int bar = 0; bar < 4; ++bar) {
    double h = 3.5 + bar * 2.2;
    canvas.roundedRect(signalRight - 17 + bar * 4.6, middle + 5 - h, 3, h, 0.8);
    cairo_fill(cr);
  }
}

}  // namespace sim::pictures
