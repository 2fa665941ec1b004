// macho-slices: names the architecture slices of device binaries and refuses any a rootless iPhone
// would not load, so the device build stops instead of packing a binary dyld turns away.
#include <cstdio>
#include <cstring>
#include <exception>
#include <set>
#include <sstream>
#include <stdexcept>
#include <string>
#include <vector>

#include "macho_reader.h"
#include "slice_checks.h"

namespace {

const char kUsage[] = R"(Usage: macho-slices [--expect ARCHS] [--contents] FILE...

Names the architecture slices of each Mach-O FILE (thin or universal), one line per file:
  FILE: arm64 arm64e
and checks that every slice is one a rootless iPhone loads:
  arm64    CPU type ARM64, subtype ALL (0)
  arm64e   CPU type ARM64, subtype 0x80000002 (arm64e with the versioned pointer-authentication
           ABI; dyld refuses any other arm64e subtype in an A12-or-later process)
With --expect, each FILE must also hold exactly the slices ARCHS names (comma-separated, e.g.
arm64,arm64e).
With --contents, each slice's contents must also be what the device loads and runs:
  every slice  a code signature that matches its bytes
  arm64e       chained fixups in an arm64e pointer format; every pointer to code stored in data
               (hook tables, methods added to classes) signed with key IA, no address diversity and
               discriminator 0, as the runtime and the hooking library call it; imports called
               through __auth_stubs and __auth_got, never unsigned stubs, every __auth_got slot
               signed with key IA, address diversity and discriminator 0, as the stubs authenticate
               it; every constant string's isa (__cfstring) bound to
               ___CFConstantStringClassReference and signed with key DA, address diversity and
               discriminator 0x6AE1, as objc_msgSend authenticates an isa; a compact unwind entry
               for every function (none in DWARF mode) and no __eh_frame entry that flips the
               return-address signing state, as Apple's toolchain writes them
Each problem is named with its address, section and nearest symbol.

Exit status: 0 when every FILE passes, 1 when one does not (the reason goes to standard error),
2 for a usage error.
)";

constexpr uint32_t kArm64eVersioned = macho::kCpuSubtypePtrauthAbi | macho::kCpuSubtypeArm64e;

using macho::hex;

// The architecture name of a loadable slice; throws the reason for any other slice.
std::string archOf(const macho::Image& slice) {
  if (slice.cpuType != macho::kCpuTypeArm64) {
    throw std::runtime_error("a slice has CPU type " + hex(slice.cpuType) + ", not ARM64 (" +
                             hex(macho::kCpuTypeArm64) + ")");
  }
  if (slice.fullCpuSubtype == macho::kCpuSubtypeArm64All) return "arm64";
  if (slice.fullCpuSubtype == kArm64eVersioned) return "arm64e";
  if (slice.cpuSubtype == macho::kCpuSubtypeArm64e) {
    throw std::runtime_error(
        "the arm64e slice has CPU subtype " + hex(slice.fullCpuSubtype) + ", not " + hex(kArm64eVersioned) +
        " (arm64e with the versioned pointer-authentication ABI): dyld refuses it on A12 and later devices. "
        "Build arm64e with clang-22 and Apple's ld64 (package/toolchain/build-ld64) or Xcode; clang-19 and "
        "ld64.lld cannot make it");
  }
  throw std::runtime_error("an arm64 slice has CPU subtype " + hex(slice.fullCpuSubtype) +
                           ", neither ALL (0) nor arm64e (" + hex(kArm64eVersioned) + ")");
}

std::string joined(const std::vector<std::string>& names, const char* separator) {
  std::string text;
  for (const std::string& name : names) text += (text.empty() ? "" : separator) + name;
  return text;
}

// Checks one file; prints its slices, or the reason it fails. Returns whether it passed.
bool check(const char* path, const std::vector<std::string>& expected, bool contents) {
  try {
    std::vector<std::string> archs;
    std::string problems;
    for (const macho::Image& slice : macho::readFile(path)) {
      std::string arch = archOf(slice);
      for (const std::string& seen : archs) {
        if (seen == arch) throw std::runtime_error("two " + arch + " slices");
      }
      archs.push_back(arch);
      if (!contents) continue;
      for (const std::string& problem : macho::contentProblems(slice)) problems += "\n  " + arch + ": " + problem;
    }
    if (!problems.empty()) throw std::runtime_error("the device would not run it:" + problems);
    if (!expected.empty() &&
        std::set<std::string>(archs.begin(), archs.end()) != std::set<std::string>(expected.begin(), expected.end())) {
      throw std::runtime_error("has " + joined(archs, " + ") + ", expected " + joined(expected, " + "));
    }
    std::printf("%s: %s\n", path, joined(archs, " ").c_str());
    return true;
  } catch (const std::exception& error) {
    std::fprintf(stderr, "macho-slices: %s: %s\n", path, error.what());
    return false;
  }
}

}  // namespace

int main(int argc, char** argv) {
  std::vector<std::string> expected;
  std::vector<const char*> files;
  bool contents = false;
  for (int i = 1; i < argc; ++i) {
    if (std::strcmp(argv[i], "--help") == 0 || std::strcmp(argv[i], "-h") == 0) {
      std::fputs(kUsage, stdout);
      return 0;
    }
    if (std::strcmp(argv[i], "--expect") == 0) {
      if (++i == argc) {
        std::fputs("macho-slices: --expect needs a list such as arm64,arm64e (see --help)\n", stderr);
        return 2;
      }
      std::istringstream list(argv[i]);
      for (std::string arch; std::getline(list, arch, ',');) {
        if (arch != "arm64" && arch != "arm64e") {
          std::fprintf(stderr, "macho-slices: --expect names '%s'; the slices are arm64 and arm64e\n", arch.c_str());
          return 2;
        }
        expected.push_back(arch);
      }
    } else if (std::strcmp(argv[i], "--contents") == 0) {
      contents = true;
    } else if (argv[i][0] == '-') {
      std::fprintf(stderr, "macho-slices: unknown option '%s' (see --help)\n", argv[i]);
      return 2;
    } else {
      files.push_back(argv[i]);
    }
  }
  if (files.empty()) {
    std::fputs("macho-slices: no file given (see --help)\n", stderr);
    return 2;
  }
  bool passed = true;
  for (const char* file : files) passed = check(file, expected, contents) && passed;
  return passed ? 0 : 1;
}
