#include "stub_dylib.h"

#include <algorithm>
#include <map>
#include <stdexcept>

#include "macho_reader.h"

namespace macho {
namespace {

constexpr uint32_t kPage = 0x4000;
constexpr uint32_t kLcSegment64 = 0x19;
constexpr uint32_t kLcDysymtab = 0xb;
constexpr uint32_t kFlags = 0x1 | 0x4 | 0x80 | 0x100000;  // NOUNDEFS DYLDLINK TWOLEVEL NO_REEXPORTED_DYLIBS
constexpr uint32_t kFlagWeakDefines = 0x8000;
constexpr char kLibSystem[] = "/usr/lib/libSystem.B.dylib";

class Out {
 public:
  void u8(uint8_t v) { bytes.push_back(v); }
  void u16(uint16_t v) { put(v, 2); }
  void u32(uint32_t v) { put(v, 4); }
  void u64(uint64_t v) { put(v, 8); }
  void text(const std::string& s, size_t width) {
    std::string padded = s;
    padded.resize(width, '\0');
    bytes.insert(bytes.end(), padded.begin(), padded.end());
  }
  void uleb(uint64_t v) {
    do {
      uint8_t byte = v & 0x7f;
      v >>= 7;
      bytes.push_back(v != 0 ? byte | 0x80 : byte);
    } while (v != 0);
  }
  void align(size_t to) { bytes.resize((bytes.size() + to - 1) / to * to, 0); }
  std::vector<uint8_t> bytes;

 private:
  void put(uint64_t v, int width) {
    for (int i = 0; i < width; ++i) bytes.push_back(static_cast<uint8_t>(v >> (8 * i)));
  }
};

size_t ulebSize(uint64_t v) {
  size_t n = 1;
  while (v >>= 7) ++n;
  return n;
}

// An export trie, as dyld and the linkers read it: nodes with an optional terminal (flags and
// address of the symbol ending there) and edges labelled with the following characters.
class Trie {
 public:
  explicit Trie(const std::map<std::string, uint64_t>& symbols) : symbols_(symbols) {
    std::vector<std::string> names;
    for (const auto& [name, flags] : symbols) names.push_back(name);
    if (!names.empty()) build(names, 0, names.size(), 0);
    else nodes_.push_back({});
  }

  // The serialised trie. Node offsets are ULEB128-encoded, so their sizes depend on the offsets:
  // lay out until nothing moves.
  std::vector<uint8_t> bytes() {
    for (bool moved = true; moved;) {
      moved = false;
      uint64_t offset = 0;
      for (Node& node : nodes_) {
        if (node.offset != offset) moved = true;
        node.offset = offset;
        offset += size(node);
      }
    }
    Out out;
    for (const Node& node : nodes_) {
      if (node.terminal) {
        uint64_t flags = symbols_.at(node.name);
        out.uleb(ulebSize(flags) + 1);
        out.uleb(flags);
        out.uleb(0);  // address: a stub has no code or data
      } else {
        out.u8(0);
      }
      out.u8(static_cast<uint8_t>(node.edges.size()));
      for (const auto& [label, child] : node.edges) {
        out.text(label, label.size() + 1);
        out.uleb(nodes_[child].offset);
      }
    }
    out.align(8);
    return out.bytes;
  }

 private:
  struct Node {
    bool terminal = false;
    std::string name;
    std::vector<std::pair<std::string, size_t>> edges;
    uint64_t offset = 0;
  };

  // The node for names[lo, hi), which share their first `depth` characters. Returns its index.
  size_t build(const std::vector<std::string>& names, size_t lo, size_t hi, size_t depth) {
    size_t index = nodes_.size();
    nodes_.push_back({});
    if (names[lo].size() == depth) {
      nodes_[index].terminal = true;
      nodes_[index].name = names[lo];
      ++lo;
    }
    while (lo < hi) {
      size_t end = lo;
      while (end < hi && names[end][depth] == names[lo][depth]) ++end;
      size_t common = depth + 1;  // the group's common prefix
      while (common < names[lo].size() &&
             std::all_of(names.begin() + lo, names.begin() + end,
                         [&](const std::string& n) { return n.size() > common && n[common] == names[lo][common]; })) {
        ++common;
      }
      std::string label = names[lo].substr(depth, common - depth);
      size_t child = build(names, lo, end, common);
      nodes_[index].edges.push_back({label, child});
      lo = end;
    }
    return index;
  }

  size_t size(const Node& node) const {
    size_t n = 1;
    if (node.terminal) {
      uint64_t flags = symbols_.at(node.name);
      n = ulebSize(ulebSize(flags) + 1) + ulebSize(flags) + 1;
    }
    n += 1;
    for (const auto& [label, child] : node.edges) n += label.size() + 1 + ulebSize(nodes_[child].offset);
    return n;
  }

  const std::map<std::string, uint64_t>& symbols_;
  std::vector<Node> nodes_;
};

void dylibCommand(Out& out, uint32_t command, const std::string& name, uint32_t current, uint32_t compatibility) {
  uint32_t size = static_cast<uint32_t>((24 + name.size() + 1 + 7) / 8 * 8);
  out.u32(command);
  out.u32(size);
  out.u32(24);  // name offset
  out.u32(1);   // timestamp, as Apple's linker writes it
  out.u32(current);
  out.u32(compatibility);
  out.text(name, size - 24);
}

void segment(Out& out, const char* name, uint64_t address, uint64_t size, uint64_t fileOffset, uint64_t fileSize,
             uint32_t prot) {
  out.u32(kLcSegment64);
  out.u32(72);
  out.text(name, 16);
  out.u64(address);
  out.u64(size);
  out.u64(fileOffset);
  out.u64(fileSize);
  out.u32(prot);  // maxprot
  out.u32(prot);  // initprot
  out.u32(0);     // sections
  out.u32(0);     // flags
}

}  // namespace

std::string targetName(StubArch arch) { return arch == StubArch::Arm64 ? "arm64-ios" : "arm64e-ios"; }

std::vector<uint8_t> stubDylib(const tbd::Library& library, StubArch arch, uint32_t minOs) {
  const std::string target = targetName(arch);
  if (std::find(library.targets.begin(), library.targets.end(), target) == library.targets.end()) {
    throw std::runtime_error("the stub of " + library.installName + " does not list " + target);
  }
  // Export flags by name: kind absolute (no address of its own), or thread-local; weak definitions.
  std::map<std::string, uint64_t> symbols;
  bool weak = false;
  for (const tbd::Export& e : library.exportsFor(target)) {
    uint64_t flags = e.threadLocal ? 0x1 : 0x2;
    if (e.weak) flags |= 0x4;
    weak = weak || e.weak;
    if (!symbols.emplace(e.name, flags).second) {
      throw std::runtime_error("the stub of " + library.installName + " lists " + e.name + " twice");
    }
  }
  const bool linksLibSystem = library.installName != kLibSystem;

  // __LINKEDIT: the trie, then the symbol table (every export, absolute and external) and its names.
  Out linkedit;
  std::vector<uint8_t> trie = Trie(symbols).bytes();
  linkedit.bytes = trie;
  const uint32_t symbolsAt = static_cast<uint32_t>(linkedit.bytes.size());
  std::string strings(1, '\0');
  for (const auto& [name, flags] : symbols) {
    linkedit.u32(static_cast<uint32_t>(strings.size()));
    linkedit.u8(0x3);  // N_ABS | N_EXT
    linkedit.u8(0);
    linkedit.u16((flags & 0x4) ? 0x80 : 0);  // N_WEAK_DEF
    linkedit.u64(0);
    strings += name + '\0';
  }
  const uint32_t stringsAt = static_cast<uint32_t>(linkedit.bytes.size());
  linkedit.text(strings, (strings.size() + 7) / 8 * 8);

  Out commands;
  uint32_t count = 0;
  const uint32_t linkeditSize = static_cast<uint32_t>(linkedit.bytes.size());
  segment(commands, "__TEXT", 0, kPage, 0, kPage, 5);
  segment(commands, "__LINKEDIT", kPage, (linkeditSize + kPage - 1) / kPage * kPage, kPage, linkeditSize, 1);
  dylibCommand(commands, kLcIdDylib, library.installName, library.currentVersion, library.compatibilityVersion);
  commands.u32(kLcDyldInfoOnly);
  commands.u32(48);
  for (int i = 0; i < 8; ++i) commands.u32(0);  // no rebases or binds
  commands.u32(kPage);
  commands.u32(static_cast<uint32_t>(trie.size()));
  commands.u32(kLcSymtab);
  commands.u32(24);
  commands.u32(kPage + symbolsAt);
  commands.u32(static_cast<uint32_t>(symbols.size()));
  commands.u32(kPage + stringsAt);
  commands.u32(linkeditSize - stringsAt);
  commands.u32(kLcDysymtab);
  commands.u32(80);
  const uint32_t n = static_cast<uint32_t>(symbols.size());
  for (uint32_t v : {0u, 0u, 0u, n, n, 0u}) commands.u32(v);  // locals, external definitions, undefined
  for (int i = 0; i < 12; ++i) commands.u32(0);                // no tables of contents or indirect symbols
  commands.u32(kLcBuildVersion);
  commands.u32(24);
  commands.u32(kPlatformIos);
  commands.u32(minOs);
  commands.u32(minOs);  // sdk
  commands.u32(0);      // tools
  count = 7;
  if (linksLibSystem) {
    dylibCommand(commands, kLcLoadDylib, kLibSystem, 0x10000, 0x10000);
    ++count;
  }
  if (32 + commands.bytes.size() > kPage) {
    throw std::runtime_error("the install name of " + library.installName + " is too long for a stub");
  }

  Out file;
  file.u32(0xfeedfacf);
  file.u32(kCpuTypeArm64);
  file.u32(arch == StubArch::Arm64 ? kCpuSubtypeArm64All : (kCpuSubtypePtrauthAbi | kCpuSubtypeArm64e));
  file.u32(kFileTypeDylib);
  file.u32(count);
  file.u32(static_cast<uint32_t>(commands.bytes.size()));
  file.u32(kFlags | (weak ? kFlagWeakDefines : 0));
  file.u32(0);  // reserved
  file.bytes.insert(file.bytes.end(), commands.bytes.begin(), commands.bytes.end());
  file.bytes.resize(kPage, 0);
  file.bytes.insert(file.bytes.end(), linkedit.bytes.begin(), linkedit.bytes.end());
  return file.bytes;
}

}  // namespace macho
