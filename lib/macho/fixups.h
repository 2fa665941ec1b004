// The loader's fixups of one image, decoded from either form a linker writes: the classic rebase and
// bind opcode streams of LC_DYLD_INFO(_ONLY), or the pointer chains of LC_DYLD_CHAINED_FIXUPS.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "macho_reader.h"

namespace macho {

// Special library ordinals of a bind.
constexpr int kOrdinalMainExecutable = -1;
constexpr int kOrdinalFlatLookup = -2;
constexpr int kOrdinalWeakLookup = -3;  // the weak-bind table's coalesced definitions

// One pointer the loader sets before any code of the image runs.
struct Fixup {
  enum class Kind { Rebase, Bind };
  Kind kind = Kind::Rebase;
  uint64_t address = 0;  // where the pointer lives (unslid vm address)
  uint64_t target = 0;   // Rebase: the unslid vm address it points to
  std::string symbol;    // Bind: the imported symbol, with its leading underscore
  int ordinal = 0;       // Bind: 1-based into Image::dylibs, or a special ordinal above
  int64_t addend = 0;    // Bind: added to the symbol's address
  bool weakImport = false;  // Bind: a missing symbol binds to 0 instead of failing the load
  std::string table;        // "rebase", "bind", "weak", "lazy" or "chained"
  uint16_t format = 0;      // chained fixups: the segment's pointer format (DYLD_CHAINED_PTR_*)
  // arm64e signed pointers (chained fixups only): the key (0 IA, 1 IB, 2 DA, 3 DB), the 16-bit
  // discriminator and whether the pointer's own address is blended into it.
  bool authenticated = false;
  uint8_t key = 0;
  bool addressDiversity = false;
  uint16_t diversity = 0;
};

// Every rebase and bind of the image, in the order the tables list them: rebases, binds, weak binds,
// lazy binds for the classic form; chain order for chained fixups. Throws std::runtime_error on a
// malformed table or a form this reader does not know (it names it).
std::vector<Fixup> fixups(const Image& image);

}  // namespace macho
