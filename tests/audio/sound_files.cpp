#include "sound_files.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <cmath>
#include <cstring>
#include <cstdlib>

#include "support/run.h"
#include "support/temp_dir.h"

namespace audio_testing {

void makeTone(const std::filesystem::path& file, double hz, double seconds) {
  std::string codec = file.extension() == ".mp3" ? "libmp3lame" : "aac";
  auto result = testing_support::run({"/usr/bin/ffmpeg", "-nostdin", "-v", "error", "-y", "-f", "lavfi", "-i",
                                      "sine=frequency=" + std::to_string(hz) + ":duration=" + std::to_string(seconds),
                                      "-c:a", codec, file.string()});
  ASSERT_EQ(result.exitCode, 0) << result.output;
}

std::string sharedTone(const std::string& name, double hz, double seconds) {
  std::filesystem::path folder = AUDIO_TEST_SOUNDS;
  std::filesystem::path file = folder / name;
  if (std::filesystem::exists(file)) return file.string();
  std::filesystem::create_directories(folder);
  // Made under a name of this process's own, then renamed: tests running in parallel never see half a file.
  std::filesystem::path partial = folder / (std::to_string(getpid()) + "." + name);
  makeTone(partial, hz, seconds);
  std::filesystem::rename(partial, file);
  return file.string();
}

std::string aacTone() { return sharedTone("tone.m4a", 440, 0.3); }
std::string mp3Tone() { return sharedTone("tone.mp3", 660, 0.3); }

namespace {
std::uint32_t le32(const std::string& b, size_t at) {
  std::uint32_t v = 0;
  for (int i = 3; i >= 0; --i) v = (v << 8) | static_cast<unsigned char>(b[at + i]);
  return v;
}
std::uint16_t le16(const std::string& b, size_t at) {
  return static_cast<std::uint16_t>(static_cast<unsigned char>(b[at]) | static_cast<unsigned char>(b[at + 1]) << 8);
}
}  // namespace

Wav readWav(const std::filesystem::path& file) {
  std::string bytes = testing_support::readFile(file);
  Wav w;
  w.fileSize = bytes.size();
  if (bytes.size() < 44) return w;
  w.riff = bytes.substr(0, 4);
  w.riffSize = le32(bytes, 4);
  w.wave = bytes.substr(8, 4);
  w.fmt = bytes.substr(12, 4);
  w.fmtSize = le32(bytes, 16);
  w.format = le16(bytes, 20);
  w.channels = le16(bytes, 22);
  w.sampleRate = le32(bytes, 24);
  w.byteRate = le32(bytes, 28);
  w.blockAlign = le16(bytes, 32);
  w.bitsPerSample = le16(bytes, 34);
  w.data = bytes.substr(36, 4);
  w.dataSize = le32(bytes, 40);
  w.samples.resize((bytes.size() - 44) / 2);
  std::memcpy(w.samples.data(), bytes.data() + 44, w.samples.size() * 2);
  return w;
}

double Wav::rms(long fromMs, long toMs) const {
  size_t first = static_cast<size_t>(fromMs) * sampleRate / 1000;
  size_t last = std::min(frames(), static_cast<size_t>(toMs) * sampleRate / 1000);
  if (last <= first) return 0;
  double sum = 0;
  for (size_t f = first; f < last; ++f) {
    double v = samples[f * channels] / 32768.0;
    sum += v * v;
  }
  return std::sqrt(sum / static_cast<double>(last - first));
}

int Wav::peak() const {
  int p = 0;
  for (std::int16_t s : samples) p = std::max(p, std::abs(static_cast<int>(s)));
  return p;
}

}  // namespace audio_testing
