// CFSTR constants of a loaded image, as the host's strings.
#pragma once

#include <CoreFoundation/CoreFoundation.h>

#include <cstdint>

#include "machine.h"

namespace emu {

// A new host string (+1) with the text of the CFSTR constant at `constant` (clang's __cfstring
// layout: isa, flags, characters, length; 8-bit or UTF-16 characters), for the first use of that
// constant. Its isa is authenticated first, as objc_msgSend does (Machine::authenticateIsa): in an
// arm64e process an isa signed otherwise, or unsigned, stops the run with "pointer authentication
// failed at ...". Flags of any other kind stop the run too.
CFStringRef hostStringOfConstant(Machine& machine, uint64_t constant);

}  // namespace emu
