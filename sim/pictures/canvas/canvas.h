// A picture drawn with cairo, `scale` pixels to the point, its text set by pango in fixed fonts, and
// written as a PNG. Pictures are reproducible: the fonts are DejaVu Sans loaded from its own files
// (the host's font settings and other fonts play no part), hinting is off, and the PNG carries no time
// or text chunks, so the same drawing gives the same bytes.
#pragma once

#include <cairo.h>

#include <memory>
#include <string>

typedef struct _PangoContext PangoContext;
typedef struct _PangoFontMap PangoFontMap;

namespace sim::pictures {

struct Colour {
  double red = 0, green = 0, blue = 0, alpha = 1;
  bool operator==(const Colour&) const = default;
};

// A colour from 0-255 components.
constexpr Colour rgb(int red, int green, int blue, double alpha = 1.0) {
  return {red / 255.0, green / 255.0, blue / 255.0, alpha};
}

enum class Weight { Regular, Bold };
enum class Align { Left, Centre, Right };

struct TextStyle {
  double size = 17;                // points
  Weight weight = Weight::Regular;
  Colour colour;
  double width = -1;               // the text's box: wrapped or cut to it; negative: one unbounded line
  bool wrap = false;               // within `width`: wrap into lines (else one line ending in "…")
  Align align = Align::Left;       // within `width`; without one, x is the left edge, centre or right edge
};

struct TextSize {
  double width = 0, height = 0;    // the logical extents, in points
};

class Canvas {
 public:
  // A canvas of width x height points at `scale` pixels per point, filled with `background`. Null, with
  // *error set, when the picture would be too large or a font file is missing.
  static std::unique_ptr<Canvas> create(double width, double height, double scale, const Colour& background,
                                        std::string* error);
  ~Canvas();
  Canvas(const Canvas&) = delete;
  Canvas& operator=(const Canvas&) = delete;

  // Drawing in points; the scale is already applied.
  cairo_t* cr() const { return cr_; }
  double width() const { return width_; }
  double height() const { return height_; }
  double scale() const { return scale_; }
  // One device pixel, in points: the width of a hairline.
  double pixel() const { return 1.0 / scale_; }

  void setColour(const Colour& colour) const;
  void fillRect(double x, double y, double width, double height, const Colour& colour) const;
  void roundedRect(double x, double y, double width, double height, double radius) const;  // a path

  TextSize measure(const std::string& text, const TextStyle& style) const;
  // Draws the text with the top of its first line at y; answers its size.
  TextSize drawText(const std::string& text, double x, double y, const TextStyle& style) const;

  // Writes the picture as an 8-bit RGB PNG; false with *error set ("cannot write X: reason").
  bool writePng(const std::string& path, std::string* error) const;

 private:
  Canvas() = default;
  cairo_surface_t* surface_ = nullptr;
  cairo_t* cr_ = nullptr;
  PangoFontMap* fonts_ = nullptr;
  PangoContext* context_ = nullptr;
  double width_ = 0, height_ = 0, scale_ = 1;
};

}  // namespace sim::pictures
