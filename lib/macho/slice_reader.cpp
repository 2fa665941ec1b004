#include "slice_reader.h"

#include <algorithm>

#include "bytes.h"
#include "chain_layout.h"

namespace macho {
namespace {

constexpr uint32_t kMagic64 = 0xfeedfacf;
constexpr uint32_t kLcSegment64 = 0x19;
constexpr uint32_t kLcDysymtab = 0xb;
constexpr uint32_t kLcLoadUpwardDylib = 0x80000023;
constexpr uint32_t kLcLazyLoadDylib = 0x20;
constexpr uint32_t kLcEncryptionInfo64 = 0x2c;
constexpr uint64_t kSegmentCommandSize = 72, kSectionSize = 80, kSymbolSize = 16;
const char kMalformed[] = "malformed Mach-O: ";

// What the reader knows of a load command's structure: its name, its fixed size, where its string
// (an lc_str offset) is kept, whether it names a range of the file as a linkedit_data_command does
// (offset at +8, size at +12), and whether an image may hold only one.
struct CommandShape {
  uint32_t command;
  const char* name;
  uint32_t size;
  uint32_t stringField = 0;  // the lc_str's offset in the command; 0: none
  bool dataRange = false;
  bool unique = false;
};

constexpr CommandShape kShapes[] = {
    {kLcSegment64, "LC_SEGMENT_64", kSegmentCommandSize},
    {kLcSymtab, "LC_SYMTAB", 24, 0, false, true},
    {kLcDysymtab, "LC_DYSYMTAB", 80, 0, false, true},
    {kLcLoadDylib, "LC_LOAD_DYLIB", 24, 8},
    {kLcIdDylib, "LC_ID_DYLIB", 24, 8, false, true},
    {0xe, "LC_LOAD_DYLINKER", 12, 8, false, true},
    {0xf, "LC_ID_DYLINKER", 12, 8, false, true},
    {kLcLoadWeakDylib, "LC_LOAD_WEAK_DYLIB", 24, 8},
    {kLcReexportDylib, "LC_REEXPORT_DYLIB", 24, 8},
    {kLcLoadUpwardDylib, "LC_LOAD_UPWARD_DYLIB", 24, 8},
    {kLcLazyLoadDylib, "LC_LAZY_LOAD_DYLIB", 24, 8},
    {kLcRpath, "LC_RPATH", 12, 8},
    {0x1b, "LC_UUID", 24, 0, false, true},
    {kLcCodeSignature, "LC_CODE_SIGNATURE", 16, 0, true, true},
    {0x1e, "LC_SEGMENT_SPLIT_INFO", 16, 0, true, true},
    {0x26, "LC_FUNCTION_STARTS", 16, 0, true, true},
    {0x29, "LC_DATA_IN_CODE", 16, 0, true, true},
    {0x2b, "LC_DYLIB_CODE_SIGN_DRS", 16, 0, true, true},
    {0x2e, "LC_LINKER_OPTIMIZATION_HINT", 16, 0, true, true},
    {kLcDyldExportsTrie, "LC_DYLD_EXPORTS_TRIE", 16, 0, true, true},
    {kLcDyldChainedFixups, "LC_DYLD_CHAINED_FIXUPS", 16, 0, true, true},
    {kLcDyldInfo, "LC_DYLD_INFO", 48, 0, false, true},
    {kLcDyldInfoOnly, "LC_DYLD_INFO_ONLY", 48, 0, false, true},
    {kLcBuildVersion, "LC_BUILD_VERSION", 24},
    {0x24, "LC_VERSION_MIN_MACOSX", 16},
    {0x25, "LC_VERSION_MIN_IPHONEOS", 16},
    {0x2f, "LC_VERSION_MIN_TVOS", 16},
    {0x30, "LC_VERSION_MIN_WATCHOS", 16},
    {0x2a, "LC_SOURCE_VERSION", 16, 0, false, true},
    {0x80000028, "LC_MAIN", 24, 0, false, true},
    {kLcEncryptionInfo64, "LC_ENCRYPTION_INFO_64", 24, 0, false, true},
};

const CommandShape* shapeOf(uint32_t command) {
  for (const CommandShape& shape : kShapes) {
    if (shape.command == command) return &shape;
  }
  return nullptr;
}

// Reads one slice's load commands, checking each as it goes.
class SliceReader {
 public:
  explicit SliceReader(Image& image) : image_(image), in_(image.bytes, kMalformed) {}

  void read() {
    if (in_.size() < 32 || in_.le<uint32_t>(0) != kMagic64) in_.fail("not a 64-bit Mach-O image");
    image_.cpuType = in_.le<uint32_t>(4);
    image_.fullCpuSubtype = in_.le<uint32_t>(8);
    image_.cpuSubtype = image_.fullCpuSubtype & 0x00ffffff;
    image_.fileType = in_.le<uint32_t>(12);
    const uint32_t count = in_.le<uint32_t>(16);
    const uint32_t commandsSize = in_.le<uint32_t>(20);
    image_.flags = in_.le<uint32_t>(24);
    if (!inside(32, commandsSize, in_.size())) {
      in_.fail("the load commands (" + hex(commandsSize) + " bytes) run past the end of the file");
    }
    const uint64_t end = 32 + uint64_t{commandsSize};
    uint64_t at = 32;
    for (uint32_t i = 0; i < count; ++i) {
      if (end - at < 8) in_.fail("load command " + std::to_string(i) + " lies outside sizeofcmds");
      const uint32_t command = in_.le<uint32_t>(at);
      const uint32_t size = in_.le<uint32_t>(at + 4);
      const CommandShape* shape = shapeOf(command);
      name_ = "load command " + std::to_string(i) + " (" + (shape != nullptr ? shape->name : hex(command)) + ")";
      if (size < 8) in_.fail(name_ + " has size " + std::to_string(size) + ", less than a load command's 8 bytes");
      if (size % 8 != 0) in_.fail(name_ + " has size " + std::to_string(size) + ", not a multiple of 8");
      if (size > end - at) in_.fail(name_ + " runs past sizeofcmds");
      if (shape != nullptr) checkShape(*shape, at, size);
      image_.commands.push_back(command);
      read(command, at, size);
      at += size;
    }
    if (hasCommand(kLcDyldChainedFixups) && (hasCommand(kLcDyldInfo) || hasCommand(kLcDyldInfoOnly))) {
      in_.fail("both LC_DYLD_INFO and LC_DYLD_CHAINED_FIXUPS: the loader takes one form of fixups");
    }
    checkSegments();
    readSymbols();
  }

 private:
  bool hasCommand(uint32_t command) const {
    return std::find(image_.commands.begin(), image_.commands.end(), command) != image_.commands.end();
  }

  void checkShape(const CommandShape& shape, uint64_t at, uint32_t size) {
    if (size < shape.size) {
      in_.fail(name_ + " has size " + std::to_string(size) + ", smaller than its structure (" +
               std::to_string(shape.size) + " bytes)");
    }
    if (shape.unique && hasCommand(shape.command)) in_.fail(name_ + " is the image's second " + shape.name);
    if (shape.dataRange) range(in_.le<uint32_t>(at + 8), in_.le<uint32_t>(at + 12), std::string("the data of ") + shape.name);
    if (shape.stringField != 0) (void)string(at, size, shape.stringField);
  }

  // The string an lc_str field at `field` names: inside the command, after its structure, and
  // NUL-terminated before the command ends.
  std::string string(uint64_t at, uint32_t size, uint32_t field) {
    const uint32_t offset = in_.le<uint32_t>(at + field);
    const CommandShape* shape = shapeOf(in_.le<uint32_t>(at));
    if (offset < shape->size || offset >= size) {
      in_.fail(name_ + "'s string at offset " + std::to_string(offset) + " lies outside the command");
    }
    return in_.cString(at + offset, at + size, name_ + "'s string");
  }

  // A range of the file a command names: no wrap-around, inside the slice.
  void range(uint64_t offset, uint64_t size, const std::string& what) {
    if (!inside(offset, size, in_.size())) {
      in_.fail(what + " (" + hex(size) + " bytes at " + hex(offset) + ") lies outside the file (" + hex(in_.size()) +
               " bytes)");
    }
  }
  // `count` entries of `width` bytes at `offset`.
  void table(uint32_t offset, uint32_t count, uint32_t width, const std::string& what) {
    range(offset, uint64_t{count} * width, what);
  }

  void read(uint32_t command, uint64_t at, uint32_t size) {
    switch (command) {
      case kLcSegment64: readSegment(at, size); break;
      case kLcIdDylib:
        image_.installName = string(at, size, 8);
        image_.currentVersion = in_.le<uint32_t>(at + 16);
        image_.compatibilityVersion = in_.le<uint32_t>(at + 20);
        break;
      case kLcLoadDylib:
      case kLcLoadWeakDylib:
      case kLcReexportDylib:
      case kLcLoadUpwardDylib:
      case kLcLazyLoadDylib: image_.dylibs.push_back(string(at, size, 8)); break;
      case kLcRpath: image_.rpaths.push_back(string(at, size, 8)); break;
      case kLcBuildVersion: {
        const uint32_t tools = in_.le<uint32_t>(at + 20);
        if (24 + uint64_t{tools} * 8 > size) in_.fail(name_ + " lists more tools than it holds");
        image_.build = {true, in_.le<uint32_t>(at + 8), in_.le<uint32_t>(at + 12), in_.le<uint32_t>(at + 16)};
        break;
      }
      case kLcSymtab:
        symbolsOffset_ = in_.le<uint32_t>(at + 8);
        symbolCount_ = in_.le<uint32_t>(at + 12);
        stringsOffset_ = in_.le<uint32_t>(at + 16);
        stringsSize_ = in_.le<uint32_t>(at + 20);
        table(symbolsOffset_, symbolCount_, kSymbolSize, "the symbol table");
        range(stringsOffset_, stringsSize_, "the string table");
        break;
      case kLcDysymtab: {
        // (offset field, count field, entry size) of its tables: contents, modules, referenced
        // symbols, indirect symbols, external and local relocations.
        static constexpr uint32_t kTables[][3] = {{32, 36, 8}, {40, 44, 56}, {48, 52, 4}, {56, 60, 4}, {64, 68, 8}, {72, 76, 8}};
        for (const auto& [offset, count, width] : kTables) {
          table(in_.le<uint32_t>(at + offset), in_.le<uint32_t>(at + count), width, "a table of LC_DYSYMTAB");
        }
        break;
      }
      case kLcDyldInfo:
      case kLcDyldInfoOnly: {
        if (dyldInfoSeen_) in_.fail(name_ + " follows another LC_DYLD_INFO");
        dyldInfoSeen_ = true;
        DyldInfo& info = image_.dyldInfo;
        info = {in_.le<uint32_t>(at + 8),  in_.le<uint32_t>(at + 12), in_.le<uint32_t>(at + 16), in_.le<uint32_t>(at + 20),
                in_.le<uint32_t>(at + 24), in_.le<uint32_t>(at + 28), in_.le<uint32_t>(at + 32), in_.le<uint32_t>(at + 36),
                in_.le<uint32_t>(at + 40), in_.le<uint32_t>(at + 44)};
        range(info.rebaseOffset, info.rebaseSize, "the rebase opcodes");
        range(info.bindOffset, info.bindSize, "the bind opcodes");
        range(info.weakBindOffset, info.weakBindSize, "the weak bind opcodes");
        range(info.lazyBindOffset, info.lazyBindSize, "the lazy bind opcodes");
        range(info.exportOffset, info.exportSize, "the export trie");
        break;
      }
      case kLcDyldChainedFixups:
        image_.chainedFixupsOffset = in_.le<uint32_t>(at + 8);
        image_.chainedFixupsSize = in_.le<uint32_t>(at + 12);
        break;
      case kLcCodeSignature:
        image_.codeSignatureOffset = in_.le<uint32_t>(at + 8);
        image_.codeSignatureSize = in_.le<uint32_t>(at + 12);
        readSignature();
        break;
      case kLcEncryptionInfo64: range(in_.le<uint32_t>(at + 8), in_.le<uint32_t>(at + 12), "the encrypted range"); break;
      default: break;
    }
  }

  void readSegment(uint64_t at, uint32_t size) {
    Segment segment{in_.fixed(at + 8, 16),     in_.le<uint64_t>(at + 24), in_.le<uint64_t>(at + 32),
                    in_.le<uint64_t>(at + 40), in_.le<uint64_t>(at + 48), in_.le<uint32_t>(at + 56),
                    in_.le<uint32_t>(at + 60), in_.le<uint32_t>(at + 68)};
    const std::string what = "segment " + segment.name;
    if (segment.address + segment.size < segment.address) in_.fail(what + "'s addresses wrap around");
    range(segment.fileOffset, segment.fileSize, what);
    if (segment.fileSize > segment.size) {
      in_.fail(what + " has " + hex(segment.fileSize) + " bytes of file for " + hex(segment.size) + " of memory");
    }
    const uint32_t sections = in_.le<uint32_t>(at + 64);
    if (kSegmentCommandSize + kSectionSize * sections > size) in_.fail(name_ + " lists more sections than it holds");
    for (uint32_t s = 0; s < sections; ++s) {
      const uint64_t header = at + kSegmentCommandSize + kSectionSize * s;
      Section section{in_.fixed(header + 16, 16), in_.fixed(header, 16), in_.le<uint64_t>(header + 32),
                      in_.le<uint64_t>(header + 40), in_.le<uint32_t>(header + 48), in_.le<uint32_t>(header + 64)};
      const std::string name = "section " + section.segment + "," + section.name;
      if (section.address < segment.address || !inside(section.address - segment.address, section.size, segment.size)) {
        in_.fail(name + " lies outside the addresses of " + what);
      }
      const uint32_t type = section.flags & 0xff;
      const bool zeroFill = type == 0x1 || type == 0xc || type == 0x12;  // S_ZEROFILL, S_GB_ZEROFILL, thread-local
      if (!zeroFill && section.size > 0 &&
          (section.fileOffset < segment.fileOffset ||
           !inside(section.fileOffset - segment.fileOffset, section.size, segment.fileSize))) {
        in_.fail(name + " lies outside the file bytes of " + what);
      }
      image_.sections.push_back(std::move(section));
    }
    image_.segments.push_back(std::move(segment));
  }

  // Segments may not share addresses or file bytes (the loader maps each on its own); the one that
  // maps the file's start is the image's base.
  void checkSegments() {
    std::vector<const Segment*> byAddress, byOffset;
    bool mapsHeader = false;
    for (const Segment& s : image_.segments) {
      if (s.size > 0) byAddress.push_back(&s);
      if (s.fileSize > 0) byOffset.push_back(&s);
      if (s.fileSize > 0 && s.fileOffset == 0) {
        image_.baseAddress = s.address;
        mapsHeader = true;
      }
    }
    std::sort(byAddress.begin(), byAddress.end(), [](auto* a, auto* b) { return a->address < b->address; });
    for (size_t i = 1; i < byAddress.size(); ++i) {
      if (byAddress[i]->address - byAddress[i - 1]->address < byAddress[i - 1]->size) {
        in_.fail("segments " + byAddress[i - 1]->name + " and " + byAddress[i]->name + " overlap in memory");
      }
    }
    std::sort(byOffset.begin(), byOffset.end(), [](auto* a, auto* b) { return a->fileOffset < b->fileOffset; });
    for (size_t i = 1; i < byOffset.size(); ++i) {
      if (byOffset[i]->fileOffset - byOffset[i - 1]->fileOffset < byOffset[i - 1]->fileSize) {
        in_.fail("segments " + byOffset[i - 1]->name + " and " + byOffset[i]->name + " share file bytes");
      }
    }
    if (image_.chainedFixupsSize != 0) {
      if (!mapsHeader) in_.fail("chained fixups in an image where no segment maps the header, which their targets count from");
      readChainedFixups(in_, image_);
    }
  }

  void readSymbols() {
    for (uint32_t i = 0; i < symbolCount_; ++i) {
      const uint64_t entry = symbolsOffset_ + kSymbolSize * i;
      const uint32_t name = in_.le<uint32_t>(entry);
      image_.symbols.push_back({in_.cString(uint64_t{stringsOffset_} + name, uint64_t{stringsOffset_} + stringsSize_,
                                            "the name of symbol " + std::to_string(i)),
                                in_.le<uint8_t>(entry + 4), in_.le<uint8_t>(entry + 5), in_.le<uint16_t>(entry + 6),
                                in_.le<uint64_t>(entry + 8)});
    }
  }

  // What the embedded signature says of itself, read only where it lies inside it: the kernel's check
  // of it (code_signature.h) names anything else wrong.
  void readSignature() {
    const uint64_t begin = image_.codeSignatureOffset, end = begin + image_.codeSignatureSize;
    CodeSignature& signature = image_.signature;
    signature.present = true;
    if (end - begin < 12) return;
    signature.superBlobMagic = in_.be32(begin);
    const uint32_t count = in_.be32(begin + 8);
    for (uint64_t i = 0; i < count && 20 + 8 * i <= end - begin; ++i) {
      const uint64_t blob = begin + in_.be32(begin + 16 + 8 * i);
      if (blob + 24 > end || in_.be32(blob) != 0xfade0c02) continue;  // the CodeDirectory
      signature.hasCodeDirectory = true;
      signature.codeDirectoryFlags = in_.be32(blob + 12);
      const uint64_t identifier = blob + in_.be32(blob + 20);
      if (identifier < end) signature.identifier = in_.fixed(identifier, std::min<uint64_t>(end - identifier, 1024));
    }
  }

  Image& image_;
  Bytes in_;
  std::string name_;  // the load command being read, for errors
  uint32_t symbolsOffset_ = 0, symbolCount_ = 0, stringsOffset_ = 0, stringsSize_ = 0;
  bool dyldInfoSeen_ = false;
};

}  // namespace

Image readSlice(std::vector<uint8_t> data) {
  Image image;
  image.bytes = std::move(data);
  SliceReader(image).read();
  return image;
}

}  // namespace macho
