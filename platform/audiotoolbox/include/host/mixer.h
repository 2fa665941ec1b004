// Rendering played sounds to a WAV file: the audio of a run, as a person near the device would hear it.
//
// Usable on its own (give it placements) or from trace lines of the audio stand-in, collected from
// one or more processes (SpringBoard starts afresh on every respring).
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

namespace host::mixer {

// One sound heard during a run.
struct Placement {
  std::string file;              // the sound file's path; empty for a predefined system sound
  std::uint32_t systemSound = 0; // the predefined sound's identifier (1000-2000) when `file` is empty
  long startMs = 0;              // when it starts, on the run's clock
  std::optional<long> cutAtMs;   // when it was cut short (its identifier disposed), if it was
};

// Renders `placements` into a 16-bit PCM WAV at 44.1 kHz with `channels` (1 or 2) channels,
// `durationMs` long (negative: until the last sound ends). Each sound starts at its startMs and
// plays to its end, the render's end or its cutAtMs, whichever comes first; a cut sound fades out
// over the 5 ms before its cut so it does not click. Overlapping sounds add up; where the sum would
// clip, a limiter lowers the level smoothly around that point instead. Files are decoded once per
// process and shared with the audio stand-in.
// Returns false with *error set when the WAV cannot be written, or when a placed sound cannot be
// loaded (the WAV is then written without that sound).
bool renderWav(const std::vector<Placement>& placements, long durationMs, const std::string& wavPath,
               std::string* error = nullptr, int channels = 2);

// Turns the audio stand-in's trace lines of ONE process into placements. Lines that are not the
// audio service's ("audio create|play|alert|dispose ...") are ignored, so a process's whole trace can
// be fed in order. Identifiers are per process: use one collector per process, then render the
// concatenation of their placements. (Feeding processes that ran one after another into one collector
// also works: a create that reuses an identifier starts that identifier afresh.)
class TraceCollector {
 public:
  void feed(std::string_view line);
  const std::vector<Placement>& placements() const { return placements_; }

 private:
  std::unordered_map<std::uint32_t, std::string> files_;          // identifier -> file it was created from
  std::unordered_map<std::uint32_t, std::vector<size_t>> open_;   // identifier -> its placements not yet cut
  std::vector<Placement> placements_;
};

}  // namespace host::mixer
