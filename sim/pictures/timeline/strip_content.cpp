// Cutting the run into strips: each sound's extent, the processes' lifetimes, and for one strip its
// steps, notes, resprings and lanes with labels and bars packed into rows so nothing overlaps.
#include <algorithm>
#include <unordered_map>

#include "timeline/timeline_parts.h"

namespace sim::timeline {
namespace {

using Kind = RunLog::Kind;

// A sound of unknown length is shown this long, outlined.
constexpr std::int64_t kUnknownLengthMs = 250;

std::string baseName(const std::string& path) { return path.substr(path.find_last_of('/') + 1); }

double labelWidth(const Canvas& measurer, const std::string& label) {
  pictures::TextStyle style;
  style.size = kLabelSize;
  return std::min(kMostLabelWidth, measurer.measure(label, style).width);
}

// The first row whose last item ends before `x` (with a gap), else the one that ends first.
int freeRow(std::vector<double>& ends, int most, double x) {
  for (size_t r = 0; r < ends.size(); ++r)
    if (ends[r] + 3 <= x) return static_cast<int>(r);
  if (static_cast<int>(ends.size()) < most) {
    ends.push_back(-1e9);
    return static_cast<int>(ends.size() - 1);
  }
  return static_cast<int>(std::min_element(ends.begin(), ends.end()) - ends.begin());
}

std::string stepLabel(const std::vector<std::string>& commands) {
  if (commands.size() == 1) return commands[0];
  // Runs of one command read as "set ×24".
  std::string label;
  for (size_t i = 0; i < commands.size();) {
    std::string name = commands[i].substr(0, commands[i].find(' '));
    size_t j = i;
    while (j < commands.size() && commands[j].substr(0, commands[j].find(' ')) == name) ++j;
    label += (label.empty() ? "" : ", ") + (j - i == 1 ? commands[i] : name + " \u00d7" + std::to_string(j - i));
    i = j;
  }
  return label;
}

}  // namespace

double StripContent::height() const {
  double h = kRulerHeight + kNotesHeight + kStepRows * kStepRowHeight;
  for (const LaneStrip& lane : lanes) h += lane.height();
  return h + (waveform ? kWaveformHeight : 0);
}

RunExtents measureRun(const RunLog& log, const TimelineSource& source) {
  RunExtents run;
  const auto& events = log.events();
  run.soundEnd.assign(events.size(), -1);
  run.naturalEnd.assign(events.size(), -1);
  run.endMs = log.endMs();
  std::unordered_map<std::uint32_t, std::optional<long>> fileLengths;
  std::unordered_map<std::uint32_t, std::optional<long>> systemLengths;
  std::vector<std::int64_t> started(log.lanes().size(), -1);
  run.alive.resize(log.lanes().size());

  for (size_t i = 0; i < events.size(); ++i) {
    const RunLog::Event& e = events[i];
    if (e.kind == Kind::Sound || e.kind == Kind::SystemSound) {
      std::optional<long> length;
      if (e.kind == Kind::Sound) {
        auto found = fileLengths.find(e.text);
        if (found == fileLengths.end())
          found = fileLengths.emplace(e.text, source.fileLength ? source.fileLength(log.text(e.text)) : std::nullopt).first;
        length = found->second;
      } else {
        auto found = systemLengths.find(e.id);
        if (found == systemLengths.end())
          found = systemLengths.emplace(e.id, source.systemLength ? source.systemLength(e.id) : std::nullopt).first;
        length = found->second;
      }
      if (length) run.naturalEnd[i] = e.atMs + *length;
      std::int64_t end = length ? e.atMs + *length : e.atMs + kUnknownLengthMs;
      if (e.endMs >= 0) end = std::min(end, e.endMs);
      run.soundEnd[i] = end;
      run.longestSoundMs = std::max(run.longestSoundMs, end - e.atMs);
      run.endMs = std::max(run.endMs, end);
    } else if (e.kind == Kind::Respring) {
      run.resprings.emplace_back(e.atMs, e.endMs);
    } else if (e.kind == Kind::Start) {
      started[e.lane] = e.atMs;
    } else if (e.kind == Kind::End && started[e.lane] >= 0) {
      run.alive[e.lane].emplace_back(started[e.lane], e.atMs);
      started[e.lane] = -1;
    }
  }
  for (size_t lane = 0; lane < started.size(); ++lane)
    if (started[lane] >= 0) run.alive[lane].emplace_back(started[lane], run.endMs);
  for (auto& [start, end] : run.resprings)
    if (end < 0) end = run.endMs;
  run.inClockOrder = std::is_sorted(events.begin(), events.end(),
                                    [](const RunLog::Event& a, const RunLog::Event& b) { return a.atMs < b.atMs; });

  static const char* const preferred[] = {"SpringBoard", "Settings", "shell", "backboardd", "killall"};
  for (const char* name : preferred)
    for (size_t lane = 0; lane < log.lanes().size(); ++lane)
      if (log.lanes()[lane] == name) run.laneOrder.push_back(static_cast<std::uint16_t>(lane));
  for (size_t lane = 0; lane < log.lanes().size(); ++lane)
    if (std::find(run.laneOrder.begin(), run.laneOrder.end(), lane) == run.laneOrder.end())
      run.laneOrder.push_back(static_cast<std::uint16_t>(lane));
  return run;
}

StripContent stripContent(const RunLog& log, const RunExtents& run, std::int64_t from, const Canvas& measurer) {
  StripContent strip;
  strip.from = from;
  strip.to = from + kStripMs;
  const auto& events = log.events();
  auto inside = [&](std::int64_t ms) { return ms >= strip.from && ms < strip.to; };
  // Only events from the longest sound's length before the strip to its end can show in it.
  size_t first = 0, last = events.size();
  if (run.inClockOrder) {
    auto before = [](const RunLog::Event& e, std::int64_t ms) { return e.atMs < ms; };
    first = static_cast<size_t>(std::lower_bound(events.begin(), events.end(), strip.from - run.longestSoundMs, before) - events.begin());
    last = static_cast<size_t>(std::lower_bound(events.begin(), events.end(), strip.to, before) - events.begin());
  }

  // Steps at one time share a tick; labels take the first of the rows that is free there.
  std::vector<double> stepEnds;
  for (size_t i = first; i < last;) {
    if (events[i].kind != Kind::Step || !inside(events[i].atMs)) {
      ++i;
      continue;
    }
    std::int64_t at = events[i].atMs;
    std::vector<std::string> commands;
    for (; i < last && events[i].atMs == at; ++i)
      if (events[i].kind == Kind::Step) commands.push_back(log.text(events[i].text));
    StepTick tick{at, stepLabel(commands), 0};
    double x = xAt(strip, at);
    tick.row = freeRow(stepEnds, kStepRows, x);
    stepEnds[tick.row] = std::max(stepEnds[tick.row], x + 3 + labelWidth(measurer, tick.label));
    strip.steps.push_back(std::move(tick));
  }

  for (size_t i = first; i < last; ++i)
    if (events[i].kind == Kind::Note && inside(events[i].atMs)) strip.notes.emplace_back(events[i].atMs, log.text(events[i].text));
  for (auto [start, end] : run.resprings)
    if (start < strip.to && end > strip.from) strip.resprings.emplace_back(std::max(start, strip.from), std::min(end, strip.to));

  for (std::uint16_t laneIndex : run.laneOrder) {
    LaneStrip lane;
    lane.name = log.lanes()[laneIndex];
    for (auto [start, end] : run.alive[laneIndex])
      if (start < strip.to && end > strip.from) lane.alive.emplace_back(std::max(start, strip.from), std::min(end, strip.to));
    std::vector<double> rowEnds;
    for (size_t i = first; i < last; ++i) {
      const RunLog::Event& e = events[i];
      if (e.lane != laneIndex) continue;
      switch (e.kind) {
        case Kind::Activity:
          if (inside(e.atMs)) lane.markers.push_back({Marker::Activity, e.atMs, ""});
          break;
        case Kind::Silent:
          if (inside(e.atMs)) lane.markers.push_back({Marker::Silent, e.atMs, log.text(e.text) == "(vibrate)" ? "vibrate" : "silent"});
          break;
        case Kind::FailedCreate:
          if (inside(e.atMs)) lane.markers.push_back({Marker::FailedCreate, e.atMs, "no sound: " + baseName(log.text(e.text))});
          break;
        case Kind::Start:
          if (inside(e.atMs)) lane.markers.push_back({Marker::Start, e.atMs, ""});
          break;
        case Kind::End:
          if (inside(e.atMs))
            lane.markers.push_back({(e.flags & RunLog::Unexpected) ? Marker::Crash : Marker::End, e.atMs,
                                    (e.flags & RunLog::Unexpected) ? "ended unexpectedly" : ""});
          break;
        case Kind::Sound:
        case Kind::SystemSound: {
          std::int64_t end = run.soundEnd[i];
          if (e.atMs >= strip.to || end <= strip.from) break;
          Bar bar;
          bar.start = e.atMs;
          bar.end = end;
          bar.naturalEnd = run.naturalEnd[i];
          bar.lengthKnown = run.naturalEnd[i] >= 0;
          bar.cut = bar.lengthKnown && e.endMs >= 0 && e.endMs < run.naturalEnd[i];
          bar.system = e.kind == Kind::SystemSound;
          bar.label = bar.system ? log.text(e.text) : baseName(log.text(e.text));
          double x0 = xAt(strip, std::max(bar.start, strip.from)), x1 = xAt(strip, std::min(bar.end, strip.to));
          double width = labelWidth(measurer, bar.label + (bar.cut ? " (cut short)" : ""));
          bar.labelInside = width + 8 <= x1 - x0;
          double used = bar.labelInside ? x1 : x1 + 5 + width;
          if (bar.cut) used = std::max(used, xAt(strip, std::min(bar.naturalEnd, strip.to)));
          bar.row = freeRow(rowEnds, kMostBarRows, x0);
          rowEnds[bar.row] = std::max(rowEnds[bar.row], used);
          lane.bars.push_back(std::move(bar));
          break;
        }
        default:
          break;
      }
    }
    lane.rows = static_cast<int>(rowEnds.size());
    strip.lanes.push_back(std::move(lane));
  }
  return strip;
}

}  // namespace sim::timeline
