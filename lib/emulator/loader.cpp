#include "loader.h"

#include <cxxabi.h>

#include <cstdlib>
#include <filesystem>

#include "fixups.h"

namespace emu {
namespace {

constexpr uint64_t kPage = 0x4000;  // iOS arm64 pages are 16 KiB
constexpr uint32_t kSegmentReadOnly = 0x10;

uint64_t pageUp(uint64_t value) { return (value + kPage - 1) & ~(kPage - 1); }

std::string fileName(const std::string& path) { return std::filesystem::path(path).filename().string(); }

// A symbol as its source names it: C++ names demangled, C names without the leading underscore.
std::string readableName(const std::string& symbol) {
  std::string name = symbol.rfind('_', 0) == 0 ? symbol.substr(1) : symbol;
  int status = 0;
  char* demangled = abi::__cxa_demangle(name.c_str(), nullptr, nullptr, &status);
  if (status == 0 && demangled != nullptr) name = demangled;
  std::free(demangled);
  return name;
}

// The address a bind sets: the export of the library its ordinal names, plus the addend.
uint64_t bindTarget(const Imports& imports, const macho::Image& image, const macho::Fixup& bind,
                    const std::string& path) {
  std::string library;
  if (bind.ordinal >= 1) {
    library = image.library(bind.ordinal);
    if (library.empty()) throw Error("bind of " + bind.symbol + " to library ordinal " + std::to_string(bind.ordinal) +
                                     ", which " + fileName(path) + " does not link");
  } else if (bind.ordinal != macho::kOrdinalFlatLookup && bind.ordinal != macho::kOrdinalWeakLookup) {
    throw Error("bind of " + bind.symbol + " to special ordinal " + std::to_string(bind.ordinal) +
                " (the image itself or the main executable), which the emulated process does not provide");
  }
  uint64_t address = imports.find(library, bind.symbol);
  if (address == 0) {
    if (bind.weakImport) return 0;
    throw Error("Symbol not found: " + bind.symbol + ", referenced from " + fileName(path) +
                ", expected in: " + (library.empty() ? "(flat namespace)" : library));
  }
  return address + bind.addend;
}

}  // namespace

LoadedImage load(Machine& machine, const Imports& imports, const macho::Image& image, const std::string& path,
                 uint64_t base) {
  if (image.cpuType != macho::kCpuTypeArm64) throw Error(fileName(path) + " is not an arm64 image");
  const bool arm64e = image.cpuSubtype == macho::kCpuSubtypeArm64e;
  if (arm64e && !(image.fullCpuSubtype & macho::kCpuSubtypePtrauthAbi)) {
    throw Error(fileName(path) + " is an arm64e image without the versioned pointer-authentication ABI (subtype " +
                hex(image.fullCpuSubtype) + "), which dyld does not load");
  }
  if (arm64e != machine.pointerAuthentication()) {
    throw Error(fileName(path) + (arm64e ? " is an arm64e image and the process is arm64 (no pointer authentication)"
                                         : " is an arm64 image and the process is arm64e, where dyld loads only arm64e"));
  }
  LoadedImage loaded;
  loaded.path = path;
  loaded.base = base;
  loaded.rpaths = image.rpaths;
  const macho::Segment* text = nullptr;
  for (const macho::Segment& s : image.segments) {
    if (s.name == "__TEXT") text = &s;
  }
  if (text == nullptr) throw Error(fileName(path) + " has no __TEXT segment");
  loaded.slide = base - text->address;

  // Map writable first: the fixups below are the loader's writes. A load that fails leaves nothing
  // mapped, so that the process can load another image in the same place.
  std::vector<std::pair<uint64_t, uint64_t>> mapped;
  try {
    for (const macho::Segment& s : image.segments) {
      if (s.size == 0 || s.initProt == 0) continue;  // __PAGEZERO and the like
      uint64_t at = s.address + loaded.slide;
      machine.map(at, pageUp(s.size), kRead | kWrite);
      mapped.push_back({at, pageUp(s.size)});
      // The reader checked that the file bytes lie in the file and within the segment.
      if (s.fileSize > 0) machine.write(at, image.bytes.data() + s.fileOffset, s.fileSize);
      loaded.size = std::max(loaded.size, at + pageUp(s.size) - base);
    }
    for (const macho::Fixup& fixup : macho::fixups(image)) {
      uint64_t location = fixup.address + loaded.slide;
      uint64_t value = fixup.kind == macho::Fixup::Kind::Rebase ? fixup.target + loaded.slide
                                                                : bindTarget(imports, image, fixup, path);
      // A signed pointer is signed as dyld signs it: the fixup's key, and its discriminator, blended
      // with the pointer's own address when the fixup asks for address diversity. NULL stays NULL.
      if (fixup.authenticated) {
        uint64_t modifier = fixup.addressDiversity ? blendDiscriminator(location, fixup.diversity) : fixup.diversity;
        value = machine.sign(value, static_cast<PacKey>(fixup.key), modifier);
      }
      machine.store<uint64_t>(location, value);
    }
    for (const macho::Segment& s : image.segments) {
      if (s.size == 0 || s.initProt == 0) continue;
      int protection = static_cast<int>(s.initProt);
      if (s.flags & kSegmentReadOnly) protection &= ~kWrite;
      machine.protect(s.address + loaded.slide, pageUp(s.size), protection);
    }
  } catch (...) {
    for (const auto& [at, size] : mapped) machine.unmap(at, size);
    throw;
  }

  // Addresses in errors name the function (demangled) or, between functions, the section they fall in
  // (an __auth_stubs stub, say).
  std::vector<std::pair<uint64_t, std::string>> names;
  for (const macho::Symbol& symbol : image.symbols) {
    if (!symbol.debug() && !symbol.undefined()) names.push_back({symbol.value + loaded.slide, readableName(symbol.name)});
  }
  for (const macho::Section& s : image.sections) {
    if (s.name != "__text") names.push_back({s.address + loaded.slide, s.name});
  }
  machine.nameRegion(base, loaded.size, fileName(path), std::move(names));

  // dyld takes the initialisers' addresses (stripped of any signature) and signs each itself before
  // calling it, so they run as plain addresses here.
  for (const macho::Section& s : image.sections) {
    if (s.name == "__mod_init_func") {
      for (uint64_t at = 0; at + 8 <= s.size; at += 8)
        loaded.initialisers.push_back(machine.strip(machine.load<uint64_t>(s.address + loaded.slide + at)));
    } else if (s.name == "__init_offsets") {
      for (uint64_t at = 0; at + 4 <= s.size; at += 4)
        loaded.initialisers.push_back(base + machine.load<uint32_t>(s.address + loaded.slide + at));
    }
  }
  return loaded;
}

Architecture architectureOf(const macho::Image& image) {
  return image.cpuSubtype == macho::kCpuSubtypeArm64e ? Architecture::Arm64e : Architecture::Arm64;
}

void runInitialisers(Machine& machine, const LoadedImage& image, const std::string& program) {
  uint64_t name = machine.allocateString(program);
  uint64_t argv = machine.allocate(16);
  machine.store<uint64_t>(argv, name);
  uint64_t empty = machine.allocate(8);  // envp and apple: empty lists
  for (uint64_t initialiser : image.initialisers) machine.call(initialiser, {1, argv, empty, empty});
}

std::vector<std::string> dlopenCandidates(const std::string& path, const LoadedImage* caller) {
  if (path.rfind("@rpath/", 0) != 0 || caller == nullptr) return {path};
  std::vector<std::string> candidates;
  for (std::string rpath : caller->rpaths) {
    if (rpath.rfind("@loader_path", 0) == 0)
      rpath = std::filesystem::path(caller->path).parent_path().string() + rpath.substr(12);
    candidates.push_back(rpath + "/" + path.substr(7));
  }
  return candidates;
}

}  // namespace emu
