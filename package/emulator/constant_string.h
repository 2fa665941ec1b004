// CFSTR constants of a loaded image, as the host's strings.
#pragma once

#include <CoreFoundation/CoreFoundation.h>

#include <cstdint>

#include "machine.h"

namespace emu {

// A new host string (+1) with the text of the CFSTR constant at `constant` (clang's __cfstring
// layout: isa, flags, characters, length; 8-bit or UTF-16 characters). Stops the run for flags of any
// other kind.
CFStringRef hostStringOfConstant(Machine& machine, uint64_t constant);

}  // namespace emu
