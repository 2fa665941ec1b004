// libFuzzer target: text as a .tbd stub in the stub SDK, read as make-stub-dylibs reads it, and each
// stub it would write read back by the Mach-O reader: what the text-stub reader accepts makes a
// well-formed dylib exporting exactly the stub's symbols. No input may crash, hang or leak.
#include <stddef.h>
#include <stdint.h>
#include <stdlib.h>

#include <set>
#include <stdexcept>
#include <string>

#include "macho_reader.h"
#include "stub_dylib.h"
#include "tbd.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* bytes, size_t size) {
  tbd::Library library;
  try {
    library = tbd::readText(std::string(reinterpret_cast<const char*>(bytes), size), "fuzz.tbd");
  } catch (const std::runtime_error&) {
    return 0;
  }
  for (macho::StubArch arch : {macho::StubArch::Arm64, macho::StubArch::Arm64e}) {
    std::vector<uint8_t> stub;
    try {
      stub = macho::stubDylib(library, arch, 0x000f0000);
    } catch (const std::runtime_error&) {
      continue;  // a target it does not list, a symbol listed twice, an install name too long
    }
    std::set<std::string> expected, exported;
    for (const tbd::Export& e : library.exportsFor(macho::targetName(arch))) expected.insert(e.name);
    macho::Image image = macho::readBytes(stub).at(0);  // throws (and so aborts) on a malformed stub
    for (const macho::Symbol& s : image.symbols) exported.insert(s.name);
    if (image.installName != library.installName || exported != expected) abort();
  }
  return 0;
}
