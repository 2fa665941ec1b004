// make-stub-dylibs: turns the stub SDK's text stubs into Mach-O link stubs, for Apple's ld64 built
// without libtapi, which reads libraries only as Mach-O files.
#include <cstdio>
#include <cstring>
#include <exception>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "stub_dylib.h"
#include "tbd.h"

namespace fs = std::filesystem;

namespace {

const char kUsage[] = R"(Usage: make-stub-dylibs [--arch ARCH]... [--min-ios VERSION] SDK_DIR OUT_DIR

Writes a Mach-O stub dylib for every text stub (.tbd) below SDK_DIR, for each ARCH (arm64, arm64e;
default both), into OUT_DIR/ARCH/ with SDK_DIR's layout:
  FOLDER/Name.framework/Name.tbd  ->  OUT_DIR/ARCH/FOLDER/Name.framework/Name
  FOLDER/libName.tbd              ->  OUT_DIR/ARCH/FOLDER/libName.dylib
so that OUT_DIR/ARCH can serve a linker as SDK_DIR does. Each stub holds the library's install name,
current and compatibility versions and the symbols the .tbd exports for ARCH-ios, nothing else
(arm64e stubs have CPU subtype 0x80000002, as ld64 requires for an arm64e link). OUT_DIR/ARCH is
emptied first. VERSION is the stubs' minimum iOS version (default 15.0).

Exit status: 0 on success; 1 when a stub cannot be read or written (the reason goes to standard
error); 2 for a usage error.
)";

// Where the stub for `tbd` (relative to the SDK folder) goes.
fs::path stubPath(const fs::path& relative) {
  fs::path parent = relative.parent_path();
  std::string stem = relative.stem().string();
  if (parent.filename() == stem + ".framework") return parent / stem;
  return parent / (stem + ".dylib");
}

void write(const fs::path& path, const std::vector<uint8_t>& bytes) {
  fs::create_directories(path.parent_path());
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
  if (!out.flush()) throw std::runtime_error("cannot write " + path.string());
}

int usageError(const std::string& message) {
  std::fprintf(stderr, "make-stub-dylibs: %s (see --help)\n", message.c_str());
  return 2;
}

}  // namespace

int main(int argc, char** argv) {
  std::vector<macho::StubArch> archs;
  std::string minIos = "15.0";
  std::vector<std::string> paths;
  for (int i = 1; i < argc; ++i) {
    std::string arg = argv[i];
    if (arg == "--help" || arg == "-h") {
      std::fputs(kUsage, stdout);
      return 0;
    }
    if (arg == "--arch" || arg == "--min-ios") {
      if (++i == argc) return usageError(arg + " needs a value");
      if (arg == "--min-ios") {
        minIos = argv[i];
      } else if (std::strcmp(argv[i], "arm64") == 0) {
        archs.push_back(macho::StubArch::Arm64);
      } else if (std::strcmp(argv[i], "arm64e") == 0) {
        archs.push_back(macho::StubArch::Arm64e);
      } else {
        return usageError(std::string("unknown architecture '") + argv[i] + "': arm64 or arm64e");
      }
    } else if (!arg.empty() && arg[0] == '-') {
      return usageError("unknown option '" + arg + "'");
    } else {
      paths.push_back(arg);
    }
  }
  if (paths.size() != 2) return usageError("give the SDK folder and the output folder");
  if (archs.empty()) archs = {macho::StubArch::Arm64, macho::StubArch::Arm64e};
  const fs::path sdk = paths[0], out = paths[1];
  try {
    uint32_t minOs = tbd::packVersion(minIos);
    if (!fs::is_directory(sdk)) throw std::runtime_error(sdk.string() + " is not a folder");
    std::vector<fs::path> stubs = tbd::findAll(sdk);
    if (stubs.empty()) throw std::runtime_error("no .tbd files below " + sdk.string());
    std::vector<tbd::Library> libraries;
    for (const fs::path& file : stubs) libraries.push_back(tbd::read(file));
    for (macho::StubArch arch : archs) {
      fs::path root = out / (arch == macho::StubArch::Arm64 ? "arm64" : "arm64e");
      fs::remove_all(root);
      for (size_t i = 0; i < stubs.size(); ++i) {
        write(root / stubPath(fs::relative(stubs[i], sdk)), macho::stubDylib(libraries[i], arch, minOs));
      }
    }
  } catch (const std::exception& error) {
    std::fprintf(stderr, "make-stub-dylibs: %s\n", error.what());
    return 1;
  }
  return 0;
}
