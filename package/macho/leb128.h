// LEB128 numbers, as the loader's opcode streams and DWARF's call-frame records store them.
#pragma once

#include <cstdint>

namespace macho {

// The number whose bytes `next()` yields in turn; `fail(what)` (which must throw) for one longer
// than 64 bits. `next` is where the end of the table is checked.
template <typename Next, typename Fail>
uint64_t readUleb128(Next next, Fail fail) {
  uint64_t value = 0;
  for (int shift = 0;; shift += 7) {
    if (shift > 63) fail("bad ULEB128");
    uint8_t b = next();
    value |= uint64_t{b & 0x7fu} << shift;
    if ((b & 0x80) == 0) return value;
  }
}

template <typename Next, typename Fail>
int64_t readSleb128(Next next, Fail fail) {
  int64_t value = 0;
  int shift = 0;
  uint8_t b;
  do {
    if (shift > 63) fail("bad SLEB128");
    b = next();
    value |= int64_t{b & 0x7f} << shift;
    shift += 7;
  } while (b & 0x80);
  if (shift < 64 && (b & 0x40)) value |= -(int64_t{1} << shift);
  return value;
}

}  // namespace macho
