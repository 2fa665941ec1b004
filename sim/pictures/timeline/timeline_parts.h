// The timeline's pieces between reading the log and drawing a page: what one strip shows, packed into
// rows, and the drawing of each part. Pixels, with time 0 of a strip at kGutter.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "canvas/canvas.h"
#include "timeline/timeline.h"

namespace sim::timeline {

using pictures::Canvas;
using pictures::Colour;
using pictures::rgb;

constexpr double kPageMargin = 20;
constexpr double kPageWidth = kGutter + kStripMs * kPixelsPerSecond / 1000 + kPageMargin;
constexpr double kRulerHeight = 20;
constexpr double kNotesHeight = 16;
constexpr double kStepRowHeight = 14;
constexpr int kStepRows = 4;
constexpr double kLaneMarkersHeight = 16;
constexpr double kBarRowHeight = 18;
constexpr double kBarHeight = 14;
constexpr int kMostBarRows = 8;
constexpr double kLanePadding = 4;
constexpr double kWaveformHeight = 64;
constexpr double kStripGap = 26;
constexpr double kLabelSize = 11;
constexpr double kMostLabelWidth = 150;

// A sound as its lane shows it within a strip.
struct Bar {
  std::int64_t start = 0, end = 0;  // what was heard
  std::int64_t naturalEnd = 0;      // where it would have ended (known lengths only)
  bool cut = false;                 // ended early: cut short
  bool lengthKnown = true;
  bool system = false;              // a predefined sound
  std::string label;
  bool labelInside = false;
  int row = 0;
};

struct Marker {
  enum Kind { Activity, Silent, FailedCreate, Start, End, Crash } kind = Activity;
  std::int64_t at = 0;
  std::string label;
};

struct LaneStrip {
  std::string name;
  std::vector<std::pair<std::int64_t, std::int64_t>> alive;  // where its process ran, clipped to the strip
  std::vector<Marker> markers;
  std::vector<Bar> bars;
  int rows = 0;  // bar rows
  double height() const { return kLaneMarkersHeight + rows * kBarRowHeight + 2 * kLanePadding; }
};

struct StepTick {
  std::int64_t at = 0;
  std::string label;
  int row = 0;
};

struct StripContent {
  std::int64_t from = 0, to = 0;  // the strip's window on the clock
  bool waveform = false;          // a band for the recorded audio under the lanes
  std::vector<StepTick> steps;
  std::vector<std::pair<std::int64_t, std::string>> notes;
  std::vector<std::pair<std::int64_t, std::int64_t>> resprings;
  std::vector<LaneStrip> lanes;
  double height() const;
};

// The run with every sound's extent worked out, ready to be cut into strips.
struct RunExtents {
  std::vector<std::int64_t> soundEnd;         // per event: where a Sound/SystemSound stopped (-1 others)
  std::vector<std::int64_t> naturalEnd;       // per event: where it would have stopped (-1 unknown)
  std::vector<std::uint16_t> laneOrder;       // the lanes in the order they are drawn
  std::vector<std::vector<std::pair<std::int64_t, std::int64_t>>> alive;  // per lane
  std::vector<std::pair<std::int64_t, std::int64_t>> resprings;
  bool inClockOrder = true;                   // events never go back in time (a strip can skip to its own)
  std::int64_t endMs = 0;                     // the end of the last thing shown
  std::int64_t longestSoundMs = 0;
};
RunExtents measureRun(const RunLog& log, const TimelineSource& source);

// What the strip [from, from + kStripMs) shows, with its labels and bars packed into rows.
StripContent stripContent(const RunLog& log, const RunExtents& extents, std::int64_t from, const Canvas& measurer);

// Across a strip: the pixel at time `ms`.
inline double xAt(const StripContent& strip, std::int64_t ms) {
  return kGutter + static_cast<double>(ms - strip.from) * kPixelsPerSecond / 1000.0;
}

// Draws the strip with its top at `y`, the waveform from `wavPath` when the strip has its band; adds
// the bars it drew to `bars` (page `page`).
void drawStrip(const Canvas& canvas, const StripContent& strip, double y, const std::string& wavPath, int page,
               std::vector<DrawnBar>* bars);

// The waveform of the WAV's [from, to) in the band at `y`, `height` high. False when it cannot be read.
bool drawWaveform(const Canvas& canvas, const std::string& wavPath, std::int64_t from, std::int64_t to, double y,
                  double height);

// Lane colours: each process has its own.
Colour laneColour(const std::string& process);

}  // namespace sim::timeline
