// Checks an image's embedded code signature the way the kernel does before it maps the code: every
// code directory's hashes against the bytes they cover.
#pragma once

#include <string>

#include "macho_reader.h"

namespace macho {

// "" when the slice carries an embedded signature (LC_CODE_SIGNATURE) whose code directories cover
// the whole file up to the signature and whose page hashes and special-slot hashes (requirements,
// entitlements) all match; otherwise the first problem found, as a sentence ("no code signature",
// "the hash of page 3 (0x3000-0x4000) does not match: the file changed after it was signed", ...).
// Hash types SHA-1, SHA-256, truncated SHA-256 and SHA-384 are known.
std::string codeSignatureProblem(const Image& image);

}  // namespace macho
