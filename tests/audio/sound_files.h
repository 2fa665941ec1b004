// Test sounds made on the spot, and reading back the WAV files the mixer writes.
#pragma once

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

namespace audio_testing {

// Encodes a sine of `hz` lasting `seconds` (amplitude 1/8) into `file`, AAC for .m4a and MP3 for
// .mp3, with the ffmpeg tool. Fails the test if ffmpeg does.
void makeTone(const std::filesystem::path& file, double hz = 440, double seconds = 0.3);

// The same, made once for all test processes in the build tree's sound folder ("name" ends in .m4a
// or .mp3; the same name must always mean the same tone). Returns its path.
std::string sharedTone(const std::string& name, double hz, double seconds);

// The tones most tests use: 0.3 s, 440 Hz AAC and 660 Hz MP3.
std::string aacTone();
std::string mp3Tone();

struct Wav {
  std::string riff, wave, fmt, data;  // the four chunk tags
  std::uint32_t riffSize = 0, fmtSize = 0, dataSize = 0;
  std::uint16_t format = 0, channels = 0, bitsPerSample = 0, blockAlign = 0;
  std::uint32_t sampleRate = 0, byteRate = 0;
  std::vector<std::int16_t> samples;  // interleaved
  size_t fileSize = 0;

  size_t frames() const { return channels ? samples.size() / channels : 0; }
  // Root mean square of channel 0 over [fromMs, toMs), as a fraction of full scale.
  double rms(long fromMs, long toMs) const;
  // The largest absolute sample anywhere.
  int peak() const;
};

// Reads a canonical 44-byte-header WAV file.
Wav readWav(const std::filesystem::path& file);

}  // namespace audio_testing
