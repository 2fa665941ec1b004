// The timeline's pages: a header with the run's name, the page's window and a legend, then its strips.
#include <cmath>

#include "timeline/timeline_parts.h"

namespace sim::timeline {
namespace {

using pictures::Align;
using pictures::TextStyle;
using pictures::Weight;

constexpr double kHeaderHeight = 52;
constexpr Colour kInk = rgb(40, 44, 52);
constexpr Colour kFaint = rgb(120, 126, 138);

std::string seconds(std::int64_t ms) {
  char text[32];
  std::snprintf(text, sizeof text, "%lld:%02lld", static_cast<long long>(ms / 60000), static_cast<long long>(ms / 1000 % 60));
  return text;
}

// One legend entry: a sample, then its meaning; answers where the next one goes.
double legendEntry(const Canvas& canvas, double x, double y, int kind, const std::string& text) {
  cairo_t* cr = canvas.cr();
  const Colour sound = laneColour("SpringBoard");
  switch (kind) {
    case 0:  // a sound
      canvas.setColour(sound);
      canvas.roundedRect(x, y + 1, 26, 12, 3);
      cairo_fill(cr);
      break;
    case 1:  // cut short
      canvas.setColour(sound);
      canvas.roundedRect(x, y + 1, 16, 12, 3);
      cairo_fill(cr);
      canvas.fillRect(x + 13, y - 1, 3, 16, rgb(215, 38, 38));
      canvas.setColour({sound.red, sound.green, sound.blue, 0.55});
      cairo_set_line_width(cr, 1);
      cairo_rectangle(cr, x + 16.5, y + 1.5, 10, 11);
      cairo_stroke(cr);
      break;
    case 2:  // silent play
      canvas.setColour(kFaint);
      cairo_set_line_width(cr, 1.5);
      cairo_new_sub_path(cr);
      cairo_arc(cr, x + 6, y + 7, 4, 0, 2 * M_PI);
      cairo_stroke(cr);
      break;
    case 3:  // failed create
      canvas.setColour(rgb(215, 38, 38));
      cairo_set_line_width(cr, 2);
      cairo_move_to(cr, x + 2, y + 3);
      cairo_line_to(cr, x + 10, y + 11);
      cairo_move_to(cr, x + 10, y + 3);
      cairo_line_to(cr, x + 2, y + 11);
      cairo_stroke(cr);
      break;
    case 4:  // respring
      canvas.fillRect(x, y - 1, 26, 16, rgb(255, 149, 0, 0.13));
      canvas.fillRect(x, y - 1, 2, 16, rgb(255, 149, 0));
      break;
    case 5:  // a process running, started and ended
      canvas.fillRect(x, y - 1, 26, 16, {sound.red, sound.green, sound.blue, 0.07});
      canvas.setColour(sound);
      cairo_move_to(cr, x, y + 2);
      cairo_line_to(cr, x + 7, y + 7);
      cairo_line_to(cr, x, y + 12);
      cairo_close_path(cr);
      cairo_fill(cr);
      canvas.fillRect(x + 19, y + 3, 7, 8, sound);
      break;
  }
  double width = canvas.drawText(text, x + 32, y, {kLabelSize, Weight::Regular, kInk}).width;
  return x + 32 + width + 22;
}

void drawHeader(const Canvas& canvas, const std::string& title, int page, int pages, std::int64_t from, std::int64_t to) {
  canvas.drawText("ravelo-sim timeline: " + title, kPageMargin, 10, {15, Weight::Bold, kInk, kPageWidth / 2});
  std::string where = "page " + std::to_string(page + 1) + " of " + std::to_string(pages) + ", " + seconds(from) +
                      " to " + seconds(to) + " on the scenario clock";
  canvas.drawText(where, kPageWidth - kPageMargin, 12, {kLabelSize, Weight::Regular, kFaint, -1, false, Align::Right});
  double x = kGutter;
  const double y = 32;
  x = legendEntry(canvas, x, y, 0, "a sound, from its start to its end");
  x = legendEntry(canvas, x, y, 1, "cut short (the rest it would have played)");
  x = legendEntry(canvas, x, y, 2, "a play that made no sound");
  x = legendEntry(canvas, x, y, 3, "a sound that could not be created");
  x = legendEntry(canvas, x, y, 4, "a respring");
  legendEntry(canvas, x, y, 5, "a process running, its start and end");
}

}  // namespace

std::string pagePath(const std::string& path, int index) {
  if (index == 0) return path;
  std::string suffix = "-" + std::to_string(index + 1);
  size_t slash = path.find_last_of('/');
  size_t dot = path.find_last_of('.');
  if (dot == std::string::npos || (slash != std::string::npos && dot < slash)) return path + suffix;
  return path.substr(0, dot) + suffix + path.substr(dot);
}

bool drawTimeline(const RunLog& log, const TimelineSource& source, const std::string& path, TimelineResult* result,
                  std::string* error) {
  const RunExtents run = measureRun(log, source);
  const std::int64_t strips = std::max<std::int64_t>(1, (run.endMs + kStripMs - 1) / kStripMs);
  const int pages = static_cast<int>((strips + kStripsPerPage - 1) / kStripsPerPage);
  auto measurer = Canvas::create(1, 1, 1, rgb(255, 255, 255), error);
  if (!measurer) return false;

  for (int page = 0; page < pages; ++page) {
    std::vector<StripContent> content;
    double height = kHeaderHeight + kPageMargin;
    for (std::int64_t s = page * kStripsPerPage; s < std::min<std::int64_t>(strips, (page + 1) * kStripsPerPage); ++s) {
      content.push_back(stripContent(log, run, s * kStripMs, *measurer));
      content.back().waveform = !source.wavPath.empty();
      height += content.back().height() + kStripGap;
    }
    auto canvas = Canvas::create(kPageWidth, std::ceil(height), 1, rgb(255, 255, 255), error);
    if (!canvas) return false;
    drawHeader(*canvas, source.title, page, pages, content.front().from, content.back().to);
    double y = kHeaderHeight + kStripGap / 2;
    for (const StripContent& strip : content) {
      drawStrip(*canvas, strip, y, source.wavPath, page, result != nullptr ? &result->bars : nullptr);
      y += strip.height() + kStripGap;
    }
    std::string file = pagePath(path, page);
    if (!canvas->writePng(file, error)) return false;
    if (result != nullptr) result->pages.push_back(file);
  }
  return true;
}

}  // namespace sim::timeline
