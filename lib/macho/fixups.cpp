#include "fixups.h"

#include <stdexcept>
#include <tuple>

#include "bytes.h"
#include "leb128.h"

namespace macho {
namespace {

constexpr uint64_t kPointerSize = 8;

[[noreturn]] void fail(const std::string& what) { throw std::runtime_error("malformed Mach-O fixups: " + what); }

// One opcode stream being read, inside the range the reader checked.
class Stream {
 public:
  Stream(const Image& image, uint64_t offset, uint64_t size, const char* table)
      : in_(image.bytes, std::string("malformed Mach-O fixups: the ") + table + " table: "),
        at_(offset),
        end_(offset + size),
        table_(table) {}

  bool more() const { return at_ < end_; }
  uint8_t byte() { return in_.le<uint8_t>(at_++); }
  uint64_t uleb() {
    return readUleb128([this] { return lebByte("a ULEB128 runs past the end"); }, [this](const char* w) { fail(w); });
  }
  int64_t sleb() {
    return readSleb128([this] { return lebByte("a SLEB128 runs past the end"); }, [this](const char* w) { fail(w); });
  }
  uint8_t lebByte(const char* what) {
    if (!more()) fail(what);
    return byte();
  }
  std::string name() {
    std::string text = in_.cString(at_, end_, "a symbol name");
    at_ += text.size() + 1;
    return text;
  }
  [[noreturn]] void fail(const std::string& why) const { in_.fail(why); }
  const char* table() const { return table_; }

 private:
  Bytes in_;
  uint64_t at_, end_;
  const char* table_;
};

// Where the opcodes of one table point: the segment SET_SEGMENT_AND_OFFSET chose and the offset in it.
// Every pointer a table fixes up lies in that segment's file bytes, and a table fixes up at most as
// many pointers as the image's segments hold, so a repeat count can neither leave the image nor
// outgrow it.
class Cursor {
 public:
  Cursor(const Image& image, Stream& stream) : image_(image), stream_(stream) {
    for (const Segment& s : image.segments) room_ += s.fileSize / kPointerSize;
  }
  void set(uint8_t segment, uint64_t offset) {
    if (segment >= image_.segments.size()) {
      stream_.fail("segment index " + std::to_string(segment) + " of an image with " +
                   std::to_string(image_.segments.size()) + " segments");
    }
    segment_ = &image_.segments[segment];
    offset_ = offset;
  }
  void advance(uint64_t bytes) { offset_ += bytes; }
  // Makes room for `count` more pointers.
  void reserve(uint64_t count) {
    if (count > room_) {
      stream_.fail("it fixes up more pointers than the image's segments hold (" + std::to_string(count) +
                   " at once)");
    }
    room_ -= count;
  }
  // The address of the next pointer, which must lie in the segment's file bytes.
  uint64_t address() const {
    if (segment_ == nullptr) stream_.fail("a pointer before any segment is chosen");
    if (!inside(offset_, kPointerSize, segment_->fileSize)) {
      stream_.fail("a pointer at offset " + hex(offset_) + " of segment " + segment_->name +
                   ", outside its file bytes");
    }
    return segment_->address + offset_;
  }

 private:
  const Image& image_;
  Stream& stream_;
  const Segment* segment_ = nullptr;
  uint64_t offset_ = 0;
  uint64_t room_ = 0;
};

// Runs a table of rebase opcodes or of bind opcodes (`bind` is the template every bind starts
// from). The two share their repeat opcodes; only the bind ones carry symbols.
void readOpcodes(const Image& image, uint64_t offset, uint64_t size, const char* table, const Fixup* bind,
                 std::vector<Fixup>& out) {
  Stream s(image, offset, size, table);
  Cursor cursor(image, s);
  Fixup next = bind != nullptr ? *bind : Fixup{Fixup::Kind::Rebase, 0, 0, "", 0, 0, false, table};
  const bool lazy = bind != nullptr && next.table == "lazy";
  auto emit = [&](uint64_t count, uint64_t skip) {
    cursor.reserve(count);
    for (; count > 0; --count) {
      next.address = cursor.address();
      if (bind == nullptr) next.target = image.wordAt(next.address);
      out.push_back(next);
      cursor.advance(kPointerSize + skip);
    }
  };
  while (s.more()) {
    const uint8_t b = s.byte();
    const uint8_t immediate = b & 0x0f;
    const uint8_t opcode = b & 0xf0;
    if (bind == nullptr) {  // REBASE_OPCODE_*
      switch (opcode) {
        case 0x00: return;  // DONE
        case 0x10:          // SET_TYPE_IMM
          if (immediate != 1) s.fail("rebase type other than pointer");
          break;
        case 0x20: cursor.set(immediate, s.uleb()); break;
        case 0x30: cursor.advance(s.uleb()); break;
        case 0x40: cursor.advance(uint64_t{immediate} * kPointerSize); break;
        case 0x50: emit(immediate, 0); break;
        case 0x60: emit(s.uleb(), 0); break;
        case 0x70: emit(1, s.uleb()); break;
        case 0x80: {
          const uint64_t count = s.uleb();
          emit(count, s.uleb());
          break;
        }
        default: s.fail("unknown rebase opcode " + hex(opcode));
      }
      continue;
    }
    switch (opcode) {  // BIND_OPCODE_*
      case 0x00:  // DONE: ends the table, or one entry of the lazy table (which holds several)
        if (!lazy) return;
        break;
      case 0x10: next.ordinal = immediate; break;
      case 0x20: {
        const uint64_t ordinal = s.uleb();
        if (ordinal > 0xffff) s.fail("library ordinal " + std::to_string(ordinal));
        next.ordinal = static_cast<int>(ordinal);
        break;
      }
      case 0x30: next.ordinal = immediate == 0 ? 0 : static_cast<int8_t>(0xf0 | immediate); break;
      case 0x40:
        next.weakImport = (immediate & 0x1) != 0;
        next.symbol = s.name();
        break;
      case 0x50:
        if (immediate != 1) s.fail("bind type other than pointer");
        break;
      case 0x60: next.addend = s.sleb(); break;
      case 0x70: cursor.set(immediate, s.uleb()); break;
      case 0x80: cursor.advance(s.uleb()); break;
      case 0x90: emit(1, 0); break;
      case 0xa0: emit(1, s.uleb()); break;
      case 0xb0: emit(1, uint64_t{immediate} * kPointerSize); break;
      case 0xc0: {
        const uint64_t count = s.uleb();
        emit(count, s.uleb());
        break;
      }
      case 0xd0: s.fail("threaded binds (the pre-chained arm64e form) are not supported");
      default: s.fail("unknown bind opcode " + hex(opcode));
    }
  }
}

// Decodes one pointer of a chain (its layout checked by the reader).
Fixup decodeChained(const Image& image, const ChainedPointer& pointer) {
  const uint64_t raw = pointer.raw;
  Fixup fixup{Fixup::Kind::Rebase, pointer.address, 0, "", 0, 0, false, "chained", pointer.format};
  auto bindTo = [&](uint32_t index, int64_t addend) {
    if (index >= image.chained.imports.size()) {
      fail("the chained bind at " + hex(pointer.address) + " names import " + std::to_string(index) + " of " +
           std::to_string(image.chained.imports.size()));
    }
    const ChainedImport& import = image.chained.imports[index];
    fixup.kind = Fixup::Kind::Bind;
    fixup.symbol = import.symbol;
    fixup.ordinal = import.ordinal;
    fixup.weakImport = import.weak;
    fixup.addend = static_cast<int64_t>(static_cast<uint64_t>(import.addend) + static_cast<uint64_t>(addend));
  };
  switch (pointer.format) {
    case 2:    // DYLD_CHAINED_PTR_64: target is a vm address
    case 6: {  // DYLD_CHAINED_PTR_64_OFFSET: target is an offset from the image's start
      if (raw >> 63) {
        bindTo(raw & 0xffffff, (raw >> 24) & 0xff);
      } else {
        const uint64_t target = (raw & 0xfffffffffull) | ((raw >> 36) & 0xff) << 56;
        fixup.target = pointer.format == 6 ? image.baseAddress + target : target;
      }
      break;
    }
    default: {  // 1 DYLD_CHAINED_PTR_ARM64E: vm addresses; 9 ARM64E_USERLAND, 12 ARM64E_USERLAND24: offsets
      const bool bind = (raw >> 62) & 1;
      fixup.authenticated = raw >> 63;
      const uint32_t index = static_cast<uint32_t>(raw & (pointer.format == 12 ? 0xffffff : 0xffff));
      if (fixup.authenticated) {
        fixup.diversity = (raw >> 32) & 0xffff;
        fixup.addressDiversity = (raw >> 48) & 1;
        fixup.key = (raw >> 49) & 3;
        if (bind) bindTo(index, 0);
        else fixup.target = image.baseAddress + (raw & 0xffffffff);
      } else if (bind) {
        bindTo(index, static_cast<int64_t>(raw << 13) >> 45);  // 19-bit signed addend at bit 32
      } else {
        const uint64_t target = (raw & 0x7ffffffffffull) | ((raw >> 43) & 0xff) << 56;
        fixup.target = pointer.format == 1 ? target : image.baseAddress + target;
      }
    }
  }
  return fixup;
}

}  // namespace

std::vector<Fixup> fixups(const Image& image) {
  std::vector<Fixup> out;
  if (image.chainedFixupsSize != 0) {
    out.reserve(image.chained.pointers.size());
    for (const ChainedPointer& pointer : image.chained.pointers) out.push_back(decodeChained(image, pointer));
    return out;
  }
  const DyldInfo& info = image.dyldInfo;
  readOpcodes(image, info.rebaseOffset, info.rebaseSize, "rebase", nullptr, out);
  for (const auto& [offset, size, table] : {std::tuple{info.bindOffset, info.bindSize, "bind"},
                                            std::tuple{info.weakBindOffset, info.weakBindSize, "weak"},
                                            std::tuple{info.lazyBindOffset, info.lazyBindSize, "lazy"}}) {
    Fixup bind{Fixup::Kind::Bind, 0, 0, "", std::string(table) == "weak" ? kOrdinalWeakLookup : 0, 0, false, table};
    readOpcodes(image, offset, size, table, &bind, out);
  }
  return out;
}

}  // namespace macho
