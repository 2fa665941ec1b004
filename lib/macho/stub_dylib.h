// Writes link stubs: Mach-O dylibs made from a text stub, for a linker that cannot read text stubs
// (ld64 built without libtapi). A stub holds what a linker reads of a library and nothing else: its
// install name and versions, the symbols it exports, and the platform it is for.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "tbd.h"

namespace macho {

enum class StubArch { Arm64, Arm64e };

// The Mach-O dylib standing in for `library` on `arch` (iOS, minimum version `minOs` in xxxx.yy.zz
// nibbles): MH_DYLIB of CPU type ARM64, subtype ALL (arm64) or 0x80000002 (arm64e, the versioned
// pointer-authentication ABI ld64 requires of every dylib an arm64e output links); LC_ID_DYLIB with
// the install name and versions; the symbols the stub lists for that target ("arm64-ios" or
// "arm64e-ios") in an export trie (LC_DYLD_INFO_ONLY) and, as absolute symbols, in the symbol table;
// LC_BUILD_VERSION; and, except in libSystem itself, a dependency on /usr/lib/libSystem.B.dylib, as
// every Apple library has. No code, no data. The same input gives the same bytes. Throws
// std::runtime_error when the stub does not list the target.
std::vector<uint8_t> stubDylib(const tbd::Library& library, StubArch arch, uint32_t minOs);

// "arm64-ios" or "arm64e-ios".
std::string targetName(StubArch arch);

}  // namespace macho
