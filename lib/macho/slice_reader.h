// The reader's part that reads one slice and checks it as it goes (not part of its interface;
// macho_reader.h describes what is checked).
#pragma once

#include <cstdint>
#include <vector>

#include "macho_reader.h"

namespace macho {

// The image of one slice's bytes. Throws std::runtime_error ("malformed Mach-O: ...") on the first
// fault.
Image readSlice(std::vector<uint8_t> data);

}  // namespace macho
