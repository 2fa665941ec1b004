// What the Mach-O reader refuses as it opens a file, each case a hand-made image spoilt in one field:
// load commands that do not fit their structure, ranges outside the file, segments and sections that
// overlap or stray, chained fixups whose starts or chains leave their page or segment, and universal
// files whose slices do.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <functional>

#include "fixups.h"
#include "images.h"
#include "support/synthetic_macho.h"

namespace {

using namespace images;
using testing::HasSubstr;

struct Spoilt {
  std::function<void(std::vector<uint8_t>&)> spoil;
  std::string refusal;
};

void expectRefusals(const std::vector<uint8_t>& image, const std::vector<Spoilt>& cases) {
  for (const Spoilt& c : cases) {
    std::vector<uint8_t> bytes = image;
    c.spoil(bytes);
    EXPECT_THAT(refusal(bytes), HasSubstr(c.refusal));
  }
}

TEST(MachoReader, ReadsTheHandMadeImagesAndTheirFixups) {
  macho::Image image = macho::readBytes(chained()).at(0);
  ASSERT_EQ(image.chained.pointers.size(), 2u);
  std::vector<macho::Fixup> fixups = macho::fixups(image);
  ASSERT_EQ(fixups.size(), 2u);
  EXPECT_EQ(fixups[0].kind, macho::Fixup::Kind::Rebase);
  EXPECT_EQ(fixups[0].target, kCode);
  EXPECT_EQ(fixups[1].symbol, "_import");
  EXPECT_EQ(image.library(fixups[1].ordinal), kLibrary);
  EXPECT_EQ(refusal(classic({0x00})), "(read)");
}

TEST(MachoReader, RefusesALoadCommandThatDoesNotFitItsStructure) {
  const std::vector<uint8_t> image = classic({0x00});
  const size_t data = commandAt(image, kSegment, 1), symtab = commandAt(image, kSymtab),
               dylib = commandAt(image, kLoadDylib), info = commandAt(image, kDyldInfoOnly);
  expectRefusals(image, {
      {[&](auto& b) { poke<uint32_t>(b, symtab + 4, 16); },
       "load command 3 (LC_SYMTAB) has size 16, smaller than its structure (24 bytes)"},
      {[&](auto& b) { poke<uint32_t>(b, symtab + 4, 20); }, "load command 3 (LC_SYMTAB) has size 20, not a multiple of 8"},
      {[&](auto& b) { poke<uint32_t>(b, dylib + 4, 0x1000); }, "load command 4 (LC_LOAD_DYLIB) runs past sizeofcmds"},
      {[&](auto& b) { poke<uint32_t>(b, 16, 6); }, "load command 5 lies outside sizeofcmds"},
      {[&](auto& b) { poke<uint32_t>(b, dylib + 8, 48); },
       "load command 4 (LC_LOAD_DYLIB)'s string at offset 48 lies outside the command"},
      {[&](auto& b) { std::fill(b.begin() + dylib + 24, b.begin() + dylib + 48, 'x'); },
       "load command 4 (LC_LOAD_DYLIB)'s string is not a NUL-terminated string"},
      {[&](auto& b) { poke<uint32_t>(b, data + 64, 2); }, "load command 1 (LC_SEGMENT_64) lists more sections than it holds"},
      {[&](auto& b) { poke<uint32_t>(b, info, kSymtab); }, "load command 3 (LC_SYMTAB) is the image's second LC_SYMTAB"},
  });
}

TEST(MachoReader, RefusesARangeOutsideTheFileOrItsSegment) {
  const std::vector<uint8_t> image = classic({0x00});
  const size_t data = commandAt(image, kSegment, 1), symtab = commandAt(image, kSymtab),
               info = commandAt(image, kDyldInfoOnly);
  expectRefusals(image, {
      {[&](auto& b) { poke<uint64_t>(b, data + 40, 0xfffffffffffff000); },  // fileoff + filesize wraps around
       "segment __DATA (0x4000 bytes at 0xfffffffffffff000) lies outside the file"},
      {[&](auto& b) { poke<uint64_t>(b, data + 32, 0x2000); }, "segment __DATA has 0x4000 bytes of file for 0x2000 of memory"},
      {[&](auto& b) { poke<uint64_t>(b, data + 24, 0x2000); }, "segments __TEXT and __DATA overlap in memory"},
      {[&](auto& b) { poke<uint64_t>(b, data + 40, 0x2000); }, "segments __TEXT and __DATA share file bytes"},
      {[&](auto& b) { poke<uint64_t>(b, data + 72 + 32, 0x7ff0); },
       "section __DATA,__data lies outside the addresses of segment __DATA"},
      {[&](auto& b) { poke<uint32_t>(b, data + 72 + 48, 0x7ff0); },
       "section __DATA,__data lies outside the file bytes of segment __DATA"},
      {[&](auto& b) { poke<uint32_t>(b, symtab + 8, 0xfffffff0), poke<uint32_t>(b, symtab + 12, 1); },
       "the symbol table (0x10 bytes at 0xfffffff0) lies outside the file"},
      {[&](auto& b) { poke<uint32_t>(b, info + 20, 0x10000); }, "the bind opcodes (0x10000 bytes at 0x8000) lies outside"},
      {[&](auto& b) { poke<uint32_t>(b, info, kCodeSignature), poke<uint32_t>(b, info + 12, 0x100000); },
       "the data of LC_CODE_SIGNATURE (0x100000 bytes at 0x0) lies outside the file"},
  });
}

TEST(MachoReader, RefusesChainedFixupsWhoseStartsOrChainsLeaveTheirSegment) {
  const std::vector<uint8_t> image = chained();
  const size_t starts = kTables + 32, segment = kTables + 48;
  expectRefusals(image, {
      {[&](auto& b) { poke<uint32_t>(b, starts, 3); }, "chained fixups: starts for 3 segments in an image of 2"},
      {[&](auto& b) { poke<uint16_t>(b, segment + 22, 0x4000); }, "the starts of segment __DATA: page 0 starts past its end"},
      {[&](auto& b) {  // a chain whose next pointer would be the first of the following page
         poke<uint16_t>(b, segment + 22, 0x3ff8);
         poke<uint64_t>(b, kDataAddress + 0x3ff8, uint64_t{1} << 51);
       },
       "a chain in segment __DATA reaches 0x8000, outside its page or the segment's file bytes"},
      {[&](auto& b) { poke<uint64_t>(b, segment + 8, 0x8000); },
       "the starts of segment __DATA place it at 0x8000 from the header, but it lies at 0x4000"},
      {[&](auto& b) { poke<uint16_t>(b, segment + 6, 3); }, "pointer format 3, which is not supported"},
      {[&](auto& b) { poke<uint16_t>(b, segment + 20, 2); }, "the starts of segment __DATA list more pages than they hold"},
      {[&](auto& b) { poke<uint32_t>(b, kTables + 16, 0x10000000); },
       "the imports reach past the end of LC_DYLD_CHAINED_FIXUPS' data"},
      {[&](auto& b) { poke<uint32_t>(b, kTables + 72, 1 | 0x100 << 9); },
       "the name of import 0 starts past the end of LC_DYLD_CHAINED_FIXUPS' data"},
  });
}

// Offset-form pointers count from the segment that maps the header: an image whose only segment
// is __PAGEZERO has none, and is refused before anything reads past its one segment.
TEST(MachoReader, RefusesChainedFixupsInAnImageWithOnlyPageZero) {
  Writer w;
  for (uint32_t word : {0xfeedfacfu, 0x0100000cu, 0x80000002u, 6u, 2u, 72u + 16u, 0u, 0u}) w.put(word);
  w.put<uint32_t>(kSegment), w.put<uint32_t>(72);
  w.name("__PAGEZERO", 16);
  for (uint64_t word : {uint64_t{0}, uint64_t{1} << 32, uint64_t{0}, uint64_t{0}}) w.put(word);
  for (int i = 0; i < 4; ++i) w.put<uint32_t>(0);
  for (uint32_t word : {kChainedFixups, 16u, 0x100u, 0x40u}) w.put(word);
  w.at(0x100);
  for (uint32_t word : {0u, 28u, 0u, 0u, 0u, 1u, 0u, 1u, 0u}) w.put(word);  // starts for __PAGEZERO: none
  w.at(0x13c);
  w.put<uint32_t>(0);
  EXPECT_THAT(refusal(w.bytes), HasSubstr("chained fixups in an image where no segment maps the header"));
}

TEST(MachoReader, RefusesUniversalSlicesOutsideTheFileOrOverlapping) {
  std::string file = synthetic::universal({{synthetic::kArm64, 0}, {synthetic::kArm64, synthetic::kArm64e}});
  auto spoilt = [&](size_t at, uint32_t value) {
    std::vector<uint8_t> bytes(file.begin(), file.end());
    for (int i = 0; i < 4; ++i) bytes[at + i] = static_cast<uint8_t>(value >> (24 - 8 * i));  // big-endian
    return refusal(bytes);
  };
  EXPECT_EQ(spoilt(0, 0xcafebabe), "(read)");
  EXPECT_THAT(spoilt(8 + 12, 0x100000), HasSubstr("slice 0 (0x100000 bytes at 0x1000) lies outside the file"));
  EXPECT_THAT(spoilt(8 + 20 + 8, 0x1010), HasSubstr("slice 1 overlaps another"));
  EXPECT_THAT(spoilt(4, 1000), HasSubstr("a universal header of 1000 slices"));
}

}  // namespace
