// Drawing one strip of the timeline: the ruler, notes and steps, the lanes with their markers and
// sound bars, the respring bands across them, and the waveform band.
#include <algorithm>
#include <cmath>

#include "timeline/timeline_parts.h"

namespace sim::timeline {
namespace {

using pictures::Align;
using pictures::TextStyle;
using pictures::Weight;

constexpr Colour kInk = rgb(40, 44, 52);
constexpr Colour kFaint = rgb(120, 126, 138);
constexpr Colour kGuide = rgb(0, 0, 0, 0.07);
constexpr Colour kRespring = rgb(255, 149, 0);
constexpr Colour kCut = rgb(215, 38, 38);
constexpr Colour kLaneShade = rgb(246, 247, 249);

TextStyle label(const Colour& colour, double width = -1, Weight weight = Weight::Regular) {
  return {kLabelSize, weight, colour, width, false, Align::Left};
}

double stripRight(const StripContent& strip) { return xAt(strip, strip.to); }

void drawRuler(const Canvas& canvas, const StripContent& strip, double y) {
  cairo_t* cr = canvas.cr();
  canvas.fillRect(kGutter, y + kRulerHeight - 1, stripRight(strip) - kGutter, 1, kFaint);
  for (std::int64_t ms = strip.from; ms <= strip.to; ms += 100) {
    double x = std::floor(xAt(strip, ms)) + 0.5;
    double tall = ms % 1000 == 0 ? 9 : ms % 500 == 0 ? 6 : 3;
    canvas.setColour(kFaint);
    cairo_set_line_width(cr, 1);
    cairo_move_to(cr, x, y + kRulerHeight - 1 - tall);
    cairo_line_to(cr, x, y + kRulerHeight - 1);
    cairo_stroke(cr);
    if (ms % 1000 == 0 && ms < strip.to)
      canvas.drawText(std::to_string(ms / 1000) + " s", x + 3, y + 1, label(kFaint));
  }
  canvas.drawText("time", kGutter - 10, y + 1, {kLabelSize, Weight::Regular, kFaint, -1, false, Align::Right});
}

void drawNotes(const Canvas& canvas, const StripContent& strip, double y) {
  cairo_t* cr = canvas.cr();
  for (size_t i = 0; i < strip.notes.size(); ++i) {
    double x = xAt(strip, strip.notes[i].first);
    double room = (i + 1 < strip.notes.size() ? xAt(strip, strip.notes[i + 1].first) : stripRight(strip)) - x - 14;
    canvas.setColour(kFaint);
    cairo_move_to(cr, x, y + 3);
    cairo_line_to(cr, x + 7, y + 6.5);
    cairo_line_to(cr, x, y + 10);
    cairo_close_path(cr);
    cairo_fill(cr);
    if (room > 20) canvas.drawText(strip.notes[i].second, x + 10, y + 1, label(kFaint, room));
  }
}

void drawSteps(const Canvas& canvas, const StripContent& strip, double y, double guideBottom) {
  cairo_t* cr = canvas.cr();
  for (const StepTick& tick : strip.steps) {
    double x = std::floor(xAt(strip, tick.at)) + 0.5;
    double rowY = y + tick.row * kStepRowHeight;
    canvas.setColour(kGuide);
    cairo_set_line_width(cr, 1);
    cairo_move_to(cr, x, rowY + kStepRowHeight);
    cairo_line_to(cr, x, guideBottom);
    cairo_stroke(cr);
    canvas.setColour(kInk);
    cairo_move_to(cr, x, y);
    cairo_line_to(cr, x, rowY + kStepRowHeight - 1);
    cairo_stroke(cr);
    canvas.drawText(tick.label, x + 3, rowY, label(kInk, kMostLabelWidth));
  }
  canvas.drawText("steps", kGutter - 10, y, {kLabelSize, Weight::Bold, kInk, -1, false, Align::Right});
}

void drawMarker(const Canvas& canvas, const Marker& marker, double x, double y, double room, const Colour& colour) {
  cairo_t* cr = canvas.cr();
  const double middle = y + kLaneMarkersHeight / 2;
  switch (marker.kind) {
    case Marker::Activity:
      canvas.fillRect(x - 0.75, y + 2, 1.5, 7, {colour.red, colour.green, colour.blue, 0.7});
      return;
    case Marker::Start:
      canvas.setColour(colour);
      cairo_move_to(cr, x, middle - 5);
      cairo_line_to(cr, x + 7, middle);
      cairo_line_to(cr, x, middle + 5);
      cairo_close_path(cr);
      cairo_fill(cr);
      return;
    case Marker::End:
      canvas.fillRect(x - 7, middle - 4, 7, 8, colour);
      return;
    case Marker::Silent:
      canvas.setColour(kFaint);
      cairo_set_line_width(cr, 1.5);
      cairo_new_sub_path(cr);
      cairo_arc(cr, x, middle, 4, 0, 2 * M_PI);
      cairo_stroke(cr);
      break;
    case Marker::FailedCreate:
    case Marker::Crash:
      canvas.setColour(kCut);
      cairo_set_line_width(cr, 2);
      cairo_move_to(cr, x - 4, middle - 4);
      cairo_line_to(cr, x + 4, middle + 4);
      cairo_move_to(cr, x + 4, middle - 4);
      cairo_line_to(cr, x - 4, middle + 4);
      cairo_stroke(cr);
      break;
  }
  if (room > 24 && !marker.label.empty())
    canvas.drawText(marker.label, x + 7, y + 1, label(marker.kind == Marker::Silent ? kFaint : kCut, room));
}

void drawBar(const Canvas& canvas, const StripContent& strip, const Bar& bar, const Colour& colour, double top,
             int page, std::vector<DrawnBar>* bars) {
  cairo_t* cr = canvas.cr();
  double x0 = xAt(strip, std::max(bar.start, strip.from));
  double x1 = xAt(strip, std::min(bar.end, strip.to));
  const Colour fill = bar.system ? Colour{colour.red * 0.5 + 0.45, colour.green * 0.5 + 0.45, colour.blue * 0.5 + 0.45, 1}
                                 : colour;
  if (bar.cut && bar.lengthKnown) {
    // Where it would have gone on: a dashed outline.
    double natural = xAt(strip, std::min(bar.naturalEnd, strip.to));
    if (natural > x1 + 1) {
      static const double dash[] = {3, 3};
      canvas.setColour({colour.red, colour.green, colour.blue, 0.55});
      cairo_set_dash(cr, dash, 2, 0);
      cairo_set_line_width(cr, 1);
      cairo_rectangle(cr, x1 + 0.5, top + 0.5, natural - x1 - 1, kBarHeight - 1);
      cairo_stroke(cr);
      cairo_set_dash(cr, nullptr, 0, 0);
    }
  }
  canvas.setColour(fill);
  canvas.roundedRect(x0, top, std::max(1.0, x1 - x0), kBarHeight, std::min(3.0, (x1 - x0) / 2));
  cairo_fill(cr);
  if (!bar.lengthKnown) {
    canvas.setColour(kInk);
    cairo_set_line_width(cr, 1);
    cairo_rectangle(cr, x0 + 0.5, top + 0.5, std::max(1.0, x1 - x0 - 1), kBarHeight - 1);
    cairo_stroke(cr);
  }
  if (bar.cut && bar.end <= strip.to) canvas.fillRect(std::max(x0, x1 - 3), top - 2, std::min(3.0, x1 - x0), kBarHeight + 4, kCut);

  std::string text = bar.label + (bar.cut ? " (cut short)" : "");
  if (bar.labelInside) {
    canvas.drawText(text, x0 + 4, top, label(bar.system ? kInk : rgb(255, 255, 255), x1 - x0 - 8));
  } else {
    double room = std::min(kMostLabelWidth, stripRight(strip) - x1 - 5);
    if (room > 10) canvas.drawText(text, x1 + 5, top, label(bar.cut ? kCut : kInk, room));
  }
  if (bars != nullptr) bars->push_back({page, x0, x1, top, top + kBarHeight, bar.cut && bar.end <= strip.to, bar.label});
}

void drawLane(const Canvas& canvas, const StripContent& strip, const LaneStrip& lane, double y, bool shaded, int page,
              std::vector<DrawnBar>* bars) {
  const Colour colour = laneColour(lane.name);
  const double height = lane.height();
  if (shaded) canvas.fillRect(kGutter, y, stripRight(strip) - kGutter, height, kLaneShade);
  for (auto [start, end] : lane.alive) {
    double x0 = xAt(strip, start), x1 = xAt(strip, end);
    canvas.fillRect(x0, y, x1 - x0, height, {colour.red, colour.green, colour.blue, 0.07});
    canvas.fillRect(x0, y + height - 2, x1 - x0, 2, {colour.red, colour.green, colour.blue, 0.35});
  }
  canvas.drawText(lane.name, kGutter - 10, y + kLanePadding, {12, Weight::Bold, colour, -1, false, Align::Right});

  const double markersY = y + kLanePadding;
  for (size_t i = 0; i < lane.markers.size(); ++i) {
    const Marker& marker = lane.markers[i];
    double x = xAt(strip, marker.at);
    double next = stripRight(strip);
    for (size_t j = i + 1; j < lane.markers.size(); ++j) {
      if (lane.markers[j].kind == Marker::Activity || lane.markers[j].kind == Marker::Start) continue;
      next = xAt(strip, lane.markers[j].at);
      break;
    }
    drawMarker(canvas, marker, x, markersY, std::min(kMostLabelWidth, next - x - 14), colour);
  }
  const double barsY = markersY + kLaneMarkersHeight;
  for (const Bar& bar : lane.bars)
    drawBar(canvas, strip, bar, colour, barsY + bar.row * kBarRowHeight + (kBarRowHeight - kBarHeight) / 2, page, bars);
}

}  // namespace

Colour laneColour(const std::string& process) {
  if (process == "SpringBoard") return rgb(40, 104, 214);
  if (process == "Settings") return rgb(142, 68, 173);
  if (process == "shell") return rgb(22, 140, 118);
  if (process == "backboardd") return rgb(196, 90, 20);
  if (process == "killall") return rgb(110, 118, 128);
  static const Colour others[] = {rgb(52, 120, 160), rgb(150, 110, 40), rgb(90, 120, 60)};
  size_t hash = 0;
  for (char c : process) hash = hash * 31 + static_cast<unsigned char>(c);
  return others[hash % 3];
}

void drawStrip(const Canvas& canvas, const StripContent& strip, double y, const std::string& wavPath, int page,
               std::vector<DrawnBar>* bars) {
  const double notesY = y + kRulerHeight;
  const double stepsY = notesY + kNotesHeight;
  const double lanesY = stepsY + kStepRows * kStepRowHeight;
  double lanesHeight = 0;
  for (const LaneStrip& lane : strip.lanes) lanesHeight += lane.height();
  const double bottom = lanesY + lanesHeight + (strip.waveform ? kWaveformHeight : 0);

  double laneY = lanesY;
  for (size_t i = 0; i < strip.lanes.size(); ++i) {
    drawLane(canvas, strip, strip.lanes[i], laneY, i % 2 == 1, page, bars);
    laneY += strip.lanes[i].height();
  }
  if (strip.waveform) {
    const double waveY = laneY + 4;
    canvas.drawText("audio", kGutter - 10, waveY, {12, Weight::Bold, kInk, -1, false, Align::Right});
    if (!drawWaveform(canvas, wavPath, strip.from, strip.to, waveY, kWaveformHeight - 8))
      canvas.drawText("the recording could not be read", kGutter + 4, waveY + 20, label(kCut));
  }
  for (auto [start, end] : strip.resprings) {
    double x0 = xAt(strip, start), x1 = xAt(strip, end);
    canvas.fillRect(x0, stepsY, x1 - x0, bottom - stepsY, {kRespring.red, kRespring.green, kRespring.blue, 0.13});
    canvas.fillRect(x0, stepsY, 2, bottom - stepsY, kRespring);
    canvas.drawText("respring", x0 + 5, lanesY - kStepRowHeight, label(kRespring, -1, Weight::Bold));
  }
  drawRuler(canvas, strip, y);
  drawNotes(canvas, strip, notesY);
  drawSteps(canvas, strip, stepsY, bottom);
}

}  // namespace sim::timeline
