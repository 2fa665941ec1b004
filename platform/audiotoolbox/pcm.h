// Decoded sound: the one sample format the stand-in plays and mixes.
#pragma once

#include <cstddef>
#include <vector>

namespace host::audio {

inline constexpr int kSampleRate = 44100;
inline constexpr int kChannels = 2;

// Interleaved stereo float samples at kSampleRate, nominally within [-1, 1].
struct Pcm {
  std::vector<float> samples;

  size_t frames() const { return samples.size() / kChannels; }
  long durationMs() const { return static_cast<long>(frames() * 1000 / kSampleRate); }
};

// The frame at which `ms` milliseconds fall (negative times clamp to 0).
inline size_t frameAt(long ms) { return ms <= 0 ? 0 : static_cast<size_t>(ms) * kSampleRate / 1000; }

}  // namespace host::audio
