// Controls and accessories as iOS draws them: the switch (track in its on colour or grey, white knob),
// the slider, the disclosure chevron and the checkmark.
#include <cmath>

#include "pane/ios_look.h"
#include "pane/pane_parts.h"

namespace sim::pictures {

void drawSwitch(const Canvas& canvas, double x, double y, double width, double height, bool on,
                const Colour& onColour) {
  cairo_t* cr = canvas.cr();
  canvas.setColour(on ? onColour : ios::kSwitchOffTrack);
  canvas.roundedRect(x, y, width, height, height / 2);
  cairo_fill(cr);
  const double knob = height - 4;
  const double cx = on ? x + width - 2 - knob / 2 : x + 2 + knob / 2;
  const double cy = y + height / 2;
  // The knob's soft shadow, then the knob.
  canvas.setColour(rgb(0, 0, 0, 0.06));
  cairo_arc(cr, cx, cy + 1.5, knob / 2 + 0.8, 0, 2 * M_PI);
  cairo_fill(cr);
  canvas.setColour(rgb(0, 0, 0, 0.1));
  cairo_arc(cr, cx, cy + 0.8, knob / 2 + 0.2, 0, 2 * M_PI);
  cairo_fill(cr);
  canvas.setColour(ios::kWhite);
  cairo_arc(cr, cx, cy, knob / 2, 0, 2 * M_PI);
  cairo_fill(cr);
}

void drawSlider(const Canvas& canvas, double x, double y, double width, double height, double fraction,
                const Colour& tint) {
  cairo_t* cr = canvas.cr();
  const double middle = y + height / 2;
  fraction = std::fmin(1, std::fmax(0, fraction));
  canvas.setColour(ios::kSliderTrack);
  canvas.roundedRect(x, middle - 2, width, 4, 2);
  cairo_fill(cr);
  canvas.setColour(tint);
  canvas.roundedRect(x, middle - 2, width * fraction, 4, 2);
  cairo_fill(cr);
  const double cx = x + width * fraction;
  canvas.setColour(rgb(0, 0, 0, 0.12));
  cairo_arc(cr, cx, middle + 1, 14.5, 0, 2 * M_PI);
  cairo_fill(cr);
  canvas.setColour(ios::kWhite);
  cairo_arc(cr, cx, middle, 14, 0, 2 * M_PI);
  cairo_fill(cr);
}

void drawChevron(const Canvas& canvas, double x, double y) {
  cairo_t* cr = canvas.cr();
  canvas.setColour(ios::kTertiaryLabel);
  cairo_set_line_width(cr, 2.2);
  cairo_set_line_cap(cr, CAIRO_LINE_CAP_ROUND);
  cairo_set_line_join(cr, CAIRO_LINE_JOIN_ROUND);
  cairo_move_to(cr, x + 1.5, y + 1.5);
  cairo_line_to(cr, x + ios::kChevronWidth - 1.5, y + ios::kChevronHeight / 2);
  cairo_line_to(cr, x + 1.5, y + ios::kChevronHeight - 1.5);
  cairo_stroke(cr);
}

void drawCheckmark(const Canvas& canvas, double x, double y, const Colour& tint) {
  cairo_t* cr = canvas.cr();
  canvas.setColour(tint);
  cairo_set_line_width(cr, 2.4);
  cairo_set_line_cap(cr, CAIRO_LINE_CAP_ROUND);
  cairo_set_line_join(cr, CAIRO_LINE_JOIN_ROUND);
  cairo_move_to(cr, x + 1, y + 7);
  cairo_line_to(cr, x + 5.5, y + 11.5);
  cairo_line_to(cr, x + 14, y + 1);
  cairo_stroke(cr);
}

}  // namespace sim::pictures
