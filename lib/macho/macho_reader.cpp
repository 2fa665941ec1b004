#include "macho_reader.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <iterator>
#include <stdexcept>

#include "bytes.h"
#include "slice_reader.h"

namespace macho {
namespace {

constexpr uint32_t kFatMagic = 0xcafebabe;  // stored big-endian
// dyld reads the universal header from the file's first page: at most this many slices fit.
constexpr uint32_t kMaxSlices = (4096 - 8) / 20;
const char kMalformed[] = "malformed Mach-O: ";

}  // namespace

bool Image::hasCommand(uint32_t command) const {
  return std::find(commands.begin(), commands.end(), command) != commands.end();
}

const Section* Image::section(const std::string& segment, const std::string& name) const {
  for (const Section& s : sections) {
    if (s.segment == segment && s.name == name) return &s;
  }
  return nullptr;
}

std::vector<uint64_t> Image::pointers(const Section& s) const {
  Bytes in(bytes, kMalformed);
  std::vector<uint64_t> words;
  for (uint64_t at = 0; at + 8 <= s.size; at += 8) words.push_back(in.le<uint64_t>(s.fileOffset + at));
  return words;
}

std::vector<std::string> Image::cStrings(const Section& s) const {
  Bytes(bytes, kMalformed).check(s.fileOffset, s.size);
  std::vector<std::string> strings;
  const char* begin = reinterpret_cast<const char*>(bytes.data() + s.fileOffset);
  for (uint64_t at = 0; at < s.size;) {
    size_t length = strnlen(begin + at, s.size - at);
    if (length > 0) strings.emplace_back(begin + at, length);
    at += length + 1;
  }
  return strings;
}

const Symbol* Image::symbolAt(uint64_t address) const {
  for (const Symbol& symbol : symbols) {
    if (!symbol.debug() && !symbol.undefined() && symbol.value == address) return &symbol;
  }
  return nullptr;
}

const Section* Image::sectionAt(uint64_t address) const {
  for (const Section& s : sections) {
    if (address >= s.address && address - s.address < s.size) return &s;
  }
  return nullptr;
}

const Segment* Image::segmentAt(uint64_t address) const {
  for (const Segment& s : segments) {
    if (address >= s.address && address - s.address < s.size) return &s;
  }
  return nullptr;
}

uint64_t Image::wordAt(uint64_t address) const {
  const Segment* s = segmentAt(address);
  if (s == nullptr || !inside(address - s->address, 8, s->fileSize)) {
    throw std::runtime_error(kMalformed + std::string("no file bytes at ") + hex(address));
  }
  return Bytes(bytes, kMalformed).le<uint64_t>(s->fileOffset + (address - s->address));
}

std::string Image::library(int ordinal) const {
  if (ordinal < 1 || ordinal > static_cast<int>(dylibs.size())) return "";
  return dylibs[ordinal - 1];
}

std::vector<Image> readBytes(std::vector<uint8_t> data) {
  Bytes in(data, kMalformed);
  std::vector<Image> slices;
  if (in.size() < 8 || in.be32(0) != kFatMagic) {
    slices.push_back(readSlice(std::move(data)));
    return slices;
  }
  // A universal file: slices that lie past the header, inside the file, and apart from each other.
  const uint32_t count = in.be32(4);
  if (count > kMaxSlices) in.fail("a universal header of " + std::to_string(count) + " slices (at most " + std::to_string(kMaxSlices) + ")");
  std::vector<std::pair<uint64_t, uint64_t>> ranges;
  for (uint32_t i = 0; i < count; ++i) {
    const uint64_t header = 8 + 20 * uint64_t{i};
    const uint64_t offset = in.be32(header + 8), size = in.be32(header + 12);
    if (offset < 8 + 20 * uint64_t{count} || !inside(offset, size, in.size())) {
      in.fail("slice " + std::to_string(i) + " (" + hex(size) + " bytes at " + hex(offset) + ") lies outside the file");
    }
    for (const auto& [otherOffset, otherSize] : ranges) {
      if (offset < otherOffset + otherSize && otherOffset < offset + size) in.fail("slice " + std::to_string(i) + " overlaps another");
    }
    ranges.push_back({offset, size});
  }
  for (const auto& [offset, size] : ranges) {
    slices.push_back(readSlice(std::vector<uint8_t>(data.begin() + offset, data.begin() + offset + size)));
  }
  return slices;
}

std::vector<Image> readFile(const std::filesystem::path& path) {
  std::ifstream file(path, std::ios::binary);
  if (!file) throw std::runtime_error("cannot read " + path.string());
  return readBytes(std::vector<uint8_t>((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>()));
}

std::string hex(uint64_t value) {
  char text[24];
  std::snprintf(text, sizeof text, "0x%llx", static_cast<unsigned long long>(value));
  return text;
}

std::string architectureName(const Image& image) {
  return image.cpuSubtype == kCpuSubtypeArm64e ? "arm64e" : "arm64";
}

Image sliceOf(const std::filesystem::path& path, const std::string& architecture) {
  if (architecture != "arm64" && architecture != "arm64e")
    throw std::runtime_error("no architecture " + architecture + " (arm64 or arm64e)");
  const uint32_t subtype = architecture == "arm64" ? kCpuSubtypeArm64All : kCpuSubtypeArm64e;
  std::vector<Image> slices;
  try {
    slices = readFile(path);
  } catch (const std::exception& e) {
    throw std::runtime_error(path.string() + " is not a Mach-O file the reader can read: " + e.what());
  }
  for (Image& image : slices) {
    if (image.cpuType == kCpuTypeArm64 && image.cpuSubtype == subtype) return std::move(image);
  }
  throw std::runtime_error(path.string() + " has no " + architecture + " slice");
}

}  // namespace macho
