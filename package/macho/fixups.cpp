#include "fixups.h"

#include <cstring>
#include <stdexcept>

#include "leb128.h"

namespace macho {
namespace {

[[noreturn]] void fail(const std::string& what) { throw std::runtime_error("malformed Mach-O fixups: " + what); }

// Bounds-checked little-endian reads from the slice.
class Reader {
 public:
  explicit Reader(const std::vector<uint8_t>& bytes) : bytes_(bytes) {}
  template <typename T>
  T at(uint64_t offset) const {
    if (offset > bytes_.size() || sizeof(T) > bytes_.size() - offset) fail("read past the end of the file");
    T value{};
    std::memcpy(&value, bytes_.data() + offset, sizeof(T));
    return value;
  }
  std::string cString(uint64_t offset, uint64_t end) const {
    std::string text;
    for (; offset < end && offset < bytes_.size() && bytes_[offset] != 0; ++offset) text += char(bytes_[offset]);
    if (offset >= end || offset >= bytes_.size()) fail("unterminated symbol name");
    return text;
  }

 private:
  const std::vector<uint8_t>& bytes_;
};

// One opcode stream being read.
struct Stream {
  const Reader& in;
  uint64_t at;
  uint64_t end;

  uint8_t byte() { return in.at<uint8_t>(at++); }
  uint64_t uleb() { return readUleb128([this] { return lebByte("bad ULEB128"); }, fail); }
  int64_t sleb() { return readSleb128([this] { return lebByte("bad SLEB128"); }, fail); }
  uint8_t lebByte(const char* what) {
    if (at >= end) fail(what);
    return byte();
  }
  std::string name() {
    std::string text = in.cString(at, end);
    at += text.size() + 1;
    return text;
  }
};

uint64_t segmentAddress(const Image& image, uint8_t index) {
  if (index >= image.segments.size()) fail("segment index out of range");
  return image.segments[index].address;
}

void readRebases(const Image& image, const Reader& in, std::vector<Fixup>& out) {
  const DyldInfo& info = image.dyldInfo;
  Stream s{in, info.rebaseOffset, uint64_t{info.rebaseOffset} + info.rebaseSize};
  uint64_t address = 0;
  auto rebase = [&] {
    out.push_back({Fixup::Kind::Rebase, address, image.wordAt(address), "", 0, 0, false, "rebase"});
    address += 8;
  };
  while (s.at < s.end) {
    uint8_t b = s.byte();
    uint8_t immediate = b & 0x0f;
    switch (b & 0xf0) {
      case 0x00: return;  // DONE
      case 0x10:          // SET_TYPE_IMM
        if (immediate != 1) fail("rebase type other than pointer");
        break;
      case 0x20: address = segmentAddress(image, immediate) + s.uleb(); break;
      case 0x30: address += s.uleb(); break;
      case 0x40: address += uint64_t{immediate} * 8; break;
      case 0x50: for (int i = 0; i < immediate; ++i) rebase(); break;
      case 0x60: for (uint64_t n = s.uleb(); n > 0; --n) rebase(); break;
      case 0x70: rebase(); address += s.uleb(); break;
      case 0x80: {
        uint64_t count = s.uleb();
        uint64_t skip = s.uleb();
        for (; count > 0; --count) {
          rebase();
          address += skip;
        }
        break;
      }
      default: fail("unknown rebase opcode");
    }
  }
}

void readBinds(const Image& image, const Reader& in, uint32_t offset, uint32_t size, const char* table,
               std::vector<Fixup>& out) {
  const bool lazy = std::strcmp(table, "lazy") == 0;
  Stream s{in, offset, uint64_t{offset} + size};
  uint64_t address = 0;
  Fixup bind{Fixup::Kind::Bind, 0, 0, "", std::strcmp(table, "weak") == 0 ? kOrdinalWeakLookup : 0, 0, false, table};
  auto emit = [&] {
    bind.address = address;
    out.push_back(bind);
    address += 8;
  };
  while (s.at < s.end) {
    uint8_t b = s.byte();
    uint8_t immediate = b & 0x0f;
    switch (b & 0xf0) {
      case 0x00:  // DONE: ends the table, or one entry of the lazy table (which holds several)
        if (!lazy) return;
        break;
      case 0x10: bind.ordinal = immediate; break;
      case 0x20: bind.ordinal = static_cast<int>(s.uleb()); break;
      case 0x30: bind.ordinal = immediate == 0 ? 0 : static_cast<int8_t>(0xf0 | immediate); break;
      case 0x40:
        bind.weakImport = (immediate & 0x1) != 0;
        bind.symbol = s.name();
        break;
      case 0x50:
        if (immediate != 1) fail("bind type other than pointer");
        break;
      case 0x60: bind.addend = s.sleb(); break;
      case 0x70: address = segmentAddress(image, immediate) + s.uleb(); break;
      case 0x80: address += s.uleb(); break;
      case 0x90: emit(); break;
      case 0xa0: emit(); address += s.uleb(); break;
      case 0xb0: emit(); address += uint64_t{immediate} * 8; break;
      case 0xc0: {
        uint64_t count = s.uleb();
        uint64_t skip = s.uleb();
        for (; count > 0; --count) {
          emit();
          address += skip;
        }
        break;
      }
      case 0xd0: fail("threaded binds (the pre-chained arm64e form) are not supported");
      default: fail(std::string("unknown bind opcode in the ") + table + " table");
    }
  }
}

// ---- chained fixups ---------------------------------------------------------------------------

struct Import {
  std::string symbol;
  int ordinal;
  bool weak;
  int64_t addend;
};

int specialOrdinal(uint32_t raw, int bits) {
  uint32_t limit = (1u << bits) - 16;  // the top 16 values are the special (negative) ordinals
  return raw >= limit ? static_cast<int>(raw) - static_cast<int>(1u << bits) : static_cast<int>(raw);
}

std::vector<Import> readImports(const Reader& in, uint64_t base, uint32_t size) {
  uint32_t importsOffset = in.at<uint32_t>(base + 8);
  uint32_t symbolsOffset = in.at<uint32_t>(base + 12);
  uint32_t count = in.at<uint32_t>(base + 16);
  uint32_t format = in.at<uint32_t>(base + 20);
  if (in.at<uint32_t>(base + 24) != 0) fail("compressed chained-fixup symbol names");
  std::vector<Import> imports;
  for (uint32_t i = 0; i < count; ++i) {
    Import import{};
    uint32_t nameOffset = 0;
    if (format == 1 || format == 2) {  // DYLD_CHAINED_IMPORT(_ADDEND)
      uint64_t entry = base + importsOffset + uint64_t{i} * (format == 1 ? 4 : 8);
      uint32_t raw = in.at<uint32_t>(entry);
      import.ordinal = specialOrdinal(raw & 0xff, 8);
      import.weak = (raw >> 8) & 1;
      nameOffset = raw >> 9;
      if (format == 2) import.addend = in.at<int32_t>(entry + 4);
    } else if (format == 3) {  // DYLD_CHAINED_IMPORT_ADDEND64
      uint64_t entry = base + importsOffset + uint64_t{i} * 16;
      uint64_t raw = in.at<uint64_t>(entry);
      import.ordinal = specialOrdinal(raw & 0xffff, 16);
      import.weak = (raw >> 16) & 1;
      nameOffset = static_cast<uint32_t>(raw >> 32);
      import.addend = in.at<int64_t>(entry + 8);
    } else {
      fail("unknown chained import format " + std::to_string(format));
    }
    import.symbol = in.cString(base + symbolsOffset + nameOffset, base + size);
    imports.push_back(import);
  }
  return imports;
}

// Decodes one pointer of a chain into `fixup`; returns the stride count to the next one (0 ends it).
uint64_t decodeChained(uint16_t format, uint64_t raw, uint64_t imageBase, const std::vector<Import>& imports,
                       Fixup& fixup) {
  auto bindTo = [&](uint32_t index, int64_t addend) {
    if (index >= imports.size()) fail("chained bind to an import out of range");
    const Import& import = imports[index];
    fixup.kind = Fixup::Kind::Bind;
    fixup.symbol = import.symbol;
    fixup.ordinal = import.ordinal;
    fixup.weakImport = import.weak;
    fixup.addend = import.addend + addend;
  };
  switch (format) {
    case 2:    // DYLD_CHAINED_PTR_64: target is a vm address
    case 6: {  // DYLD_CHAINED_PTR_64_OFFSET: target is an offset from the image's start
      if (raw >> 63) {
        bindTo(raw & 0xffffff, (raw >> 24) & 0xff);
      } else {
        uint64_t target = (raw & 0xfffffffffull) | ((raw >> 36) & 0xff) << 56;
        fixup.target = format == 6 ? imageBase + target : target;
      }
      return (raw >> 51) & 0xfff;
    }
    case 1:     // DYLD_CHAINED_PTR_ARM64E: plain rebase targets are vm addresses
    case 9:     // DYLD_CHAINED_PTR_ARM64E_USERLAND: offsets
    case 12: {  // DYLD_CHAINED_PTR_ARM64E_USERLAND24: offsets, 24-bit import indexes
      bool bind = (raw >> 62) & 1;
      fixup.authenticated = raw >> 63;
      uint32_t index = static_cast<uint32_t>(raw & (format == 12 ? 0xffffff : 0xffff));
      if (fixup.authenticated) {
        fixup.diversity = (raw >> 32) & 0xffff;
        fixup.addressDiversity = (raw >> 48) & 1;
        fixup.key = (raw >> 49) & 3;
        if (bind) bindTo(index, 0);
        else fixup.target = imageBase + (raw & 0xffffffff);
      } else if (bind) {
        int64_t addend = static_cast<int64_t>(raw << 13) >> 45;  // 19-bit signed addend at bit 32
        bindTo(index, addend);
      } else {
        uint64_t target = (raw & 0x7ffffffffffull) | ((raw >> 43) & 0xff) << 56;
        fixup.target = format == 1 ? target : imageBase + target;
      }
      return (raw >> 51) & 0x7ff;
    }
    default: fail("unknown chained pointer format " + std::to_string(format));
  }
}

void readChained(const Image& image, const Reader& in, std::vector<Fixup>& out) {
  uint64_t base = image.chainedFixupsOffset;
  if (in.at<uint32_t>(base) != 0) fail("unknown chained fixups version");
  std::vector<Import> imports = readImports(in, base, image.chainedFixupsSize);
  uint64_t imageBase = image.segments.empty() ? 0 : image.segments.front().address;
  if (!image.segments.empty() && image.segments.front().name == "__PAGEZERO") imageBase = image.segments[1].address;
  uint64_t starts = base + in.at<uint32_t>(base + 4);
  uint32_t segmentCount = in.at<uint32_t>(starts);
  for (uint32_t seg = 0; seg < segmentCount && seg < image.segments.size(); ++seg) {
    uint32_t infoOffset = in.at<uint32_t>(starts + 4 + 4 * uint64_t{seg});
    if (infoOffset == 0) continue;
    uint64_t info = starts + infoOffset;
    uint16_t pageSize = in.at<uint16_t>(info + 4);
    uint16_t format = in.at<uint16_t>(info + 6);
    uint64_t segmentOffset = in.at<uint64_t>(info + 8);
    uint16_t pageCount = in.at<uint16_t>(info + 20);
    uint64_t stride = (format == 2 || format == 6) ? 4 : 8;
    for (uint16_t page = 0; page < pageCount; ++page) {
      uint16_t start = in.at<uint16_t>(info + 22 + 2 * uint64_t{page});
      if (start == 0xffff) continue;  // DYLD_CHAINED_PTR_START_NONE
      if (start & 0x8000) fail("multi-start chained pages (32-bit formats) are not supported");
      uint64_t address = imageBase + segmentOffset + uint64_t{page} * pageSize + start;
      for (int guard = 0; guard < 1 << 16; ++guard) {
        Fixup fixup{Fixup::Kind::Rebase, address, 0, "", 0, 0, false, "chained", format};
        uint64_t next = decodeChained(format, image.wordAt(address), imageBase, imports, fixup);
        out.push_back(fixup);
        if (next == 0) break;
        address += next * stride;
      }
    }
  }
}

}  // namespace

std::vector<Fixup> fixups(const Image& image) {
  Reader in(image.bytes);
  std::vector<Fixup> out;
  if (image.chainedFixupsSize != 0) {
    readChained(image, in, out);
    return out;
  }
  const DyldInfo& info = image.dyldInfo;
  readRebases(image, in, out);
  readBinds(image, in, info.bindOffset, info.bindSize, "bind", out);
  readBinds(image, in, info.weakBindOffset, info.weakBindSize, "weak", out);
  readBinds(image, in, info.lazyBindOffset, info.lazyBindSize, "lazy", out);
  return out;
}

}  // namespace macho
