// The reader's part that checks LC_DYLD_CHAINED_FIXUPS' data as it opens a file (not part of its
// interface; macho_reader.h describes what is checked).
#pragma once

#include "bytes.h"
#include "macho_reader.h"

namespace macho {

// Reads the imports and walks every chain of `image`'s chained fixups into image.chained. Needs the
// segments and image.baseAddress; throws std::runtime_error through `in` on the first fault.
void readChainedFixups(const Bytes& in, Image& image);

}  // namespace macho
