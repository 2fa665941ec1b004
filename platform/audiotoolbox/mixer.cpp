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
constexpr size_t kLimiterSwingFrames = audio::kSampleRate * 10 / 1000;  // full gain swing in 10 ms
constexpr float kLimiterStep = 1.0f / kLimiterSwingFrames;
// How far ahead of a frame the limiter looks: a peak further on cannot lower it. Two frames beyond
// the full swing, so that rounding cannot matter.
constexpr size_t kLookaheadFrames = kLimiterSwingFrames + 2;
// Frames mixed and written at a time.
constexpr size_t kChunkFrames = 1 << 16;

std::int16_t toSample(float v) {
  float scaled = std::clamp(v, -1.0f, 1.0f) * 32767.0f;
  return static_cast<std::int16_t>(std::lrint(scaled));
}

}  // namespace

long maxWavDurationMs(int channels) {
  return static_cast<long>(audio::kMaxWavDataBytes / (2u * static_cast<unsigned>(channels)) * 1000 / audio::kSampleRate);
}

class Renderer::Impl {
 public:
  Impl(int channels, long maxDurationMs)
      : channels_(channels),
        writer_(channels, audio::kSampleRate,
                maxDurationMs < 0 ? audio::kMaxWavDataBytes
                                  : audio::frameAt(maxDurationMs) * 2u * static_cast<unsigned>(channels)) {}

  bool open(const std::string& path, std::string* error) {
    if (channels_ != 1 && channels_ != 2) {
      if (error) *error = "a WAV has 1 or 2 channels here, not " + std::to_string(channels_);
      return false;
    }
    return opened_ = writer_.open(path, error);
  }

  void place(const Placement& p, std::uint64_t key) {
    ++placed_;
    std::shared_ptr<const Pcm> pcm;
    if (!p.file.empty()) {
      pcm = audio::loadSound(p.file).pcm;
      if (!pcm) problems_ += (problems_.empty() ? "cannot load " : ", ") + p.file;
    } else {
      pcm = audio::systemSoundSamples(p.systemSound);
    }
    if (!pcm) return;
    Source s{pcm, audio::frameAt(p.startMs), 0, 0, key, p.cutAtMs.has_value()};
    s.natural = s.start + pcm->frames();
    s.end = s.natural;
    if (p.cutAtMs) s.end = std::min(s.end, std::max(s.start, audio::frameAt(*p.cutAtMs)));
    if (s.end > written_) sources_.push_back(std::move(s));
    else retiredEnd_ = std::max(retiredEnd_, s.end);
  }

  void cut(std::uint64_t key, long ms) {
    for (Source& s : sources_) {
      if (s.key != key || s.cut || s.start > audio::frameAt(ms)) continue;
      s.cut = true;
      s.end = std::min(s.end, std::max(s.start, audio::frameAt(ms)));
    }
  }

  // A cut at `ms` fades the 5 ms before it, and the limiter looks ahead: frames before those are final.
  // Silence after the last sound is written only once a later sound (or the end) needs it.
  void advanceTo(long ms) {
    size_t frame = audio::frameAt(ms);
    size_t margin = kCutFadeFrames + kLookaheadFrames;
    if (frame > written_ + margin) render(std::min(frame - margin, lastEnd()), frame - kCutFadeFrames);
  }

  bool finish(long durationMs, std::string* error) {
    const size_t total = durationMs < 0 ? std::max(lastEnd(), written_) : audio::frameAt(durationMs);
    truncated_ = total > writer_.maxFrames();
    // A sound still playing at the end stops there, fading out as a cut one does.
    for (Source& s : sources_) s.end = std::min(s.end, std::max(s.start, total));
    render(total, total);
    std::string writeError;
    bool written = opened_ && writer_.close(&writeError);
    opened_ = false;
    if (!written) {
      if (error) *error = writeError;
      return false;
    }
    if (!problems_.empty()) {
      if (error) *error = problems_;
      return false;
    }
    return true;
  }

  size_t placed() const { return placed_; }
  bool truncated() const { return truncated_; }

 private:
  struct Source {
    std::shared_ptr<const Pcm> pcm;
    size_t start;
    size_t end;      // exclusive; before `natural` when it was cut
    size_t natural;  // where it ends by itself
    std::uint64_t key;
    bool cut;
  };

  // Where the last sound placed so far ends.
  size_t lastEnd() const {
    size_t end = retiredEnd_;
    for (const Source& s : sources_) end = std::max(end, s.end);
    return end;
  }

  void retire() {
    for (const Source& s : sources_)
      if (s.end <= written_) retiredEnd_ = std::max(retiredEnd_, s.end);
    std::erase_if(sources_, [&](const Source& s) { return s.end <= written_; });
  }

  // Adds the part of one sound within [from, to) to `mix` (which starts at `from`), fading out over its
  // last frames when it stops before its natural end.
  static void addSource(const Source& s, size_t from, size_t to, std::vector<float>& mix) {
    const size_t first = std::max(s.start, from);
    const size_t stop = std::min(s.end, to);
    if (stop <= first) return;
    const size_t fade = s.end < s.natural ? std::min(kCutFadeFrames, s.end - s.start) : 0;
    const float* in = s.pcm->samples.data();
    for (size_t f = first; f < stop; ++f) {
      float gain = f + fade >= s.end && fade > 0 ? static_cast<float>(s.end - f) / static_cast<float>(fade + 1) : 1.0f;
      for (int c = 0; c < kChannels; ++c) mix[(f - from) * kChannels + c] += gain * in[(f - s.start) * kChannels + c];
    }
  }

  // Writes frames [written_, until), each chunk mixed with up to kLookaheadFrames more (not beyond
  // mixEnd) so that the limiter sees the peaks ahead of it. The limiter lowers the level around any
  // point where the sum exceeds the ceiling, ramping the gain linearly down before the peak and back up
  // after it, so the output never clips and never steps.
  void render(size_t until, size_t mixEnd) {
    std::vector<float> mix, gain;
    std::vector<std::int16_t> out;
    if (writer_.full()) {  // past what the file holds: nothing more is mixed
      written_ = std::max(written_, until);
      retire();
      return;
    }
    while (written_ < until) {
      const size_t from = written_;
      const size_t to = std::min(until, from + kChunkFrames);
      const size_t ahead = std::max(to, std::min(mixEnd, to + kLookaheadFrames));
      const size_t frames = ahead - from;
      mix.assign(frames * kChannels, 0.0f);
      for (const Source& s : sources_) addSource(s, from, ahead, mix);

      gain.assign(frames, 1.0f);
      for (size_t f = 0; f < frames; ++f) {
        float peak = 0;
        for (int c = 0; c < kChannels; ++c) peak = std::max(peak, std::fabs(mix[f * kChannels + c]));
        if (peak > kCeiling) gain[f] = kCeiling / peak;
      }
      for (size_t f = frames - 1; f-- > 0;) gain[f] = std::min(gain[f], gain[f + 1] + kLimiterStep);
      for (size_t f = 0; f < to - from; ++f) {
        if (f > 0 || written_ > 0) gain[f] = std::min(gain[f], previousGain_ + kLimiterStep);
        previousGain_ = gain[f];
      }

      out.clear();
      for (size_t f = 0; f < to - from; ++f) {
        float left = mix[f * 2] * gain[f], right = mix[f * 2 + 1] * gain[f];
        if (channels_ == 2) {
          out.push_back(toSample(left));
          out.push_back(toSample(right));
        } else {
          out.push_back(toSample((left + right) / 2));
        }
      }
      writer_.write(out.data(), out.size());
      written_ = to;
      retire();
      if (writer_.full()) written_ = std::max(written_, until);
    }
    retire();
  }

  int channels_;
  audio::WavWriter writer_;
  bool opened_ = false;
  std::vector<Source> sources_;  // those not yet written to their end
  size_t written_ = 0;           // frames written (or dropped past the WAV's limit)
  size_t retiredEnd_ = 0;        // the latest end of the sounds written out
  bool truncated_ = false;
  float previousGain_ = 1.0f;
  size_t placed_ = 0;
  std::string problems_;
};

Renderer::Renderer(int channels, long maxDurationMs) : impl_(std::make_unique<Impl>(channels, maxDurationMs)) {}
Renderer::~Renderer() = default;
bool Renderer::open(const std::string& wavPath, std::string* error) { return impl_->open(wavPath, error); }
void Renderer::place(const Placement& placement, std::uint64_t key) { impl_->place(placement, key); }
void Renderer::cut(std::uint64_t key, long ms) { impl_->cut(key, ms); }
void Renderer::advanceTo(long ms) { impl_->advanceTo(ms); }
bool Renderer::finish(long durationMs, std::string* error) { return impl_->finish(durationMs, error); }
size_t Renderer::placed() const { return impl_->placed(); }
bool Renderer::truncated() const { return impl_->truncated(); }

bool renderWav(const std::vector<Placement>& placements, long durationMs, const std::string& wavPath,
               std::string* error, int channels) {
  Renderer renderer(channels);
  if (!renderer.open(wavPath, error)) return false;
  for (const Placement& p : placements) renderer.place(p);
  return renderer.finish(durationMs, error);
}

}  // namespace host::mixer
