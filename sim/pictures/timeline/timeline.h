// A run drawn as a timeline on the scenario clock. Each page is a PNG: a header with a legend, then
// strips of kStripMs each, one under the other. A strip has a time ruler, the steps (ticks labelled
// with their commands, notes above them), one lane per process (where it ran, when it started and
// ended, the steps it did something in, each sound it played as a bar from its start to its end or to
// where it was cut short, silent plays and failed creates marked), resprings as bands across the
// lanes, and under them the waveform of the recorded audio. A long run goes on over more pages:
// FILE.png, then FILE-2.png, FILE-3.png...
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "timeline/run_log.h"

namespace sim::timeline {

// The scale: the same for every run, so timelines compare at a glance.
constexpr double kPixelsPerSecond = 120;
constexpr std::int64_t kStripMs = 12000;
constexpr int kStripsPerPage = 5;
// Where a strip's time 0 is across the page.
constexpr double kGutter = 130;

struct TimelineSource {
  std::string title;      // shown in each page's header (the scenario's name)
  std::string wavPath;    // the recorded audio, read back for the waveform ("" : none)
  // How long a sound plays when not cut short, in ms (nullopt: unknown): a file by its device path, and
  // a predefined sound by its identifier.
  std::function<std::optional<long>(const std::string& devicePath)> fileLength;
  std::function<std::optional<long>(std::uint32_t id)> systemLength;
};

// Where a sound's bar was drawn (for checking a picture).
struct DrawnBar {
  int page = 0;                // 0 for FILE.png, 1 for FILE-2.png...
  double left = 0, right = 0;  // pixels across the page
  double top = 0, bottom = 0;
  bool cut = false;            // ends where it was cut short
  std::string label;
};

struct TimelineResult {
  std::vector<std::string> pages;  // the files written, in order
  std::vector<DrawnBar> bars;
};

// The page file for page `index` (0-based) of a timeline named `path`.
std::string pagePath(const std::string& path, int index);

// Draws `log` to `path` (and further pages beside it). False, with *error set, when a page cannot be
// drawn or written.
bool drawTimeline(const RunLog& log, const TimelineSource& source, const std::string& path, TimelineResult* result,
                  std::string* error);

}  // namespace sim::timeline
