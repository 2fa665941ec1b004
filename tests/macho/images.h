// The hand-made images the reader's tests spoil: a dylib with classic fixups and one with chained
// fixups (tiny_dylib.h), and the means to change one field of either.
#pragma once

#include <cstdint>
#include <cstring>
#include <stdexcept>
#include <string>
#include <vector>

#include "macho_reader.h"
#include "support/tiny_dylib.h"

namespace images {

using namespace tiny;

constexpr uint32_t kSymtab = 0x2, kLoadDylib = 0xc, kSegment = 0x19, kCodeSignature = 0x1d,
                   kDyldInfoOnly = 0x80000022, kChainedFixups = 0x80000034;

// A dylib whose __DATA,__data holds 16 pointers and whose bind opcodes (LC_DYLD_INFO_ONLY, at
// kTables) are `binds`. Its load commands: __TEXT, __DATA, LC_DYLD_INFO_ONLY, LC_SYMTAB, LC_LOAD_DYLIB.
inline std::vector<uint8_t> classic(const std::vector<uint8_t>& binds) {
  Writer w;
  writeHeader(w, 0, 16, {{"__data", kDataAddress, 128, 0}},
              {kDyldInfoOnly, 48, 0, 0, kTables, static_cast<uint32_t>(binds.size()), 0, 0, 0, 0, 0, 0});
  w.at(kTables);
  w.raw(binds);
  return w.bytes;
}

// An arm64e dylib with chained fixups (format DYLD_CHAINED_PTR_ARM64E_USERLAND24) and one import,
// _import: __DATA starts with a plain rebase to kCode and, 8 bytes on, the end of the chain, a bind.
// Its load commands: __TEXT, __DATA, LC_DYLD_CHAINED_FIXUPS, LC_SYMTAB, LC_LOAD_DYLIB.
inline std::vector<uint8_t> chained() {
  Writer w;
  writeHeader(w, 0x80000002, 16, {{"__data", kDataAddress, 16, 0}}, chainedFixupsCommand({"_import"}));
  w.at(kDataAddress);
  w.put<uint64_t>(kCode | uint64_t{1} << 51);
  w.put<uint64_t>(uint64_t{1} << 62);
  writeChainedFixups(w, 12, {"_import"});
  return w.bytes;
}

// The file offset of the first load command `command`.
inline size_t commandAt(const std::vector<uint8_t>& bytes, uint32_t command, int nth = 0) {
  size_t at = 32;
  for (uint32_t i = 0, count = macho::readBytes(bytes).at(0).commands.size(); i < count; ++i) {
    uint32_t cmd, size;
    std::memcpy(&cmd, bytes.data() + at, 4);
    std::memcpy(&size, bytes.data() + at + 4, 4);
    if (cmd == command && nth-- == 0) return at;
    at += size;
  }
  throw std::logic_error("no such load command");
}

template <typename T>
void poke(std::vector<uint8_t>& bytes, size_t at, T value) {
  std::memcpy(bytes.data() + at, &value, sizeof value);
}

// The reader's refusal of `bytes`, or "(read)" when it reads them.
inline std::string refusal(const std::vector<uint8_t>& bytes) {
  try {
    macho::readBytes(bytes);
  } catch (const std::runtime_error& e) {
    return e.what();
  }
  return "(read)";
}

}  // namespace images
