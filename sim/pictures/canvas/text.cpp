// Text on a canvas: one pango layout per call, in the canvas's fixed fonts.
#include <pango/pangocairo.h>

#include "canvas/canvas.h"

namespace sim::pictures {
namespace {

struct Layout {
  PangoLayout* layout;
  ~Layout() { g_object_unref(layout); }
};

PangoLayout* makeLayout(PangoContext* context, const std::string& text, const TextStyle& style) {
  PangoLayout* layout = pango_layout_new(context);
  PangoFontDescription* font = pango_font_description_new();
  pango_font_description_set_family(font, "DejaVu Sans");
  pango_font_description_set_weight(font, style.weight == Weight::Bold ? PANGO_WEIGHT_BOLD : PANGO_WEIGHT_NORMAL);
  pango_font_description_set_absolute_size(font, style.size * PANGO_SCALE);
  pango_layout_set_font_description(layout, font);
  pango_font_description_free(font);
  if (style.width >= 0) {
    pango_layout_set_width(layout, static_cast<int>(style.width * PANGO_SCALE));
    if (style.wrap) {
      pango_layout_set_wrap(layout, PANGO_WRAP_WORD_CHAR);
    } else {
      pango_layout_set_ellipsize(layout, PANGO_ELLIPSIZE_END);
    }
    pango_layout_set_alignment(layout, style.align == Align::Right    ? PANGO_ALIGN_RIGHT
                                       : style.align == Align::Centre ? PANGO_ALIGN_CENTER
                                                                      : PANGO_ALIGN_LEFT);
  }
  pango_layout_set_text(layout, text.c_str(), static_cast<int>(text.size()));
  return layout;
}

TextSize sizeOf(PangoLayout* layout) {
  PangoRectangle logical;
  pango_layout_get_extents(layout, nullptr, &logical);
  return {static_cast<double>(logical.width) / PANGO_SCALE, static_cast<double>(logical.height) / PANGO_SCALE};
}

}  // namespace

TextSize Canvas::measure(const std::string& text, const TextStyle& style) const {
  Layout l{makeLayout(context_, text, style)};
  return sizeOf(l.layout);
}

TextSize Canvas::drawText(const std::string& text, double x, double y, const TextStyle& style) const {
  Layout l{makeLayout(context_, text, style)};
  TextSize size = sizeOf(l.layout);
  if (style.width < 0 && style.align == Align::Right) x -= size.width;
  if (style.width < 0 && style.align == Align::Centre) x -= size.width / 2;
  cairo_save(cr_);
  setColour(style.colour);
  cairo_move_to(cr_, x, y);
  pango_cairo_show_layout(cr_, l.layout);
  cairo_new_path(cr_);  // the move above is not part of the saved state
  cairo_restore(cr_);
  return size;
}

}  // namespace sim::pictures
