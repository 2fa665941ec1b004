// Writing 16-bit PCM WAV files.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace host::audio {

// Writes interleaved `samples` as a canonical 44-byte-header PCM WAV; false with *error on failure.
bool writeWav(const std::string& path, const std::vector<std::int16_t>& samples, int channels, int sampleRate,
              std::string* error);

}  // namespace host::audio
