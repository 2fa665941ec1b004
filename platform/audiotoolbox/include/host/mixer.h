// Rendering played sounds to a WAV file: the audio of a run, as a person near the device would hear it.
//
// Usable on its own (give it placements) or from trace lines of the audio stand-in, collected from
// one or more processes (SpringBoard starts afresh on every respring).
#pragma once

#include <cstdint>
#include <memory>
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

// The most audio a WAV file holds at 44.1 kHz, 16-bit stereo: about 6 hours 45 minutes.
long maxWavDurationMs(int channels = 2);

// Renders sounds into a 16-bit PCM WAV at 44.1 kHz as they are placed, writing the audio in pieces, so
// that memory does not depend on how long the run is. Sounds are mixed, faded where cut and limited
// exactly as renderWav describes. advanceTo(ms) promises that nothing more will be placed or cut
// before `ms`; what can no longer change is then written out. A run longer than a WAV file can hold
// ends the file there (truncated() tells), complete and valid.
class Renderer {
 public:
  explicit Renderer(int channels = 2, long maxDurationMs = -1);  // maxDurationMs < 0: the WAV limit
  ~Renderer();
  Renderer(const Renderer&) = delete;
  Renderer& operator=(const Renderer&) = delete;

  // Creates the file; false with *error.
  bool open(const std::string& wavPath, std::string* error);
  // Places a sound (its cutAtMs, if set, cuts it there). `key` names it for cut(): the caller's own
  // identification of the sound that played it.
  void place(const Placement& placement, std::uint64_t key = 0);
  // Cuts short, at `ms`, every sound placed with `key` that starts at or before `ms` and was not cut.
  void cut(std::uint64_t key, long ms);
  void advanceTo(long ms);
  // Writes the rest, `durationMs` long in all (negative: until the last sound ends), and closes the
  // file. False with *error when the file could not be written or a placed sound could not be loaded
  // (the WAV then lacks that sound).
  bool finish(long durationMs, std::string* error);

  size_t placed() const;  // sounds placed so far
  bool truncated() const;

 private:
  class Impl;
  std::unique_ptr<Impl> impl_;
};

// What an audio trace line says (see host/audio.h for the lines).
struct AudioTraceLine {
  enum Kind { Create, Play, Dispose } kind = Create;
  std::uint32_t id = 0;
  std::string file;   // Create: the file created from
  long atMs = 0;      // Play, Dispose
  bool system = false;  // Play: a predefined sound ("system <name>")
};
// The line's meaning, or nullopt for lines that are not audio lines or that make no sound (failed
// creates, silent plays).
std::optional<AudioTraceLine> parseAudioTrace(std::string_view line);

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
