#include "chain_layout.h"

namespace macho {
namespace {

constexpr uint64_t kHeaderSize = 28;        // dyld_chained_fixups_header
constexpr uint64_t kSegmentStartsSize = 22;  // dyld_chained_starts_in_segment without its page starts
constexpr uint16_t kNoStart = 0xffff;        // DYLD_CHAINED_PTR_START_NONE
constexpr uint16_t kMultipleStarts = 0x8000;  // DYLD_CHAINED_PTR_START_MULTI (32-bit formats only)

// How a pointer format chains: the distance unit of `next`, and where `next` sits in the pointer.
struct ChainShape {
  uint16_t format;
  uint64_t stride;
  uint64_t nextMask;  // at bit 51
};
constexpr ChainShape kShapes[] = {
    {1, 8, 0x7ff},    // DYLD_CHAINED_PTR_ARM64E
    {2, 4, 0xfff},    // DYLD_CHAINED_PTR_64
    {6, 4, 0xfff},    // DYLD_CHAINED_PTR_64_OFFSET
    {9, 8, 0x7ff},    // DYLD_CHAINED_PTR_ARM64E_USERLAND
    {12, 8, 0x7ff},   // DYLD_CHAINED_PTR_ARM64E_USERLAND24
};

int specialOrdinal(uint32_t raw, int bits) {
  const uint32_t limit = (1u << bits) - 16;  // the top 16 values are the special (negative) ordinals
  return raw >= limit ? static_cast<int>(raw) - static_cast<int>(1u << bits) : static_cast<int>(raw);
}

class ChainReader {
 public:
  ChainReader(const Bytes& in, Image& image)
      : in_(in), image_(image), base_(image.chainedFixupsOffset), size_(image.chainedFixupsSize) {}

  void read() {
    need(0, kHeaderSize, "its header's fields");
    if (u32(0) != 0) fail("version " + std::to_string(u32(0)) + " (only 0 is known)");
    readImports(u32(8), u32(12), u32(16), u32(20), u32(24));
    const uint32_t starts = u32(4);
    need(starts, 4, "the starts in the image");
    const uint32_t segmentCount = u32(starts);
    need(starts + 4, uint64_t{segmentCount} * 4, "the starts in the image");
    if (segmentCount > image_.segments.size()) {
      fail("starts for " + std::to_string(segmentCount) + " segments in an image of " +
           std::to_string(image_.segments.size()));
    }
    for (uint32_t segment = 0; segment < segmentCount; ++segment) {
      const uint32_t info = u32(starts + 4 + 4 * uint64_t{segment});
      if (info != 0) readSegment(image_.segments[segment], uint64_t{starts} + info);
    }
  }

 private:
  [[noreturn]] void fail(const std::string& why) const { in_.fail("chained fixups: " + why); }
  // `length` bytes at `offset` (into the chained fixups' data) lie inside it.
  void need(uint64_t offset, uint64_t length, const std::string& what) const {
    if (!inside(offset, length, size_)) fail(what + " reach past the end of LC_DYLD_CHAINED_FIXUPS' data (" + hex(size_) + " bytes)");
  }
  uint32_t u32(uint64_t offset) const { return in_.le<uint32_t>(base_ + offset); }
  uint16_t u16(uint64_t offset) const { return in_.le<uint16_t>(base_ + offset); }

  void readImports(uint32_t importsOffset, uint32_t symbolsOffset, uint32_t count, uint32_t format,
                   uint32_t symbolsFormat) {
    if (symbolsFormat != 0) fail("compressed symbol names are not supported");
    if (format < 1 || format > 3) fail("unknown import format " + std::to_string(format));
    const uint64_t width = format == 1 ? 4 : format == 2 ? 8 : 16;
    need(importsOffset, count * width, "the imports");
    for (uint32_t i = 0; i < count; ++i) {
      const uint64_t entry = importsOffset + i * width;
      ChainedImport import;
      uint64_t name = 0;
      if (format == 3) {  // DYLD_CHAINED_IMPORT_ADDEND64
        const uint64_t raw = in_.le<uint64_t>(base_ + entry);
        import.ordinal = specialOrdinal(raw & 0xffff, 16);
        import.weak = (raw >> 16) & 1;
        name = raw >> 32;
        import.addend = in_.le<int64_t>(base_ + entry + 8);
      } else {  // DYLD_CHAINED_IMPORT(_ADDEND)
        const uint32_t raw = u32(entry);
        import.ordinal = specialOrdinal(raw & 0xff, 8);
        import.weak = (raw >> 8) & 1;
        name = raw >> 9;
        if (format == 2) import.addend = in_.le<int32_t>(base_ + entry + 4);
      }
      const std::string what = "the name of import " + std::to_string(i);
      if (uint64_t{symbolsOffset} + name >= size_) fail(what + " starts past the end of LC_DYLD_CHAINED_FIXUPS' data");
      import.symbol = in_.cString(base_ + symbolsOffset + name, base_ + size_, "chained fixups: " + what);
      image_.chained.imports.push_back(std::move(import));
    }
  }

  // One dyld_chained_starts_in_segment at `info`: its pages inside the segment, and each chain's
  // pointers inside its page and the segment's file bytes.
  void readSegment(const Segment& segment, uint64_t info) {
    const std::string what = "the starts of segment " + segment.name;
    need(info, kSegmentStartsSize, what);
    const uint32_t infoSize = u32(info);
    const uint16_t pageSize = u16(info + 4), format = u16(info + 6);
    const uint64_t segmentOffset = in_.le<uint64_t>(base_ + info + 8);
    const uint16_t pageCount = u16(info + 20);
    need(info, infoSize, what);
    if (infoSize < kSegmentStartsSize + 2 * uint64_t{pageCount}) fail(what + " list more pages than they hold");
    if (pageSize != 0x1000 && pageSize != 0x4000) fail(what + " have page size " + hex(pageSize));
    const ChainShape* shape = nullptr;
    for (const ChainShape& s : kShapes) {
      if (s.format == format) shape = &s;
    }
    if (shape == nullptr) fail(what + " have pointer format " + std::to_string(format) + ", which is not supported");
    if (segmentOffset != segment.address - image_.baseAddress) {
      fail(what + " place it at " + hex(segmentOffset) + " from the header, but it lies at " +
           hex(segment.address - image_.baseAddress));
    }
    for (uint16_t page = 0; page < pageCount; ++page) {
      const uint16_t start = u16(info + kSegmentStartsSize + 2 * uint64_t{page});
      if (start == kNoStart) continue;
      if (start & kMultipleStarts) fail(what + ": several chains in a page (32-bit formats) are not supported");
      if (start >= pageSize) fail(what + ": page " + std::to_string(page) + " starts past its end");
      walk(segment, *shape, uint64_t{page} * pageSize, pageSize, start);
    }
  }

  void walk(const Segment& segment, const ChainShape& shape, uint64_t page, uint16_t pageSize, uint64_t offset) {
    while (true) {
      if (offset + 8 > pageSize || !inside(page + offset, 8, segment.fileSize)) {
        fail("a chain in segment " + segment.name + " reaches " + hex(segment.address + page + offset) +
             ", outside its page or the segment's file bytes");
      }
      const uint64_t raw = in_.le<uint64_t>(segment.fileOffset + page + offset);
      image_.chained.pointers.push_back({segment.address + page + offset, shape.format, raw});
      const uint64_t next = (raw >> 51) & shape.nextMask;
      if (next == 0) return;
      offset += next * shape.stride;
    }
  }

  const Bytes& in_;
  Image& image_;
  const uint64_t base_, size_;
};

}  // namespace

void readChainedFixups(const Bytes& in, Image& image) { ChainReader(in, image).read(); }

}  // namespace macho
