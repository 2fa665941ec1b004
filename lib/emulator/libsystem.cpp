// libSystem in the emulated process: the C library calls our binaries make (memory, strings),
// dispatch_once_f and the stack protector, carried out in emulated memory; the dynamic loader's
// dlopen, dlsym and dladdr, which open this process's own libraries (libroot.dylib) from the device's
// folders; and posix_spawn, which really starts the tool.
#include <dlfcn.h>
#include <spawn.h>

#include <algorithm>
#include <cstring>
#include <map>

#include "host/files.h"
#include "process.h"

namespace emu {
namespace {

constexpr uint64_t kOnceDone = ~uint64_t{0};  // dispatch_once's predicate once the block has run

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

  // NULL when the heap cannot hold it, as the device's malloc answers.
  imports.function(lib, "_malloc", [&m](Cpu& cpu) { cpu.setX(0, m.tryAllocate(cpu.x(0))); });
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

  // dlopen finds libraries in the device's folders: @rpath through the calling image's run paths,
  // @loader_path at its folder. What it opens is this process's own library there (libroot's stand-in).
  auto libraries = std::make_shared<std::map<uint64_t, void*>>();
  imports.function(lib, "_dlopen", [this, libraries](Cpu& cpu) {
    std::string path = machine.cString(cpu.x(0));
    const LoadedImage* caller = imageAt(cpu.lr());
    for (const std::string& candidate : dlopenCandidates(path, caller)) {
      if (!host::files::isReadableRegular(candidate)) continue;
      void* handle = ::dlopen(candidate.c_str(), RTLD_NOW | RTLD_LOCAL);
      if (handle == nullptr) continue;
      uint64_t token = machine.allocate(16);
      (*libraries)[token] = handle;
      return cpu.setX(0, token);
    }
    cpu.setX(0, 0);
  });

  // dlsym hands out the functions of such a library whose types the bridge knows: libroot's.
  imports.function(lib, "_dlsym", [this, libraries](Cpu& cpu) {
    auto library = libraries->find(cpu.x(0));
    if (library == libraries->end()) machine.fail("dlsym on a handle dlopen did not give");
    std::string name = machine.cString(cpu.x(1));
    void* function = ::dlsym(library->second, name.c_str());
    if (function == nullptr) return cpu.setX(0, 0);
    if (name == "libroot_get_root_prefix" || name == "libroot_get_jbroot_prefix" || name == "libroot_get_boot_uuid")
      return cpu.setX(0, bridge.toEmu(function, "r*", name));
    if (name != "libroot_jbrootpath" && name != "libroot_rootfspath")
      machine.fail("dlsym(\"" + name + "\"): the emulated process does not know the type of this host function");
    // char* (const char* path, char* resolved): the answer is written into the caller's buffer (of
    // 1024 bytes, or a new one for NULL), and that buffer is the result.
    cpu.setX(0, bridge.toEmu(function, name, [this, function](Cpu& call) {
      using PathFunction = char* (*)(const char*, char*);
      std::string path = call.x(0) == 0 ? "" : machine.cString(call.x(0));
      char resolved[1024];
      char* answer = reinterpret_cast<PathFunction>(function)(call.x(0) == 0 ? nullptr : path.c_str(), resolved);
      uint64_t buffer = 0;
      if (answer != nullptr) {
        std::string text(answer);
        buffer = call.x(1) != 0 ? call.x(1) : machine.allocate(1024);
        machine.write(buffer, text.c_str(), std::min<size_t>(text.size() + 1, 1024));
      }
      abi::Bytes result(8);
      std::memcpy(result.data(), &buffer, 8);
      abi::writeResult(call, abi::parseSignature("*").result, result, 0);
    }));
  });

  auto imageNames = std::make_shared<std::map<const LoadedImage*, uint64_t>>();
  imports.function(lib, "_dladdr", [this, imageNames](Cpu& cpu) {
    const LoadedImage* image = imageAt(machine.strip(cpu.x(0)));  // a function's address comes signed
    if (image == nullptr) return cpu.setX(0, 0);
    uint64_t& name = (*imageNames)[image];
    if (name == 0) name = machine.allocateString(image->path);
    uint64_t info = cpu.x(1);  // Dl_info: fname, fbase, sname, saddr
    machine.store<uint64_t>(info, name);
    machine.store<uint64_t>(info + 8, image->base);
    machine.store<uint64_t>(info + 16, 0);
    machine.store<uint64_t>(info + 24, 0);
    cpu.setX(0, 1);
  });

  // The tool really starts, through the process's own posix_spawn (whoever watches it sees it).
  imports.function(lib, "_posix_spawn", [this](Cpu& cpu) {
    if (cpu.x(2) != 0 || cpu.x(3) != 0) machine.fail("posix_spawn with file actions or attributes: not modelled");
    std::string path = machine.cString(cpu.x(1));
    auto list = [this](uint64_t at, std::vector<std::string>& strings) {
      for (; at != 0; at += 8) {
        uint64_t item = machine.load<uint64_t>(at);
        if (item == 0) break;
        strings.push_back(machine.cString(item));
      }
    };
    std::vector<std::string> arguments, environment;
    list(cpu.x(4), arguments);
    list(cpu.x(5), environment);
    std::vector<char*> argv, envp;
    for (std::string& a : arguments) argv.push_back(a.data());
    for (std::string& e : environment) envp.push_back(e.data());
    argv.push_back(nullptr);
    envp.push_back(nullptr);
    pid_t child = 0;
    int result = ::posix_spawn(&child, path.c_str(), nullptr, nullptr, argv.data(), cpu.x(5) == 0 ? nullptr : envp.data());
    if (result == 0 && cpu.x(0) != 0) machine.store<int32_t>(cpu.x(0), child);
    cpu.setX(0, abi::kUnspecifiedUpperBits | static_cast<uint32_t>(result));
  });
}

}  // namespace emu
