// Loads an arm64 Mach-O image into the emulated process as dyld would: maps its segments with their
// protections, applies its own fixups (classic rebase/bind opcodes or chained fixups), binds every
// import to what the emulated system exports, and runs its initialisers in order.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "imports.h"
#include "machine.h"
#include "macho_reader.h"

namespace emu {

struct LoadedImage {
  std::string path;  // where the emulated device has the file (dladdr answers it)
  uint64_t base = 0;  // address of the Mach-O header in the process
  uint64_t slide = 0;  // added to every address the file names
  uint64_t size = 0;   // bytes of address space the segments span
  std::vector<std::string> rpaths;     // LC_RPATH, for @rpath lookups of the image's dlopen calls
  std::vector<uint64_t> initialisers;  // in the order the loader runs them
};

// Maps and fixes up `image` at `base`. A bind to a symbol the emulated system does not export fails
// the load naming the symbol and its library, as dyld does; a weak import binds to 0 instead. Lazily
// bound pointers are bound at load (dyld on iOS 15 binds them at launch, never through
// dyld_stub_binder). Signed (arm64e) fixups are signed as dyld signs them. Segments marked
// SG_READ_ONLY become read-only once fixed up. An arm64e image loads only into a machine with pointer
// authentication enabled, and only with the versioned ABI (subtype 0x80000002); an arm64 image only
// into one without. A load that fails unmaps what it mapped, so another image can take its place.
LoadedImage load(Machine& machine, const Imports& imports, const macho::Image& image, const std::string& path,
                 uint64_t base);

// The architecture of a process that loads `image`: arm64e for an arm64e slice, else arm64.
Architecture architectureOf(const macho::Image& image);

// Runs the image's initialisers (__mod_init_func pointers, or __init_offsets) in order, with the
// arguments dyld passes: argc, argv, envp, the apple strings.
void runInitialisers(Machine& machine, const LoadedImage& image, const std::string& program);

// The files dlopen(`path`) tries, in order, when `caller` (or nullptr) asks: for "@rpath/NAME" NAME in
// each of the caller's run paths, "@loader_path" being the caller's folder; else the path itself.
std::vector<std::string> dlopenCandidates(const std::string& path, const LoadedImage* caller);

}  // namespace emu
