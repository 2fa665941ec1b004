// libSystem in the emulated process: the C library calls, dispatch_once_f and the stack protector
// (shared with the host-backed process, c_library.h); the dynamic loader's dlopen/dlsym/dladdr (with
// libroot.dylib present or absent) and posix_spawn (recorded, nothing runs).
#include <filesystem>

#include "c_library.h"
#include "process.h"

namespace emu {
namespace {

constexpr const char* kLibrootPath = "/var/jb/usr/lib/libroot.dylib";


}  // namespace

void Process::exportLibSystem() {
  const std::string& lib = kLibSystem;
  Machine& m = machine;
  exportCLibrary(m, imports);

  // dlopen resolves @rpath through the calling image's run paths and @loader_path to its folder; the
  // only library the emulated file system has besides the system's is libroot.dylib (if installed).
  librootHandle_ = m.allocate(16);
  imports.function(lib, "_dlopen", [this, &m](Cpu& cpu) {
    std::string path = m.cString(cpu.x(0));
    dlopens.push_back(path);
    const LoadedImage* caller = imageAt(cpu.lr());
    for (const std::string& candidate : dlopenCandidates(path, caller)) {
      if (options_.libroot && candidate == kLibrootPath) return cpu.setX(0, librootHandle_);
    }
    cpu.setX(0, 0);
  });
  imports.function(lib, "_dlsym", [this, &m](Cpu& cpu) {
    std::string name = m.cString(cpu.x(1));
    uint64_t found = cpu.x(0) == librootHandle_ ? imports.find("libroot", "_" + name) : 0;
    // dyld signs what it answers for a function as a C function pointer.
    cpu.setX(0, m.trapName(found).empty() ? found : m.signFunction(found));
  });
  imports.function(lib, "_dladdr", [this, &m](Cpu& cpu) {
    const LoadedImage* image = imageAt(m.strip(cpu.x(0)));  // a function's address comes signed
    if (image == nullptr) return cpu.setX(0, 0);
    uint64_t info = cpu.x(1);  // Dl_info: fname, fbase, sname, saddr
    m.store<uint64_t>(info, m.allocateString(image->path));
    m.store<uint64_t>(info + 8, image->base);
    m.store<uint64_t>(info + 16, 0);
    m.store<uint64_t>(info + 24, 0);
    cpu.setX(0, 1);
  });

  // libroot.dylib's five entry points, reached only through dlsym.
  uint64_t prefix = m.allocateString(kLibrootPrefix);
  uint64_t empty = m.allocateString("");
  uint64_t uuid = m.allocateString("6B1F3C7E-2D94-4A58-9E0B-57C3A1D8F240");
  imports.function("libroot", "_libroot_get_jbroot_prefix", [prefix](Cpu& cpu) { cpu.setX(0, prefix); });
  imports.function("libroot", "_libroot_get_root_prefix", [empty](Cpu& cpu) { cpu.setX(0, empty); });
  imports.function("libroot", "_libroot_get_boot_uuid", [uuid](Cpu& cpu) { cpu.setX(0, uuid); });
  auto resolve = [&m](Cpu& cpu, bool intoJbroot) {
    if (cpu.x(0) == 0) return cpu.setX(0, 0);
    std::string path = m.cString(cpu.x(0));
    std::string jb = kLibrootPrefix;
    std::string result = path;
    if (intoJbroot && !path.empty() && path[0] == '/') result = jb + path;
    if (!intoJbroot && path.compare(0, jb.size(), jb) == 0) result = path.size() == jb.size() ? "/" : path.substr(jb.size());
    uint64_t buffer = cpu.x(1) != 0 ? cpu.x(1) : m.allocate(1024);
    result = result.substr(0, 1023);
    m.write(buffer, result.c_str(), result.size() + 1);
    cpu.setX(0, buffer);
  };
  imports.function("libroot", "_libroot_jbrootpath", [resolve](Cpu& cpu) { resolve(cpu, true); });
  imports.function("libroot", "_libroot_rootfspath", [resolve](Cpu& cpu) { resolve(cpu, false); });

  imports.function(lib, "_posix_spawn", [this, &m](Cpu& cpu) {
    Spawn spawn;
    spawn.path = m.cString(cpu.x(1));
    spawn.fileActions = cpu.x(2) != 0;
    spawn.attributes = cpu.x(3) != 0;
    spawn.environment = cpu.x(5) != 0;
    for (uint64_t at = cpu.x(4); at != 0; at += 8) {
      uint64_t argument = m.load<uint64_t>(at);
      if (argument == 0) break;
      spawn.arguments.push_back(m.cString(argument));
    }
    spawns.push_back(spawn);
    if (cpu.x(0) != 0) m.store<int32_t>(cpu.x(0), 4200 + static_cast<int32_t>(spawns.size()));
    cpu.setX(0, 0);
  });
}

}  // namespace emu
