// Writing 16-bit PCM WAV files, in pieces.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>

namespace host::audio {

// The most sample bytes a WAV file holds: its sizes are 32-bit, and the RIFF size counts 36 header
// bytes besides the samples.
inline constexpr std::uint64_t kMaxWavDataBytes = 0xFFFFFFFFull - 36;

// A canonical 44-byte-header PCM WAV written as its samples come: the header's sizes are filled in by
// close(), so the file is complete (and a valid WAV) once it is closed.
class WavWriter {
 public:
  // `maxDataBytes` (rounded down to whole frames) caps the samples; further ones are dropped (full()).
  WavWriter(int channels, int sampleRate, std::uint64_t maxDataBytes = kMaxWavDataBytes);
  ~WavWriter();
  WavWriter(const WavWriter&) = delete;
  WavWriter& operator=(const WavWriter&) = delete;

  // Creates (or empties) the file; false with *error.
  bool open(const std::string& path, std::string* error);
  // Appends interleaved samples (whole frames); false when writing failed. Samples past the cap are
  // dropped, which is not a failure.
  bool write(const std::int16_t* samples, size_t count);
  // Fills in the sizes and closes the file; false with *error when anything failed.
  bool close(std::string* error);

  bool full() const { return dataBytes_ >= maxDataBytes_; }
  std::uint64_t frames() const { return dataBytes_ / (2u * static_cast<unsigned>(channels_)); }
  std::uint64_t maxFrames() const { return maxDataBytes_ / (2u * static_cast<unsigned>(channels_)); }

 private:
  std::string path_;
  std::FILE* file_ = nullptr;
  int channels_;
  int sampleRate_;
  std::uint64_t maxDataBytes_;
  std::uint64_t dataBytes_ = 0;
  int error_ = 0;  // errno of the first failure
};

}  // namespace host::audio
