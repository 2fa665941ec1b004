// libFuzzer target: bytes as a Mach-O file handed to the project's tools, read as macho-slices
// --contents reads it: every slice opened (the reader's checks), its fixups decoded and its contents
// checked (code signature, arm64e pointers). No input may crash, hang or leak, and what the reader
// accepted is what it promised: every fixed-up pointer and every section's bytes lie in the file.
#include <stddef.h>
#include <stdint.h>
#include <stdlib.h>

#include <stdexcept>
#include <vector>

#include "fixups.h"
#include "macho_reader.h"
#include "slice_checks.h"

namespace {

bool zeroFill(const macho::Section& s) {
  const uint32_t type = s.flags & 0xff;
  return type == 0x1 || type == 0xc || type == 0x12;
}

void readEverything(const macho::Image& image) {
  (void)macho::contentProblems(image);  // never throws: each problem is a sentence
  for (const macho::Section& s : image.sections) {
    if (zeroFill(s)) continue;
    (void)image.pointers(s);  // would throw (and so abort) on bytes outside the file
    (void)image.cStrings(s);
  }
  std::vector<macho::Fixup> fixups;
  try {
    fixups = macho::fixups(image);
  } catch (const std::runtime_error&) {
    return;  // a table the reader leaves to the interpreter: refused with its reason
  }
  for (const macho::Fixup& f : fixups) {
    (void)image.wordAt(f.address);
    (void)image.sectionAt(f.address);
    (void)image.library(f.ordinal);
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* bytes, size_t size) {
  std::vector<macho::Image> slices;
  try {
    slices = macho::readBytes(std::vector<uint8_t>(bytes, bytes + size));
  } catch (const std::runtime_error&) {
    return 0;
  }
  for (const macho::Image& image : slices) {
    try {
      readEverything(image);
    } catch (const std::exception&) {
      abort();  // the reader accepted something that its readers then found outside the file
    }
  }
  return 0;
}
