#include "host/mixer.h"

#include <algorithm>
#include <cmath>
#include <memory>

#include "sound_cache.h"
#include "system_sounds.h"
#include "wav.h"

namespace host::mixer {
namespace {

using audio::kChannels;
using audio::Pcm;

constexpr size_t kCutFadeFrames = audio::kSampleRate * 5 / 1000;
constexpr float kCeiling = 0.98f;
constexpr float kLimiterStep = 1.0f / (audio::kSampleRate * 10 / 1000);  // full gain swing in 10 ms

struct Source {
  std::shared_ptr<const Pcm> pcm;
  size_t start;
  size_t end;  // exclusive; before the sound's natural end when it was cut
};

// Adds one sound to the mix, fading out over its last frames when it stops before its natural end.
void addSource(const Source& s, size_t totalFrames, std::vector<float>& mix) {
  const size_t natural = s.start + s.pcm->frames();
  const size_t stop = std::min(s.end, totalFrames);
  if (stop <= s.start) return;
  const size_t fade = stop < natural ? std::min(kCutFadeFrames, stop - s.start) : 0;
  const float* in = s.pcm->samples.data();
  float* out = mix.data();
  for (size_t f = s.start; f < stop; ++f) {
    float gain = f + fade >= stop && fade > 0 ? static_cast<float>(stop - f) / static_cast<float>(fade + 1) : 1.0f;
    for (int c = 0; c < kChannels; ++c) out[f * kChannels + c] += gain * in[(f - s.start) * kChannels + c];
  }
}

// Lowers the level around any point where the sum exceeds the ceiling, ramping the gain linearly
// down before the peak and back up after it, so the output never clips and never steps.
void limit(std::vector<float>& mix) {
  const size_t frames = mix.size() / kChannels;
  std::vector<float> gain;
  for (size_t f = 0; f < frames; ++f) {
    float peak = 0;
    for (int c = 0; c < kChannels; ++c) peak = std::max(peak, std::fabs(mix[f * kChannels + c]));
    if (peak > kCeiling) {
      if (gain.empty()) gain.assign(frames, 1.0f);
      gain[f] = kCeiling / peak;
    }
  }
  if (gain.empty()) return;
  for (size_t f = frames - 1; f-- > 0;) gain[f] = std::min(gain[f], gain[f + 1] + kLimiterStep);
  for (size_t f = 1; f < frames; ++f) gain[f] = std::min(gain[f], gain[f - 1] + kLimiterStep);
  for (size_t f = 0; f < frames; ++f)
    for (int c = 0; c < kChannels; ++c) mix[f * kChannels + c] *= gain[f];
}

std::int16_t toSample(float v) {
  float scaled = std::clamp(v, -1.0f, 1.0f) * 32767.0f;
  return static_cast<std::int16_t>(std::lrint(scaled));
}

}  // namespace

bool renderWav(const std::vector<Placement>& placements, long durationMs, const std::string& wavPath,
               std::string* error, int channels) {
  if (channels != 1 && channels != 2) {
    if (error) *error = "a WAV has 1 or 2 channels here, not " + std::to_string(channels);
    return false;
  }
  std::string problems;
  std::vector<Source> sources;
  size_t lastEnd = 0;
  for (const Placement& p : placements) {
    std::shared_ptr<const Pcm> pcm;
    if (!p.file.empty()) {
      pcm = audio::loadSound(p.file).pcm;
      if (!pcm) problems += (problems.empty() ? "cannot load " : ", ") + p.file;
    } else {
      pcm = audio::systemSoundSamples(p.systemSound);
    }
    if (!pcm) continue;
    size_t start = audio::frameAt(p.startMs);
    size_t end = start + pcm->frames();
    if (p.cutAtMs) end = std::min(end, std::max(start, audio::frameAt(*p.cutAtMs)));
    sources.push_back({pcm, start, end});
    lastEnd = std::max(lastEnd, end);
  }

  const size_t totalFrames = durationMs < 0 ? lastEnd : audio::frameAt(durationMs);
  std::vector<float> mix(totalFrames * kChannels, 0.0f);
  for (const Source& s : sources) addSource(s, totalFrames, mix);
  limit(mix);

  std::vector<std::int16_t> out;
  out.reserve(totalFrames * static_cast<size_t>(channels));
  for (size_t f = 0; f < totalFrames; ++f) {
    if (channels == 2) {
      out.push_back(toSample(mix[f * 2]));
      out.push_back(toSample(mix[f * 2 + 1]));
    } else {
      out.push_back(toSample((mix[f * 2] + mix[f * 2 + 1]) / 2));
    }
  }
  std::string writeError;
  if (!audio::writeWav(wavPath, out, channels, audio::kSampleRate, &writeError)) {
    if (error) *error = writeError;
    return false;
  }
  if (!problems.empty()) {
    if (error) *error = problems;
    return false;
  }
  return true;
}

}  // namespace host::mixer
