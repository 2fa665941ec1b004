// The one interpreter of the loader's opcode tables on binds made to break it: a repeat count no
// image could hold, pointers outside their segment, LEB128 numbers at the edge of 64 bits; and the
// code-signature check on a page size it must refuse before using it.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <limits>

#include "code_signature.h"
#include "fixups.h"
#include "images.h"

namespace {

using namespace images;
using testing::HasSubstr;

// Bind opcodes: library 1, symbol _x, pointer type, __DATA at `offset` (a one-byte ULEB128), then `then`.
std::vector<uint8_t> binds(std::vector<uint8_t> then, uint8_t offset = 0) {
  std::vector<uint8_t> out{0x11, 0x40, '_', 'x', 0, 0x51, 0x71, offset};
  out.insert(out.end(), then.begin(), then.end());
  return out;
}

std::string failure(const std::vector<uint8_t>& bytes) {
  try {
    macho::fixups(macho::readBytes(bytes).at(0));
  } catch (const std::runtime_error& e) {
    return e.what();
  }
  return "(decoded)";
}

int64_t addend(const std::vector<uint8_t>& sleb) {
  std::vector<uint8_t> then{0x60};  // SET_ADDEND_SLEB
  then.insert(then.end(), sleb.begin(), sleb.end());
  then.insert(then.end(), {0x90, 0x00});  // DO_BIND, DONE
  std::vector<macho::Fixup> fixups = macho::fixups(macho::readBytes(classic(binds(then))).at(0));
  EXPECT_EQ(fixups.size(), 1u);
  return fixups.empty() ? 0 : fixups[0].addend;
}

TEST(BindOpcodes, ARepeatCountNoImageCouldHoldIsRefusedBeforeAnyIsMade) {
  // DO_BIND_ULEB_TIMES_SKIPPING_ULEB, 2^62 times, skipping nothing: a 1 KB file asking for all memory.
  EXPECT_THAT(failure(classic(binds({0xc0, 0x80, 0x80, 0x80, 0x80, 0x80, 0x80, 0x80, 0x80, 0x40, 0x00}))),
              HasSubstr("the bind table: it fixes up more pointers than the image's segments hold"));
  // Skipping 2^64 - 8 bytes after each: the same pointer again and again, no further.
  EXPECT_THAT(failure(classic(binds({0xc0, 0x80, 0x80, 0x01, 0xf8, 0xff, 0xff, 0xff, 0xff, 0xff, 0xff, 0xff, 0xff, 0x01}))),
              HasSubstr("more pointers than the image's segments hold"));
  EXPECT_EQ(failure(classic(binds({0xc0, 0x04, 0x08, 0x00}))), "(decoded)");
}

TEST(BindOpcodes, APointerOutsideItsSegmentsFileBytesIsRefused) {
  EXPECT_THAT(failure(classic(binds({0x80, 0x80, 0x80, 0x01, 0x90}))),  // ADD_ADDR_ULEB 0x4000, DO_BIND
              HasSubstr("a pointer at offset 0x4000 of segment __DATA, outside its file bytes"));
  EXPECT_THAT(failure(classic({0x75, 0x00, 0x90})), HasSubstr("segment index 5 of an image with 2 segments"));
  EXPECT_THAT(failure(classic({0x90})), HasSubstr("a pointer before any segment is chosen"));
}

TEST(BindOpcodes, Leb128NumbersUseAll64BitsAndNoMore) {
  EXPECT_EQ(addend({0x80, 0x80, 0x80, 0x80, 0x80, 0x80, 0x80, 0x80, 0x40}), -(int64_t{1} << 62));  // nine bytes
  EXPECT_EQ(addend({0x80, 0x80, 0x80, 0x80, 0x80, 0x80, 0x80, 0x80, 0x80, 0x7f}), std::numeric_limits<int64_t>::min());
  EXPECT_EQ(addend({0x7f}), -1);
  EXPECT_THAT(failure(classic({0x71, 0x80, 0x80, 0x80, 0x80, 0x80, 0x80, 0x80, 0x80, 0x80, 0x02})),
              HasSubstr("a ULEB128 is wider than 64 bits"));
}

// An embedded signature whose one code directory claims 2^64-byte pages.
TEST(CodeSignature, APageShiftOutOfRangeIsRefusedBeforeItIsUsed) {
  std::vector<uint8_t> bytes = classic({0x00});
  const size_t command = commandAt(bytes, kDyldInfoOnly);
  poke<uint32_t>(bytes, command, kCodeSignature);
  poke<uint32_t>(bytes, command + 8, kTables);
  poke<uint32_t>(bytes, command + 12, 20 + 88);
  bytes.resize(kTables + 20 + 88);
  auto be32 = [&](size_t at, uint32_t value) {
    for (int i = 0; i < 4; ++i) bytes[kTables + at + i] = static_cast<uint8_t>(value >> (24 - 8 * i));
  };
  // The super blob with one slot, then the code directory: length, version, flags (ad hoc), hash
  // offset, code limit (the signature's own offset).
  for (auto [at, value] : std::initializer_list<std::pair<size_t, uint32_t>>{
           {0, 0xfade0cc0}, {4, 20 + 88}, {8, 1}, {12, 0}, {16, 20},
           {20, 0xfade0c02}, {24, 88}, {28, 0x20400}, {32, 2}, {36, 88}, {52, kTables}}) {
    be32(at, value);
  }
  bytes[kTables + 20 + 36] = 32;  // hash size
  bytes[kTables + 20 + 37] = 2;   // SHA-256
  bytes[kTables + 20 + 39] = 64;  // page shift
  EXPECT_EQ(macho::codeSignatureProblem(macho::readBytes(bytes).at(0)), "the code directory's page shift 64 is out of range");
}

}  // namespace
