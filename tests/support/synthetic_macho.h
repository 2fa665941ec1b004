// Minimal Mach-O files for checking the slice checker and what reads its answers: a bare 64-bit
// header (no load commands) per slice, alone or joined in a universal file.
#pragma once

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

namespace synthetic {

inline void putLe32(std::string& out, uint32_t value) {
  for (int i = 0; i < 4; ++i) out += static_cast<char>((value >> (8 * i)) & 0xff);
}
inline void putBe32(std::string& out, uint32_t value) {
  for (int i = 3; i >= 0; --i) out += static_cast<char>((value >> (8 * i)) & 0xff);
}

// A thin dylib image of this CPU type and subtype.
inline std::string thin(uint32_t cpuType, uint32_t cpuSubtype) {
  std::string out;
  for (uint32_t word : {0xfeedfacfu, cpuType, cpuSubtype, 6u /* MH_DYLIB */, 0u, 0u, 0u, 0u}) putLe32(out, word);
  return out;
}

// A universal file holding these (type, subtype) slices, each at a 4 KiB boundary.
inline std::string universal(const std::vector<std::pair<uint32_t, uint32_t>>& slices) {
  std::string out;
  putBe32(out, 0xcafebabe);
  putBe32(out, static_cast<uint32_t>(slices.size()));
  std::string body;
  uint32_t offset = 4096;
  for (const auto& [type, subtype] : slices) {
    std::string image = thin(type, subtype);
    for (uint32_t word : {type, subtype, offset, static_cast<uint32_t>(image.size()), 12u}) putBe32(out, word);
    body.resize(offset - 4096, '\0');
    body += image;
    offset += 4096;
  }
  out.resize(4096, '\0');
  return out + body;
}

constexpr uint32_t kArm64 = 0x0100000c;
constexpr uint32_t kArm64e = 0x80000002;  // arm64e with the versioned pointer-authentication ABI

}  // namespace synthetic
