#include "wav.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <vector>

namespace host::audio {
namespace {

void put32(unsigned char* out, std::uint32_t v) {
  for (int i = 0; i < 4; ++i) out[i] = static_cast<unsigned char>(v >> (8 * i));
}
void put16(unsigned char* out, std::uint16_t v) {
  out[0] = static_cast<unsigned char>(v);
  out[1] = static_cast<unsigned char>(v >> 8);
}

}  // namespace

WavWriter::WavWriter(int channels, int sampleRate, std::uint64_t maxDataBytes)
    : channels_(channels), sampleRate_(sampleRate) {
  const std::uint64_t frameBytes = 2u * static_cast<unsigned>(channels);
  maxDataBytes_ = std::min(maxDataBytes, kMaxWavDataBytes) / frameBytes * frameBytes;
}

WavWriter::~WavWriter() {
  if (file_ != nullptr) std::fclose(file_);
}

bool WavWriter::open(const std::string& path, std::string* error) {
  path_ = path;
  file_ = std::fopen(path.c_str(), "wb");
  if (file_ == nullptr) {
    if (error) *error = "cannot write " + path + ": " + std::strerror(errno);
    return false;
  }
  unsigned char header[44] = {};
  if (std::fwrite(header, 1, sizeof header, file_) != sizeof header) error_ = errno;
  return true;
}

bool WavWriter::write(const std::int16_t* samples, size_t count) {
  if (file_ == nullptr || error_ != 0) return false;
  std::uint64_t room = (maxDataBytes_ - dataBytes_) / 2;
  if (count > room) count = static_cast<size_t>(room);
  if (count == 0) return true;
  std::vector<unsigned char> bytes(count * 2);
  for (size_t i = 0; i < count; ++i) put16(&bytes[i * 2], static_cast<std::uint16_t>(samples[i]));
  if (std::fwrite(bytes.data(), 1, bytes.size(), file_) != bytes.size()) {
    error_ = errno;
    return false;
  }
  dataBytes_ += bytes.size();
  return true;
}

bool WavWriter::close(std::string* error) {
  if (file_ == nullptr) return false;
  unsigned char header[44];
  std::memcpy(header, "RIFF", 4);
  put32(header + 4, static_cast<std::uint32_t>(36 + dataBytes_));
  std::memcpy(header + 8, "WAVEfmt ", 8);
  put32(header + 16, 16);
  put16(header + 20, 1);  // integer PCM
  put16(header + 22, static_cast<std::uint16_t>(channels_));
  put32(header + 24, static_cast<std::uint32_t>(sampleRate_));
  put32(header + 28, static_cast<std::uint32_t>(sampleRate_ * channels_ * 2));
  put16(header + 32, static_cast<std::uint16_t>(channels_ * 2));
  put16(header + 34, 16);
  std::memcpy(header + 36, "data", 4);
  put32(header + 40, static_cast<std::uint32_t>(dataBytes_));
  if (error_ == 0 && (std::fseek(file_, 0, SEEK_SET) != 0 || std::fwrite(header, 1, sizeof header, file_) != sizeof header))
    error_ = errno;
  if (std::fclose(file_) != 0 && error_ == 0) error_ = errno;
  file_ = nullptr;
  if (error_ != 0 && error) *error = "cannot write " + path_ + ": " + std::strerror(error_);
  return error_ == 0;
}

}  // namespace host::audio
