#include "macho_reader.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <iterator>
#include <stdexcept>

namespace macho {
namespace {

constexpr uint32_t kMagic64 = 0xfeedfacf;
constexpr uint32_t kFatMagic = 0xcafebabe;  // stored big-endian
constexpr uint32_t kLcSegment64 = 0x19;
constexpr uint32_t kLcLoadUpwardDylib = 0x80000023;
constexpr uint32_t kLcLazyLoadDylib = 0x20;

[[noreturn]] void fail(const std::string& what) { throw std::runtime_error("malformed Mach-O: " + what); }

// Bounds-checked reads from a byte range; little-endian unless stated.
class Bytes {
 public:
  Bytes(const std::vector<uint8_t>& data) : data_(data) {}

  template <typename T>
  T le(uint64_t offset) const {
    check(offset, sizeof(T));
    T value{};
    std::memcpy(&value, data_.data() + offset, sizeof(T));
    return value;
  }
  uint32_t be32(uint64_t offset) const {
    check(offset, 4);
    const uint8_t* p = data_.data() + offset;
    return (uint32_t{p[0]} << 24) | (uint32_t{p[1]} << 16) | (uint32_t{p[2]} << 8) | p[3];
  }
  // A NUL-terminated string starting at offset, not reading past `limit`.
  std::string cString(uint64_t offset, uint64_t limit) const {
    limit = std::min<uint64_t>(limit, data_.size());
    if (offset > limit) fail("string outside its table");
    const char* begin = reinterpret_cast<const char*>(data_.data() + offset);
    return std::string(begin, strnlen(begin, limit - offset));
  }
  std::string fixed(uint64_t offset, size_t width) const {
    check(offset, width);
    const char* begin = reinterpret_cast<const char*>(data_.data() + offset);
    return std::string(begin, strnlen(begin, width));
  }
  void check(uint64_t offset, uint64_t length) const {
    if (offset > data_.size() || length > data_.size() - offset) fail("read past the end of the file");
  }
  size_t size() const { return data_.size(); }

 private:
  const std::vector<uint8_t>& data_;
};

uint64_t uleb(const Bytes& in, uint64_t& at, uint64_t end) {
  uint64_t value = 0;
  for (int shift = 0;; shift += 7) {
    if (at >= end || shift > 63) fail("bad ULEB128 in the binding table");
    uint8_t byte = in.le<uint8_t>(at++);
    value |= uint64_t{byte & 0x7fu} << shift;
    if ((byte & 0x80) == 0) return value;
  }
}

void skipSleb(const Bytes& in, uint64_t& at, uint64_t end) {
  while (true) {
    if (at >= end) fail("bad SLEB128 in the binding table");
    if ((in.le<uint8_t>(at++) & 0x80) == 0) return;
  }
}

// Runs the dyld bind opcodes of one table and records each bind with its symbol and ordinal. Only
// the (symbol, ordinal) pairs matter here, so addresses are not tracked.
void readBindings(const Bytes& in, uint64_t offset, uint64_t size, const std::string& table,
                  std::vector<Binding>& out) {
  if (size == 0) return;
  in.check(offset, size);
  uint64_t at = offset;
  uint64_t end = offset + size;
  std::string symbol;
  int ordinal = 0;
  while (at < end) {
    uint8_t byte = in.le<uint8_t>(at++);
    uint8_t opcode = byte & 0xf0;
    uint8_t immediate = byte & 0x0f;
    switch (opcode) {
      case 0x00:  // DONE: ends the table, or one lazy entry (the lazy table holds several)
        if (table != "lazy") return;
        break;
      case 0x10: ordinal = immediate; break;  // SET_DYLIB_ORDINAL_IMM
      case 0x20: ordinal = static_cast<int>(uleb(in, at, end)); break;
      case 0x30: ordinal = immediate == 0 ? 0 : static_cast<int8_t>(0xf0 | immediate); break;  // special
      case 0x40: {  // SET_SYMBOL_TRAILING_FLAGS_IMM
        symbol = in.cString(at, end);
        at += symbol.size() + 1;
        break;
      }
      case 0x50: break;  // SET_TYPE_IMM
      case 0x60: skipSleb(in, at, end); break;  // SET_ADDEND_SLEB
      case 0x70: uleb(in, at, end); break;      // SET_SEGMENT_AND_OFFSET_ULEB
      case 0x80: uleb(in, at, end); break;      // ADD_ADDR_ULEB
      case 0x90: out.push_back({symbol, ordinal, table}); break;  // DO_BIND
      case 0xa0: uleb(in, at, end); out.push_back({symbol, ordinal, table}); break;
      case 0xb0: out.push_back({symbol, ordinal, table}); break;
      case 0xc0: {  // DO_BIND_ULEB_TIMES_SKIPPING_ULEB
        uint64_t count = uleb(in, at, end);
        uleb(in, at, end);
        for (uint64_t i = 0; i < count && i < 1u << 20; ++i) out.push_back({symbol, ordinal, table});
        break;
      }
      case 0xd0:  // THREADED (arm64e without chained fixups): binds live in the data, not listed here
        if (immediate == 0) uleb(in, at, end);  // SET_BIND_ORDINAL_TABLE_SIZE_ULEB
        break;
      default: fail("unknown bind opcode in the " + table + " table");
    }
  }
}

void readSignature(const Bytes& in, uint32_t offset, uint32_t size, CodeSignature& signature) {
  signature.present = true;
  if (size < 12) return;
  in.check(offset, size);
  signature.superBlobMagic = in.be32(offset);
  uint32_t count = in.be32(offset + 8);
  for (uint32_t i = 0; i < count && 12 + 8 * (i + 1) <= size; ++i) {
    uint32_t blob = offset + in.be32(offset + 12 + 8 * i + 4);
    if (in.be32(blob) != 0xfade0c02) continue;  // the CodeDirectory
    signature.hasCodeDirectory = true;
    signature.codeDirectoryFlags = in.be32(blob + 12);
    uint32_t identOffset = in.be32(blob + 20);
    signature.identifier = in.cString(blob + identOffset, offset + size);
  }
}

Image readSlice(std::vector<uint8_t> data) {
  Image image;
  image.bytes = std::move(data);
  Bytes in(image.bytes);
  if (in.size() < 32 || in.le<uint32_t>(0) != kMagic64) fail("not a 64-bit Mach-O image");
  image.cpuType = in.le<uint32_t>(4);
  image.fullCpuSubtype = in.le<uint32_t>(8);
  image.cpuSubtype = image.fullCpuSubtype & 0x00ffffff;
  image.fileType = in.le<uint32_t>(12);
  uint32_t count = in.le<uint32_t>(16);
  uint32_t commandsSize = in.le<uint32_t>(20);
  image.flags = in.le<uint32_t>(24);
  in.check(32, commandsSize);

  uint64_t at = 32;
  uint32_t symoff = 0, nsyms = 0, stroff = 0, strsize = 0;
  for (uint32_t i = 0; i < count; ++i) {
    uint32_t command = in.le<uint32_t>(at);
    uint32_t size = in.le<uint32_t>(at + 4);
    if (size < 8 || at + size > 32 + uint64_t{commandsSize}) fail("load command outside the header");
    image.commands.push_back(command);
    switch (command) {
      case kLcSegment64: {
        image.segments.push_back({in.fixed(at + 8, 16), in.le<uint64_t>(at + 24), in.le<uint64_t>(at + 32),
                                  in.le<uint64_t>(at + 40), in.le<uint64_t>(at + 48), in.le<uint32_t>(at + 56),
                                  in.le<uint32_t>(at + 60), in.le<uint32_t>(at + 68)});
        uint32_t sections = in.le<uint32_t>(at + 64);
        for (uint32_t s = 0; s < sections; ++s) {
          uint64_t header = at + 72 + 80 * uint64_t{s};
          if (header + 80 > at + size) fail("section outside its segment command");
          image.sections.push_back({in.fixed(header + 16, 16), in.fixed(header, 16), in.le<uint64_t>(header + 32),
                                    in.le<uint64_t>(header + 40), in.le<uint32_t>(header + 48),
                                    in.le<uint32_t>(header + 64)});
        }
        break;
      }
      case kLcIdDylib:
        image.installName = in.cString(at + in.le<uint32_t>(at + 8), at + size);
        image.currentVersion = in.le<uint32_t>(at + 16);
        image.compatibilityVersion = in.le<uint32_t>(at + 20);
        break;
      case kLcLoadDylib:
      case kLcLoadWeakDylib:
      case kLcReexportDylib:
      case kLcLoadUpwardDylib:
      case kLcLazyLoadDylib: image.dylibs.push_back(in.cString(at + in.le<uint32_t>(at + 8), at + size)); break;
      case kLcRpath: image.rpaths.push_back(in.cString(at + in.le<uint32_t>(at + 8), at + size)); break;
      case kLcBuildVersion:
        image.build = {true, in.le<uint32_t>(at + 8), in.le<uint32_t>(at + 12), in.le<uint32_t>(at + 16)};
        break;
      case kLcSymtab:
        symoff = in.le<uint32_t>(at + 8);
        nsyms = in.le<uint32_t>(at + 12);
        stroff = in.le<uint32_t>(at + 16);
        strsize = in.le<uint32_t>(at + 20);
        break;
      case kLcDyldInfo:
      case kLcDyldInfoOnly:
        // dyld_info_command: rebase, bind, weak bind, lazy bind, export (offset, size) pairs.
        image.dyldInfo = {in.le<uint32_t>(at + 8),  in.le<uint32_t>(at + 12), in.le<uint32_t>(at + 16),
                          in.le<uint32_t>(at + 20), in.le<uint32_t>(at + 24), in.le<uint32_t>(at + 28),
                          in.le<uint32_t>(at + 32), in.le<uint32_t>(at + 36), in.le<uint32_t>(at + 40),
                          in.le<uint32_t>(at + 44)};
        readBindings(in, in.le<uint32_t>(at + 16), in.le<uint32_t>(at + 20), "bind", image.bindings);
        readBindings(in, in.le<uint32_t>(at + 24), in.le<uint32_t>(at + 28), "weak", image.bindings);
        readBindings(in, in.le<uint32_t>(at + 32), in.le<uint32_t>(at + 36), "lazy", image.bindings);
        break;
      case kLcDyldChainedFixups:
        image.chainedFixupsOffset = in.le<uint32_t>(at + 8);
        image.chainedFixupsSize = in.le<uint32_t>(at + 12);
        break;
      case kLcCodeSignature:
        image.codeSignatureOffset = in.le<uint32_t>(at + 8);
        image.codeSignatureSize = in.le<uint32_t>(at + 12);
        readSignature(in, in.le<uint32_t>(at + 8), in.le<uint32_t>(at + 12), image.signature);
        break;
      default: break;
    }
    at += size;
  }

  in.check(symoff, uint64_t{nsyms} * 16);
  in.check(stroff, strsize);
  for (uint32_t i = 0; i < nsyms; ++i) {
    uint64_t entry = symoff + 16 * uint64_t{i};
    uint32_t name = in.le<uint32_t>(entry);
    if (name >= strsize) fail("symbol name outside the string table");
    image.symbols.push_back({in.cString(stroff + name, uint64_t{stroff} + strsize), in.le<uint8_t>(entry + 4),
                             in.le<uint8_t>(entry + 5), in.le<uint16_t>(entry + 6), in.le<uint64_t>(entry + 8)});
  }
  return image;
}

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
  Bytes in(bytes);
  std::vector<uint64_t> words;
  for (uint64_t at = 0; at + 8 <= s.size; at += 8) words.push_back(in.le<uint64_t>(s.fileOffset + at));
  return words;
}

std::vector<std::string> Image::cStrings(const Section& s) const {
  Bytes in(bytes);
  in.check(s.fileOffset, s.size);
  std::vector<std::string> strings;
  for (uint64_t at = 0; at < s.size;) {
    std::string text = in.cString(s.fileOffset + at, s.fileOffset + s.size);
    at += text.size() + 1;
    if (!text.empty()) strings.push_back(text);
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
  if (s == nullptr || address - s->address + 8 > s->fileSize) fail("no file bytes at a fixed-up address");
  return Bytes(bytes).le<uint64_t>(s->fileOffset + (address - s->address));
}

std::string Image::library(int ordinal) const {
  if (ordinal < 1 || ordinal > static_cast<int>(dylibs.size())) return "";
  return dylibs[ordinal - 1];
}

std::vector<Image> readFile(const std::filesystem::path& path) {
  std::ifstream file(path, std::ios::binary);
  if (!file) throw std::runtime_error("cannot read " + path.string());
  std::vector<uint8_t> data((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
  Bytes in(data);
  if (in.size() >= 8 && in.be32(0) == kFatMagic) {
    std::vector<Image> slices;
    uint32_t count = in.be32(4);
    for (uint32_t i = 0; i < count; ++i) {
      uint64_t header = 8 + 20 * uint64_t{i};
      uint32_t offset = in.be32(header + 8);
      uint32_t size = in.be32(header + 12);
      in.check(offset, size);
      slices.push_back(readSlice(std::vector<uint8_t>(data.begin() + offset, data.begin() + offset + size)));
    }
    return slices;
  }
  std::vector<Image> slices;
  slices.push_back(readSlice(std::move(data)));
  return slices;
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
