// Hand-made tiny Mach-O dylibs for the emulator's own tests: a byte writer, the load commands a
// two-segment dylib needs (__TEXT with __text, __DATA with its sections, one linked library, an empty
// symbol table), and the reader's view of the result.
#pragma once

#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "macho_reader.h"

namespace tiny {

constexpr uint64_t kTextSize = 0x4000, kDataAddress = 0x4000, kDataSize = 0x4000;
constexpr uint64_t kCode = 0x1000;
// Where the loader's tables (fixup opcodes or chains) sit in the file: past both segments.
constexpr uint32_t kTables = kDataAddress + kDataSize;
inline const char kLibrary[] = "/usr/lib/libtiny.dylib";

class Writer {
 public:
  std::vector<uint8_t> bytes;
  void at(size_t offset) { cursor_ = offset; }
  template <typename T>
  void put(T value) {
    if (bytes.size() < cursor_ + sizeof value) bytes.resize(cursor_ + sizeof value);
    std::memcpy(bytes.data() + cursor_, &value, sizeof value);
    cursor_ += sizeof value;
  }
  void name(const std::string& text, size_t width) {
    for (size_t i = 0; i < width; ++i) put<char>(i < text.size() ? text[i] : '\0');
  }
  void raw(const std::vector<uint8_t>& data) {
    for (uint8_t b : data) put(b);
  }
  void code(const std::vector<uint32_t>& instructions) {
    for (uint32_t instruction : instructions) put(instruction);
  }

 private:
  size_t cursor_ = 0;
};

struct DataSection {
  const char* name;
  uint64_t address, size;
  uint32_t flags;
};

// The header and load commands of a dylib for `cpuSubtype`: __TEXT (0 to kTextSize, __text of
// `codeSize` bytes at kCode), __DATA (kDataAddress, kDataSize) with `data`, `fixups` (a whole load
// command: LC_DYLD_INFO_ONLY or LC_DYLD_CHAINED_FIXUPS), an empty LC_SYMTAB and LC_LOAD_DYLIB of
// kLibrary.
inline void writeHeader(Writer& w, uint32_t cpuSubtype, uint64_t codeSize, const std::vector<DataSection>& data,
                        const std::vector<uint32_t>& fixups) {
  const uint32_t dylibCommandSize = 24 + 24;  // dylib_command + the padded name
  const uint32_t dataCommandSize = 72 + 80 * static_cast<uint32_t>(data.size());
  const uint32_t commandsSize = (72 + 80) + dataCommandSize + 4 * static_cast<uint32_t>(fixups.size()) + 24 +
                                dylibCommandSize;
  w.at(0);
  for (uint32_t word : {0xfeedfacfu, 0x0100000cu, cpuSubtype, 6u /* MH_DYLIB */, 5u, commandsSize, 0x80u, 0u})
    w.put<uint32_t>(word);
  auto segment = [&](const char* name, uint64_t address, uint64_t size, uint32_t protection, uint32_t sections) {
    w.put<uint32_t>(0x19);
    w.put<uint32_t>(72 + 80 * sections);
    w.name(name, 16);
    w.put<uint64_t>(address), w.put<uint64_t>(size), w.put<uint64_t>(address), w.put<uint64_t>(size);
    w.put<uint32_t>(protection), w.put<uint32_t>(protection), w.put<uint32_t>(sections), w.put<uint32_t>(0);
  };
  auto section = [&](const char* name, const char* segmentName, uint64_t address, uint64_t size, uint32_t flags) {
    w.name(name, 16);
    w.name(segmentName, 16);
    w.put<uint64_t>(address), w.put<uint64_t>(size);
    w.put<uint32_t>(static_cast<uint32_t>(address)), w.put<uint32_t>(3), w.put<uint32_t>(0), w.put<uint32_t>(0);
    w.put<uint32_t>(flags), w.put<uint32_t>(0), w.put<uint32_t>(0), w.put<uint32_t>(0);
  };
  segment("__TEXT", 0, kTextSize, 5, 1);
  section("__text", "__TEXT", kCode, codeSize, 0x80000400);
  segment("__DATA", kDataAddress, kDataSize, 3, static_cast<uint32_t>(data.size()));
  for (const DataSection& s : data) section(s.name, "__DATA", s.address, s.size, s.flags);
  for (uint32_t word : fixups) w.put<uint32_t>(word);
  w.put<uint32_t>(0x2), w.put<uint32_t>(24);  // LC_SYMTAB, empty
  for (int i = 0; i < 4; ++i) w.put<uint32_t>(0);
  w.put<uint32_t>(0xc), w.put<uint32_t>(dylibCommandSize);  // LC_LOAD_DYLIB
  w.put<uint32_t>(24), w.put<uint32_t>(0), w.put<uint32_t>(0x10000), w.put<uint32_t>(0x10000);
  w.name(kLibrary, 24);
  w.at(kDataAddress + kDataSize - 8);  // the file covers both segments
  w.put<uint64_t>(0);
}

// arm64e chained pointers (DYLD_CHAINED_PTR_ARM64E_USERLAND24) as Apple's linker writes them; `key`
// is 0 IA, 1 IB, 2 DA, 3 DB; `next` is the distance to the chain's next pointer in 8-byte steps.
inline uint64_t plainRebase(uint32_t offset, uint64_t next) { return offset | next << 51; }
inline uint64_t plainBind(uint32_t import, uint64_t next) { return import | next << 51 | uint64_t{1} << 62; }
inline uint64_t authRebase(uint32_t offset, uint8_t key, bool addressDiversity, uint16_t diversity, uint64_t next) {
  return offset | uint64_t{diversity} << 32 | uint64_t{addressDiversity} << 48 | uint64_t{key} << 49 | next << 51 |
         uint64_t{1} << 63;
}
inline uint64_t authBind(uint32_t import, uint8_t key, bool addressDiversity, uint16_t diversity, uint64_t next) {
  return authRebase(import, key, addressDiversity, diversity, next) | uint64_t{1} << 62;
}

// LC_DYLD_CHAINED_FIXUPS for writeHeader, and its data at kTables as Apple's linker lays it out: the
// header, starts in the image (two segments), starts in __DATA (one 16 KiB page of pointer format
// `format`, its chain beginning at the page's start), and `imports` of library 1 with their names.
// The chain itself is the caller's: pointers at kDataAddress on.
inline std::vector<uint32_t> chainedFixupsCommand(const std::vector<std::string>& imports) {
  uint32_t names = 1;
  for (const std::string& name : imports) names += static_cast<uint32_t>(name.size()) + 1;
  return {0x80000034, 16, kTables, 72 + 4 * static_cast<uint32_t>(imports.size()) + names};
}
inline void writeChainedFixups(Writer& w, uint16_t format, const std::vector<std::string>& imports) {
  const uint32_t symbols = 72 + 4 * static_cast<uint32_t>(imports.size());
  w.at(kTables);
  for (uint32_t word : {0u, 32u, 72u, symbols, static_cast<uint32_t>(imports.size()), 1u, 0u}) w.put(word);
  w.at(kTables + 32);
  for (uint32_t word : {2u, 0u, 16u}) w.put(word);
  w.at(kTables + 48);
  w.put<uint32_t>(24), w.put<uint16_t>(0x4000), w.put<uint16_t>(format), w.put<uint64_t>(kDataAddress);
  w.put<uint32_t>(0), w.put<uint16_t>(1), w.put<uint16_t>(0);
  uint32_t name = 1;  // names follow a leading NUL, as ld64 writes them
  w.at(kTables + 72);
  for (const std::string& import : imports) {
    w.put<uint32_t>(1 | name << 9);
    name += static_cast<uint32_t>(import.size()) + 1;
  }
  w.put<char>('\0');
  for (const std::string& import : imports) w.name(import, import.size() + 1);
}

// An arm64e dylib whose one data section, `section` at kDataAddress, holds `words` (the chain starts
// at its first word), whose one import is `symbol`, and whose __TEXT holds the characters "text" at
// kText.
inline constexpr uint64_t kText = kCode;
inline std::vector<uint8_t> chainedDylib(const char* section, const std::vector<uint64_t>& words,
                                         const std::string& symbol) {
  Writer w;
  writeHeader(w, 0x80000002, 8, {{section, kDataAddress, 8 * words.size(), 0}}, chainedFixupsCommand({symbol}));
  w.at(kText);
  w.name("text", 8);
  w.at(kDataAddress);
  for (uint64_t word : words) w.put(word);
  writeChainedFixups(w, 12, {symbol});
  return w.bytes;
}

// The same with one CFSTR constant in __cfstring per `isa` word (the chained pointer of its isa, a
// bind of import 0, ___CFConstantStringClassReference, whose `next` must be 2), each with the 8-bit
// characters "text".
inline std::vector<uint8_t> constantStringsDylib(const std::vector<uint64_t>& isa) {
  std::vector<uint64_t> words;
  for (size_t i = 0; i < isa.size(); ++i)
    words.insert(words.end(), {isa[i], 0x7c8, plainRebase(kText, i + 1 < isa.size() ? 2 : 0), 4});
  return chainedDylib("__cfstring", words, "___CFConstantStringClassReference");
}

// The reader's image of `bytes`.
inline macho::Image imageOf(const std::vector<uint8_t>& bytes) { return macho::readBytes(bytes).at(0); }

}  // namespace tiny
