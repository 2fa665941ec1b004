#include "constant_string.h"

#include <string>
#include <vector>

#include "host/corefoundation.h"

namespace emu {
namespace {

// The flags clang gives a CFSTR: an immutable constant string of 8-bit (0x7c8) or UTF-16 (0x7d0)
// characters.
constexpr uint32_t kConstantStringFlags8Bit = 0x7c8;
constexpr uint32_t kConstantStringFlagsUtf16 = 0x7d0;

}  // namespace

CFStringRef hostStringOfConstant(Machine& machine, uint64_t constant) {
  machine.authenticateIsa(constant, "the isa of the constant string there");
  uint32_t flags = machine.load<uint32_t>(constant + 8);
  uint64_t characters = machine.strip(machine.load<uint64_t>(constant + 16));
  uint64_t length = machine.load<uint64_t>(constant + 24);
  if (flags == kConstantStringFlags8Bit) {
    std::string bytes(length, '\0');
    machine.read(characters, bytes.data(), length);
    return host::cf::makeString(bytes);
  }
  if (flags == kConstantStringFlagsUtf16) {
    std::vector<UniChar> units(length);
    machine.read(characters, units.data(), length * 2);
    return CFStringCreateWithBytes(kCFAllocatorDefault, reinterpret_cast<const UInt8*>(units.data()),
                                   static_cast<CFIndex>(length * 2), kCFStringEncodingUTF16LE, false);
  }
  machine.fail("a constant string at " + machine.describe(constant) + " with unknown flags " + hex(flags));
}

}  // namespace emu
