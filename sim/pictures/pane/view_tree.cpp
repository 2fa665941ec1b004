// Drawing a view and its subviews as they are set up: frames, background colours, clipping, images in
// their content mode, and labels.
#include <algorithm>

#include "pane/ios_look.h"
#include "pane/pane_parts.h"

namespace sim::pictures {
namespace {

// UIViewContentMode.
enum ContentMode : long {
  ScaleToFill = 0, ScaleAspectFit = 1, ScaleAspectFill = 2, Redraw = 3, Center = 4, Top = 5, Bottom = 6,
  Left = 7, Right = 8, TopLeft = 9, TopRight = 10, BottomLeft = 11, BottomRight = 12,
};

// The image's pixels as a cairo surface (premultiplied ARGB); the caller destroys it.
cairo_surface_t* surfaceOf(const host::uikit::Bitmap& bitmap) {
  cairo_surface_t* surface =
      cairo_image_surface_create(CAIRO_FORMAT_ARGB32, static_cast<int>(bitmap.width), static_cast<int>(bitmap.height));
  unsigned char* data = cairo_image_surface_get_data(surface);
  const int stride = cairo_image_surface_get_stride(surface);
  for (unsigned y = 0; y < bitmap.height; ++y) {
    auto* row = reinterpret_cast<std::uint32_t*>(data + static_cast<size_t>(y) * stride);
    const unsigned char* in = bitmap.rgba.data() + static_cast<size_t>(y) * bitmap.width * 4;
    for (unsigned x = 0; x < bitmap.width; ++x, in += 4) {
      unsigned a = in[3];
      auto premultiply = [a](unsigned c) { return (c * a + 127) / 255; };
      row[x] = (a << 24) | (premultiply(in[0]) << 16) | (premultiply(in[1]) << 8) | premultiply(in[2]);
    }
  }
  cairo_surface_mark_dirty(surface);
  return surface;
}

// Where the image goes in a view of `box` size for the content mode: its rectangle in view points.
CGRect placeImage(CGSize image, CGSize box, long mode) {
  double w = image.width, h = image.height;
  if (mode == ScaleToFill || mode == Redraw) return CGRectMake(0, 0, box.width, box.height);
  if (mode == ScaleAspectFit || mode == ScaleAspectFill) {
    double sx = box.width / w, sy = box.height / h;
    double s = mode == ScaleAspectFit ? std::min(sx, sy) : std::max(sx, sy);
    w *= s;
    h *= s;
    return CGRectMake((box.width - w) / 2, (box.height - h) / 2, w, h);
  }
  double x = (box.width - w) / 2, y = (box.height - h) / 2;
  if (mode == Left || mode == TopLeft || mode == BottomLeft) x = 0;
  if (mode == Right || mode == TopRight || mode == BottomRight) x = box.width - w;
  if (mode == Top || mode == TopLeft || mode == TopRight) y = 0;
  if (mode == Bottom || mode == BottomLeft || mode == BottomRight) y = box.height - h;
  return CGRectMake(x, y, w, h);
}

void drawImage(const Canvas& canvas, const ViewModel& view, double x, double y) {
  const host::uikit::Bitmap& bitmap = *view.image;
  if (bitmap.width == 0 || bitmap.height == 0 || view.imageSize.width <= 0 || view.imageSize.height <= 0) return;
  CGRect place = placeImage(view.imageSize, view.frame.size, view.contentMode);
  cairo_t* cr = canvas.cr();
  cairo_surface_t* surface = surfaceOf(bitmap);
  cairo_save(cr);
  cairo_translate(cr, x + place.origin.x, y + place.origin.y);
  cairo_scale(cr, place.size.width / bitmap.width, place.size.height / bitmap.height);
  cairo_set_source_surface(cr, surface, 0, 0);
  cairo_pattern_set_filter(cairo_get_source(cr), CAIRO_FILTER_GOOD);
  cairo_pattern_set_extend(cairo_get_source(cr), CAIRO_EXTEND_PAD);
  cairo_rectangle(cr, 0, 0, bitmap.width, bitmap.height);
  cairo_fill(cr);
  cairo_restore(cr);
  cairo_surface_destroy(surface);
}

}  // namespace

void drawViewTree(const Canvas& canvas, const ViewModel& view, double x, double y) {
  if (view.hidden) return;
  x += view.frame.origin.x;
  y += view.frame.origin.y;
  cairo_t* cr = canvas.cr();
  cairo_save(cr);
  if (view.clips) {
    cairo_rectangle(cr, x, y, view.frame.size.width, view.frame.size.height);
    cairo_clip(cr);
  }
  if (view.background) canvas.fillRect(x, y, view.frame.size.width, view.frame.size.height, *view.background);
  if (view.isImageView && view.image != nullptr) drawImage(canvas, view, x, y);
  if (view.label && !view.label->text.empty()) {
    const LabelModel& label = *view.label;
    TextStyle style{label.pointSize, label.bold ? Weight::Bold : Weight::Regular, label.colour.value_or(ios::kLabel),
                    view.frame.size.width, false, Align::Left};
    TextSize size = canvas.measure(label.text, style);
    canvas.drawText(label.text, x, y + (view.frame.size.height - size.height) / 2, style);
  }
  for (const ViewModel& subview : view.subviews) drawViewTree(canvas, subview, x, y);
  cairo_restore(cr);
}

}  // namespace sim::pictures
