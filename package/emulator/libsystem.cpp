// libSystem in the emulated process: the C library calls, dispatch_once_f, the dynamic loader's
// dlopen/dlsym/dladdr (with libroot.dylib present or absent), posix_spawn (recorded, nothing runs)
// and the stack protector.
#include <cstring>
#include <filesystem>

#include "process.h"

namespace emu {
namespace {

constexpr uint64_t kOnceDone = ~uint64_t{0};  // dispatch_once's predicate once the block has run
constexpr const char* kLibrootPath = "/var/jb/usr/lib/libroot.dylib";

std::string folderOf(const std::string& path) { return std::filesystem::path(path).parent_path().string(); }

}  // namespace

void Process::exportLibSystem() {
  const std::string& lib = kLibSystem;
  Machine& m = machine;

  uint64_t guard = m.allocate(8);
  m.store<uint64_t>(guard, 0x2f8a61c45e0b9d37);
  imports.data(lib, "___stack_chk_guard", guard);
  imports.function(lib, "___stack_chk_fail", [&m](Cpu&) { m.fail("stack smashing detected (__stack_chk_fail)"); });
  imports.function(lib, "dyld_stub_binder", [&m](Cpu&) {
    m.fail("dyld_stub_binder reached: lazily bound pointers are bound at load");
  });

  imports.function(lib, "_malloc", [&m](Cpu& cpu) { cpu.setX(0, m.allocate(cpu.x(0))); });
  imports.function(lib, "_strlen", [&m](Cpu& cpu) { cpu.setX(0, m.cString(cpu.x(0), 1 << 20).size()); });
  imports.function(lib, "_strncmp", [&m](Cpu& cpu) {
    for (uint64_t i = 0; i < cpu.x(2); ++i) {
      uint8_t a = m.load<uint8_t>(cpu.x(0) + i), b = m.load<uint8_t>(cpu.x(1) + i);
      if (a != b || a == 0) return cpu.setX(0, static_cast<uint64_t>(static_cast<int64_t>(a - b)));
    }
    cpu.setX(0, 0);
  });
  // strlcpy/strlcat: copy at most size - 1 bytes, always terminate (for size > 0), answer the length
  // of the string they tried to make.
  imports.function(lib, "_strlcpy", [&m](Cpu& cpu) {
    std::string source = m.cString(cpu.x(1), 1 << 20);
    uint64_t size = cpu.x(2);
    if (size > 0) {
      uint64_t n = std::min<uint64_t>(source.size(), size - 1);
      m.write(cpu.x(0), source.data(), n);
      m.store<char>(cpu.x(0) + n, '\0');
    }
    cpu.setX(0, source.size());
  });
  imports.function(lib, "_strlcat", [&m](Cpu& cpu) {
    uint64_t size = cpu.x(2);
    std::string source = m.cString(cpu.x(1), 1 << 20);
    uint64_t used = 0;
    while (used < size && m.load<char>(cpu.x(0) + used) != '\0') ++used;
    if (used == size) return cpu.setX(0, size + source.size());
    uint64_t n = std::min<uint64_t>(source.size(), size - used - 1);
    m.write(cpu.x(0) + used, source.data(), n);
    m.store<char>(cpu.x(0) + used + n, '\0');
    cpu.setX(0, used + source.size());
  });

  imports.function(lib, "_dispatch_once_f", [&m](Cpu& cpu) {
    uint64_t predicate = cpu.x(0);
    if (m.load<uint64_t>(predicate) == kOnceDone) return;
    m.store<uint64_t>(predicate, kOnceDone);
    uint64_t function = m.authenticateFunction(cpu.x(2), "dispatch_once_f's function");
    cpu.setX(0, cpu.x(1));  // function(context), returning to dispatch_once_f's caller
    cpu.jump(function);
  });

  // dlopen resolves @rpath through the calling image's run paths and @loader_path to its folder; the
  // only library the emulated file system has besides the system's is libroot.dylib (if installed).
  librootHandle_ = m.allocate(16);
  imports.function(lib, "_dlopen", [this, &m](Cpu& cpu) {
    std::string path = m.cString(cpu.x(0));
    dlopens.push_back(path);
    const LoadedImage* caller = imageAt(cpu.lr());
    std::vector<std::string> candidates;
    if (path.rfind("@rpath/", 0) == 0 && caller != nullptr) {
      for (std::string rpath : caller->rpaths) {
        if (rpath.rfind("@loader_path", 0) == 0) rpath = folderOf(caller->path) + rpath.substr(12);
        candidates.push_back(rpath + "/" + path.substr(7));
      }
    } else {
      candidates.push_back(path);
    }
    for (const std::string& candidate : candidates) {
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
