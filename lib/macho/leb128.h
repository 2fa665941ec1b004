// LEB128 numbers, as the loader's opcode streams and DWARF's call-frame records store them.
#pragma once

#include <cstdint>

namespace macho {

// The number whose bytes `next()` yields in turn (`next` is where the end of the table is checked);
// `fail(what)`, which must throw, for one wider than 64 bits.
template <typename Next, typename Fail>
uint64_t readUleb128(Next next, Fail fail) {
  uint64_t value = 0;
  for (int shift = 0;; shift += 7) {
    const uint8_t b = next();
    const uint64_t bits = b & 0x7f;
    if (shift > 63 || (shift > 0 && bits >> (64 - shift) != 0)) fail("a ULEB128 is wider than 64 bits");
    value |= bits << shift;
    if ((b & 0x80) == 0) return value;
  }
}

// Sign-extended in unsigned arithmetic: a ten-byte SLEB128 fills all 64 bits without overflow.
template <typename Next, typename Fail>
int64_t readSleb128(Next next, Fail fail) {
  uint64_t value = 0;
  int shift = 0;
  uint8_t b = 0;
  do {
    if (shift > 63) fail("a SLEB128 is wider than 64 bits");
    b = next();
    value |= uint64_t{b & 0x7fu} << shift;
    shift += 7;
  } while (b & 0x80);
  if (shift < 64 && (b & 0x40)) value |= ~uint64_t{0} << shift;
  return static_cast<int64_t>(value);
}

}  // namespace macho
