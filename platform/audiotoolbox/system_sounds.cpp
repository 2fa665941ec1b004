#include "system_sounds.h"

#include <cmath>
#include <map>
#include <mutex>

namespace host::audio {
namespace {

enum class Recipe { Silent, Tink, Tock, Lock, Unlock, Beeps, Shutter, Chime, Alert, Rise, Fall, Dtmf };

struct Predefined {
  std::uint32_t id;
  const char* name;
  Recipe recipe;
  int detail;  // the key for Dtmf
};

// The identifiers system code and SpringBoard use, named for what the device plays.
constexpr Predefined kPredefined[] = {
    {1000, "new mail", Recipe::Chime, 0},
    {1001, "mail sent", Recipe::Rise, 0},
    {1002, "voicemail", Recipe::Chime, 0},
    {1003, "message received", Recipe::Chime, 0},
    {1004, "message sent", Recipe::Rise, 0},
    {1005, "calendar alert", Recipe::Alert, 0},
    {1006, "low power", Recipe::Alert, 0},
    {1057, "pin key tink", Recipe::Tink, 0},
    {1100, "lock", Recipe::Lock, 0},
    {1101, "unlock", Recipe::Unlock, 0},
    {1102, "failed unlock", Recipe::Fall, 0},
    {1103, "keypad tink", Recipe::Tink, 0},
    {1104, "keypad tock", Recipe::Tock, 0},
    {1105, "keypad tock", Recipe::Tock, 0},
    {1106, "charger connected", Recipe::Beeps, 0},
    {1107, "ringer changed", Recipe::Tink, 0},
    {1108, "camera shutter", Recipe::Shutter, 0},
    {1109, "shake", Recipe::Tock, 0},
    {1113, "begin recording", Recipe::Rise, 0},
    {1114, "end recording", Recipe::Fall, 0},
    {1117, "begin video recording", Recipe::Rise, 0},
    {1118, "end video recording", Recipe::Fall, 0},
    {1200, "dtmf 0", Recipe::Dtmf, 0},
    {1201, "dtmf 1", Recipe::Dtmf, 1},
    {1202, "dtmf 2", Recipe::Dtmf, 2},
    {1203, "dtmf 3", Recipe::Dtmf, 3},
    {1204, "dtmf 4", Recipe::Dtmf, 4},
    {1205, "dtmf 5", Recipe::Dtmf, 5},
    {1206, "dtmf 6", Recipe::Dtmf, 6},
    {1207, "dtmf 7", Recipe::Dtmf, 7},
    {1208, "dtmf 8", Recipe::Dtmf, 8},
    {1209, "dtmf 9", Recipe::Dtmf, 9},
    {1210, "dtmf *", Recipe::Dtmf, 10},
    {1211, "dtmf #", Recipe::Dtmf, 11},
    {kVibrateSound, "vibrate", Recipe::Silent, 0},
};

const Predefined* find(std::uint32_t id) {
  for (const Predefined& p : kPredefined)
    if (p.id == id) return &p;
  return nullptr;
}

constexpr double kPi = 3.14159265358979323846;

// Building blocks: each adds to the sound, growing it as needed. Every element starts with a 2 ms
// rise and decays exponentially, so nothing clicks at its edges.
class Synth {
 public:
  void tone(double startMs, double lengthMs, double hz, double amp, double decayMs) {
    add(startMs, lengthMs, amp, decayMs, [hz](double t) { return std::sin(2 * kPi * hz * t); });
  }

  void noise(double startMs, double lengthMs, double amp, double decayMs) {
    // A fixed-seed generator keeps the sound the same on every run; a one-pole low-pass softens it.
    std::uint32_t state = 0x9E3779B9u;
    double smooth = 0;
    add(startMs, lengthMs, amp, decayMs, [&](double) {
      state = state * 1664525u + 1013904223u;
      double white = static_cast<double>(state >> 8) / static_cast<double>(1u << 24) * 2 - 1;
      smooth += 0.35 * (white - smooth);
      return smooth * 2;
    });
  }

  Pcm take() { return std::move(pcm_); }

 private:
  template <typename Wave>
  void add(double startMs, double lengthMs, double amp, double decayMs, Wave&& wave) {
    size_t first = static_cast<size_t>(startMs * kSampleRate / 1000);
    size_t count = static_cast<size_t>(lengthMs * kSampleRate / 1000);
    if (pcm_.frames() < first + count) pcm_.samples.resize((first + count) * kChannels, 0.0f);
    const double rise = 0.002 * kSampleRate;
    for (size_t i = 0; i < count; ++i) {
      double t = static_cast<double>(i) / kSampleRate;
      double envelope = std::exp(-t * 1000 / decayMs) * std::min(1.0, static_cast<double>(i) / rise);
      double tail = static_cast<double>(count - i) / rise;  // fades the last 2 ms
      auto v = static_cast<float>(amp * envelope * std::min(1.0, tail) * wave(t));
      for (int c = 0; c < kChannels; ++c) pcm_.samples[(first + i) * kChannels + c] += v;
    }
  }

  Pcm pcm_;
};

Pcm synthesise(const Predefined& p) {
  Synth s;
  switch (p.recipe) {
    case Recipe::Silent:
      break;
    case Recipe::Tink:
      s.tone(0, 45, 3100, 0.45, 9);
      s.tone(0, 20, 6200, 0.12, 4);
      break;
    case Recipe::Tock:
      s.tone(0, 55, 1150, 0.55, 11);
      s.noise(0, 8, 0.2, 2);
      break;
    case Recipe::Lock:
      s.noise(0, 10, 0.35, 3);
      s.tone(0, 130, 210, 0.6, 35);
      s.tone(0, 60, 840, 0.25, 12);
      break;
    case Recipe::Unlock:
      s.tone(0, 90, 660, 0.45, 45);
      s.tone(70, 140, 990, 0.45, 60);
      break;
    case Recipe::Beeps:
      s.tone(0, 110, 1400, 0.45, 250);
      s.tone(160, 110, 1400, 0.45, 250);
      break;
    case Recipe::Shutter:
      s.noise(0, 45, 0.6, 12);
      s.tone(0, 30, 2400, 0.15, 6);
      s.noise(80, 55, 0.55, 16);
      break;
    case Recipe::Chime:
      s.tone(0, 420, 1046.5, 0.35, 160);
      s.tone(130, 520, 1318.5, 0.35, 200);
      break;
    case Recipe::Alert:
      for (int i = 0; i < 3; ++i) s.tone(i * 180.0, 140, 880, 0.4, 300);
      break;
    case Recipe::Rise:
      s.tone(0, 110, 880, 0.4, 200);
      s.tone(110, 150, 1320, 0.4, 200);
      break;
    case Recipe::Fall:
      s.tone(0, 110, 1320, 0.4, 200);
      s.tone(110, 150, 880, 0.4, 200);
      break;
    case Recipe::Dtmf: {
      static constexpr double low[] = {941, 697, 697, 697, 770, 770, 770, 852, 852, 852, 941, 941};
      static constexpr double high[] = {1336, 1209, 1336, 1477, 1209, 1336, 1477, 1209, 1336, 1477, 1209, 1477};
      s.tone(0, 150, low[p.detail], 0.3, 1e9);
      s.tone(0, 150, high[p.detail], 0.3, 1e9);
      break;
    }
  }
  return s.take();
}

}  // namespace

const char* systemSoundName(std::uint32_t id) {
  const Predefined* p = find(id);
  return p ? p->name : nullptr;
}

std::shared_ptr<const Pcm> systemSoundSamples(std::uint32_t id) {
  const Predefined* p = find(id);
  if (p == nullptr || p->recipe == Recipe::Silent) return nullptr;
  static std::mutex lock;
  static std::map<std::uint32_t, std::shared_ptr<const Pcm>> made;
  std::lock_guard<std::mutex> guard(lock);
  auto& slot = made[id];
  if (!slot) slot = std::make_shared<const Pcm>(synthesise(*p));
  return slot;
}

}  // namespace host::audio
