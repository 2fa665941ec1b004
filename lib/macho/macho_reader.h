// A small reader for the 64-bit Mach-O files the device build makes: the header, the load commands
// the structural checks look at, sections, the symbol table and the dynamic loader's binding table.
#pragma once

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

namespace macho {

constexpr uint32_t kCpuTypeArm64 = 0x0100000c;
constexpr uint32_t kCpuSubtypeArm64All = 0;
constexpr uint32_t kCpuSubtypeArm64e = 2;
// The capability bit of an arm64e subtype built for the versioned pointer-authentication ABI: the
// only arm64e slices dyld loads into an arm64e process carry it (0x80000002).
constexpr uint32_t kCpuSubtypePtrauthAbi = 0x80000000;
constexpr uint32_t kFileTypeDylib = 6;
constexpr uint32_t kFlagTwoLevel = 0x80;
constexpr uint32_t kPlatformIos = 2;

constexpr uint32_t kLcSymtab = 0x2;
constexpr uint32_t kLcLoadDylib = 0xc;
constexpr uint32_t kLcIdDylib = 0xd;
constexpr uint32_t kLcLoadWeakDylib = 0x80000018;
constexpr uint32_t kLcRpath = 0x8000001c;
constexpr uint32_t kLcCodeSignature = 0x1d;
constexpr uint32_t kLcReexportDylib = 0x8000001f;
constexpr uint32_t kLcDyldInfo = 0x22;
constexpr uint32_t kLcDyldInfoOnly = 0x80000022;
constexpr uint32_t kLcBuildVersion = 0x32;
constexpr uint32_t kLcDyldExportsTrie = 0x80000033;
constexpr uint32_t kLcDyldChainedFixups = 0x80000034;

// A segment as the loader maps it: vmsize bytes at `address`, the first fileSize of them from the
// file, with the protections it starts with (initProt) and may be given (maxProt): 1 read, 2 write,
// 4 execute.
struct Segment {
  std::string name;
  uint64_t address = 0;
  uint64_t size = 0;
  uint64_t fileOffset = 0;
  uint64_t fileSize = 0;
  uint32_t maxProt = 0;
  uint32_t initProt = 0;
  uint32_t flags = 0;  // 0x10: SG_READ_ONLY, made read-only once the loader has fixed it up
};

// Where LC_DYLD_INFO(_ONLY) keeps the loader's opcode streams: (file offset, size) pairs.
struct DyldInfo {
  uint32_t rebaseOffset = 0, rebaseSize = 0;
  uint32_t bindOffset = 0, bindSize = 0;
  uint32_t weakBindOffset = 0, weakBindSize = 0;
  uint32_t lazyBindOffset = 0, lazyBindSize = 0;
  uint32_t exportOffset = 0, exportSize = 0;
};

struct Section {
  std::string segment;
  std::string name;
  uint64_t address = 0;
  uint64_t size = 0;
  uint32_t fileOffset = 0;
  uint32_t flags = 0;  // type and attributes; 0x80000000 or 0x400: holds instructions

  bool holdsCode() const { return (flags & 0x80000400u) != 0; }
};

struct Symbol {
  std::string name;
  uint8_t type = 0;  // n_type
  uint8_t section = 0;
  uint16_t desc = 0;
  uint64_t value = 0;

  bool undefined() const { return (type & 0x0e) == 0x0 && (type & 0xe0) == 0; }
  bool external() const { return (type & 0x01) != 0; }
  bool debug() const { return (type & 0xe0) != 0; }
  // The two-level namespace library ordinal of an undefined symbol (1-based into Image::dylibs).
  int libraryOrdinal() const { return (desc >> 8) & 0xff; }
};

// LC_DYLD_CHAINED_FIXUPS as the reader checked it: its imports, and every pointer of every chain.
// fixups.h decodes what each pointer asks of the loader.
struct ChainedImport {
  std::string symbol;
  int ordinal = 0;  // 1-based into Image::dylibs, or a special (negative) ordinal
  bool weak = false;
  int64_t addend = 0;
};
struct ChainedPointer {
  uint64_t address = 0;  // where it lives: unslid vm address, inside its segment's file bytes
  uint16_t format = 0;   // its segment's pointer format (DYLD_CHAINED_PTR_*): 1, 2, 6, 9 or 12
  uint64_t raw = 0;      // the 64 bits the file stores there
};
struct ChainedFixups {
  std::vector<ChainedImport> imports;    // in table order: a bind names one by its index
  std::vector<ChainedPointer> pointers;  // by segment, then page, then along each chain
};

struct BuildVersion {
  bool present = false;
  uint32_t platform = 0;
  uint32_t minos = 0;  // xxxx.yy.zz nibbles: 15.0 is 0x000f0000
  uint32_t sdk = 0;
};

struct CodeSignature {
  bool present = false;
  uint32_t superBlobMagic = 0;       // 0xfade0cc0 for an embedded signature
  bool hasCodeDirectory = false;
  uint32_t codeDirectoryFlags = 0;  // 0x2: ad hoc
  std::string identifier;
};

// One architecture's slice of a Mach-O file.
struct Image {
  uint32_t cpuType = 0;
  uint32_t cpuSubtype = 0;  // without the capability bits
  uint32_t fullCpuSubtype = 0;  // as stored, with the capability bits (arm64e: 0x80000002)
  uint32_t fileType = 0;
  uint32_t flags = 0;
  std::vector<uint32_t> commands;  // every load command, in order
  std::string installName;         // from LC_ID_DYLIB; empty without one
  uint32_t currentVersion = 0, compatibilityVersion = 0;  // from LC_ID_DYLIB, xxxx.yy.zz nibbles
  uint32_t codeSignatureOffset = 0, codeSignatureSize = 0;  // LC_CODE_SIGNATURE's data
  std::vector<std::string> rpaths;  // LC_RPATH, in order
  std::vector<std::string> dylibs;  // linked libraries in ordinal order (LC_LOAD_DYLIB and kin)
  BuildVersion build;
  CodeSignature signature;
  std::vector<Segment> segments;  // in load-command order
  std::vector<Section> sections;
  DyldInfo dyldInfo;
  uint32_t chainedFixupsOffset = 0, chainedFixupsSize = 0;  // LC_DYLD_CHAINED_FIXUPS' data
  ChainedFixups chained;
  // The address of the segment that maps the file's first bytes (the header, in __TEXT): the base
  // that offset-form pointers count from. 0 when no segment maps them.
  uint64_t baseAddress = 0;
  std::vector<Symbol> symbols;
  std::vector<uint8_t> bytes;  // the slice itself

  bool hasCommand(uint32_t command) const;
  const Section* section(const std::string& segment, const std::string& name) const;
  // The 64-bit words stored in a section (for pointer sections such as __mod_init_func).
  std::vector<uint64_t> pointers(const Section& section) const;
  // The NUL-terminated strings of a C-string section.
  std::vector<std::string> cStrings(const Section& section) const;
  // The defined symbol at `address`, or nullptr.
  const Symbol* symbolAt(uint64_t address) const;
  // The section holding `address`, or nullptr.
  const Section* sectionAt(uint64_t address) const;
  // The segment holding `address`, or nullptr.
  const Segment* segmentAt(uint64_t address) const;
  // The 64-bit word the file stores at a mapped address (throws when the address has no file bytes).
  uint64_t wordAt(uint64_t address) const;
  // The library a two-level ordinal names: its path, or "" for a special or out-of-range ordinal.
  std::string library(int ordinal) const;
};

// "0x1f4": an address, offset or field value as the tools' messages show it.
std::string hex(uint64_t value);

// Reads every slice of a thin or universal Mach-O file, and checks on the way everything the rest
// of the project reads through an Image, so that nothing else re-checks it: each load command's size
// against its structure (at least the structure, 8-byte aligned, inside the header's sizeofcmds;
// its strings NUL-terminated inside it; one of each command that may appear once), every file
// range a command names (segments, sections, symbol and string tables, the loader's opcode
// streams, chained fixups, code signature, exports trie) inside the slice without wrap-around,
// segments that do not overlap and keep their file bytes within their size, sections inside their
// segments, symbol names inside the string table, and the chained fixups' layout (imports and
// their names, starts of every segment and page inside it, each chain's steps inside its page).
// Throws std::runtime_error naming the first thing that is wrong ("malformed Mach-O: ...").
std::vector<Image> readFile(const std::filesystem::path& path);

// The same for the bytes of a file already in memory.
std::vector<Image> readBytes(std::vector<uint8_t> data);

// The name of an arm64 slice's architecture as the package and its tools give it: "arm64e" for CPU
// subtype arm64e, "arm64" for any other.
std::string architectureName(const Image& image);

// The slice of the thin or universal Mach-O file at `path` for `architecture`: "arm64" (CPU subtype
// ALL) or "arm64e" (subtype arm64e). Throws std::runtime_error naming what is missing: another name,
// a file that is not a well-formed Mach-O file, or no such slice ("PATH has no arm64e slice").
Image sliceOf(const std::filesystem::path& path, const std::string& architecture);

}  // namespace macho
