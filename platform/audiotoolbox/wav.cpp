#include "wav.h"

#include <cerrno>
#include <cstdio>
#include <cstring>

namespace host::audio {
namespace {

void put32(std::vector<unsigned char>& out, std::uint32_t v) {
  for (int i = 0; i < 4; ++i) out.push_back(static_cast<unsigned char>(v >> (8 * i)));
}
void put16(std::vector<unsigned char>& out, std::uint16_t v) {
  out.push_back(static_cast<unsigned char>(v));
  out.push_back(static_cast<unsigned char>(v >> 8));
}
void putTag(std::vector<unsigned char>& out, const char* tag) { out.insert(out.end(), tag, tag + 4); }

}  // namespace

bool writeWav(const std::string& path, const std::vector<std::int16_t>& samples, int channels, int sampleRate,
              std::string* error) {
  const std::uint32_t dataBytes = static_cast<std::uint32_t>(samples.size() * 2);
  std::vector<unsigned char> file;
  file.reserve(44 + dataBytes);
  putTag(file, "RIFF");
  put32(file, 36 + dataBytes);
  putTag(file, "WAVE");
  putTag(file, "fmt ");
  put32(file, 16);
  put16(file, 1);  // integer PCM
  put16(file, static_cast<std::uint16_t>(channels));
  put32(file, static_cast<std::uint32_t>(sampleRate));
  put32(file, static_cast<std::uint32_t>(sampleRate * channels * 2));
  put16(file, static_cast<std::uint16_t>(channels * 2));
  put16(file, 16);
  putTag(file, "data");
  put32(file, dataBytes);
  for (std::int16_t s : samples) put16(file, static_cast<std::uint16_t>(s));

  std::FILE* out = std::fopen(path.c_str(), "wb");
  if (out == nullptr) {
    if (error) *error = "cannot write " + path + ": " + std::strerror(errno);
    return false;
  }
  bool ok = std::fwrite(file.data(), 1, file.size(), out) == file.size();
  ok = (std::fclose(out) == 0) && ok;
  if (!ok && error) *error = "cannot write " + path + ": " + std::strerror(errno);
  return ok;
}

}  // namespace host::audio
