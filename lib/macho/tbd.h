// Reads text-based library stubs (.tbd, version 4), the form the stub SDK describes its libraries in:
// the install name, versions and, per target, the symbols a library exports.
#pragma once

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

namespace tbd {

// One exported symbol, with its leading underscore ("_CFRelease", "_OBJC_CLASS_$_NSObject").
struct Export {
  std::string name;
  bool weak = false;         // weak definition (weak-symbols)
  bool threadLocal = false;  // thread-local variable (thread-local-symbols)
};

struct Library {
  std::string installName;
  uint32_t currentVersion = 0x10000;        // xxxx.yy.zz nibbles; a stub without one is 1.0
  uint32_t compatibilityVersion = 0x10000;  // likewise
  std::vector<std::string> targets;         // e.g. "arm64-ios", "arm64e-ios"
  // What the library exports for one target, as written in the stub; objc-classes become their class
  // and metaclass symbols, objc-eh-types and objc-ivars theirs. Re-exported symbols ("reexports",
  // defined in another library) are among them: a client's linker binds them to this library, and
  // the loader follows the re-export at run time.
  std::vector<Export> exportsFor(const std::string& target) const;

  struct Block {
    std::vector<std::string> targets;
    std::vector<Export> symbols;
  };
  std::vector<Block> exports;
};

// Parses one .tbd file. Throws std::runtime_error, naming the file and the reason, on YAML errors,
// a version other than 4, a key version 4 does not have, a missing install name or targets, an
// empty name or one holding a NUL character, a malformed version number, and on what a plain stub
// cannot stand for: re-exported libraries, several documents in one file (inlined libraries), an
// umbrella, allowable clients or a flat namespace.
Library read(const std::filesystem::path& file);

// The same for a stub's text; `name` stands for the file in errors.
Library readText(const std::string& text, const std::string& name);

// Every .tbd file below `root`, in path order.
std::vector<std::filesystem::path> findAll(const std::filesystem::path& root);

// "1.2.3" -> 0x00010203 (the packed form of a Mach-O dylib version); throws std::runtime_error on
// text that is not one to three dot-separated numbers within 65535.255.255.
uint32_t packVersion(const std::string& text);

}  // namespace tbd
