#include "canvas/canvas.h"

#include <fontconfig/fontconfig.h>
#include <pango/pangocairo.h>
#include <pango/pangofc-fontmap.h>
#include <unistd.h>

#include <cmath>

namespace sim::pictures {
namespace {

// The only fonts a picture uses (Debian's fonts-dejavu-core).
constexpr const char* kFontFiles[] = {
    "/usr/share/fonts/truetype/dejavu/DejaVuSans.ttf",
    "/usr/share/fonts/truetype/dejavu/DejaVuSans-Bold.ttf",
};
// cairo's limit for an image surface's side.
constexpr double kMaxPixels = 32767;

// A font map that sees the fonts above and nothing else, whatever the host's fontconfig says.
PangoFontMap* fixedFontMap(std::string* error) {
  FcConfig* config = FcConfigCreate();
  for (const char* file : kFontFiles) {
    if (access(file, R_OK) != 0 || !FcConfigAppFontAddFile(config, reinterpret_cast<const FcChar8*>(file))) {
      FcConfigDestroy(config);
      *error = std::string("the font ") + file + " is missing (Debian's fonts-dejavu-core installs it)";
      return nullptr;
    }
  }
  PangoFontMap* map = pango_cairo_font_map_new_for_font_type(CAIRO_FONT_TYPE_FT);
  pango_fc_font_map_set_config(PANGO_FC_FONT_MAP(map), config);  // takes its own reference
  FcConfigDestroy(config);
  return map;
}

}  // namespace

std::unique_ptr<Canvas> Canvas::create(double width, double height, double scale, const Colour& background,
                                       std::string* error) {
  double pixelsWide = std::ceil(width * scale), pixelsHigh = std::ceil(height * scale);
  if (!(pixelsWide >= 1 && pixelsHigh >= 1 && pixelsWide <= kMaxPixels && pixelsHigh <= kMaxPixels)) {
    *error = "a picture of " + std::to_string(static_cast<long>(pixelsWide)) + "x" +
             std::to_string(static_cast<long>(pixelsHigh)) + " pixels cannot be drawn (at most " +
             std::to_string(static_cast<long>(kMaxPixels)) + " a side)";
    return nullptr;
  }
  std::unique_ptr<Canvas> canvas(new Canvas);
  canvas->width_ = width;
  canvas->height_ = height;
  canvas->scale_ = scale;
  canvas->surface_ = cairo_image_surface_create(CAIRO_FORMAT_ARGB32, static_cast<int>(pixelsWide),
                                                static_cast<int>(pixelsHigh));
  if (cairo_surface_status(canvas->surface_) != CAIRO_STATUS_SUCCESS) {
    *error = std::string("cannot make the picture: ") + cairo_status_to_string(cairo_surface_status(canvas->surface_));
    return nullptr;
  }
  canvas->cr_ = cairo_create(canvas->surface_);
  cairo_scale(canvas->cr_, scale, scale);
  canvas->fonts_ = fixedFontMap(error);
  if (canvas->fonts_ == nullptr) return nullptr;
  canvas->context_ = pango_font_map_create_context(canvas->fonts_);
  cairo_font_options_t* options = cairo_font_options_create();
  cairo_font_options_set_antialias(options, CAIRO_ANTIALIAS_GRAY);
  cairo_font_options_set_hint_style(options, CAIRO_HINT_STYLE_NONE);
  cairo_font_options_set_hint_metrics(options, CAIRO_HINT_METRICS_OFF);
  pango_cairo_context_set_font_options(canvas->context_, options);
  cairo_font_options_destroy(options);
  pango_context_set_round_glyph_positions(canvas->context_, FALSE);
  pango_cairo_update_context(canvas->cr_, canvas->context_);

  cairo_save(canvas->cr_);
  cairo_set_operator(canvas->cr_, CAIRO_OPERATOR_SOURCE);
  canvas->fillRect(0, 0, width, height, background);
  cairo_restore(canvas->cr_);
  return canvas;
}

Canvas::~Canvas() {
  if (context_ != nullptr) g_object_unref(context_);
  if (fonts_ != nullptr) g_object_unref(fonts_);
  if (cr_ != nullptr) cairo_destroy(cr_);
  if (surface_ != nullptr) cairo_surface_destroy(surface_);
}

void Canvas::setColour(const Colour& c) const { cairo_set_source_rgba(cr_, c.red, c.green, c.blue, c.alpha); }

void Canvas::fillRect(double x, double y, double width, double height, const Colour& colour) const {
  setColour(colour);
  cairo_rectangle(cr_, x, y, width, height);
  cairo_fill(cr_);
}

void Canvas::roundedRect(double x, double y, double width, double height, double radius) const {
  radius = std::min(radius, std::min(width, height) / 2);
  cairo_new_sub_path(cr_);
  cairo_arc(cr_, x + width - radius, y + radius, radius, -M_PI / 2, 0);
  cairo_arc(cr_, x + width - radius, y + height - radius, radius, 0, M_PI / 2);
  cairo_arc(cr_, x + radius, y + height - radius, radius, M_PI / 2, M_PI);
  cairo_arc(cr_, x + radius, y + radius, radius, M_PI, 3 * M_PI / 2);
  cairo_close_path(cr_);
}

}  // namespace sim::pictures
