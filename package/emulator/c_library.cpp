#include "c_library.h"

#include <algorithm>

namespace emu {
namespace {

constexpr uint64_t kOnceDone = ~uint64_t{0};  // dispatch_once's predicate once the block has run

}  // namespace

void exportCLibrary(Machine& m, Imports& imports) {
  const std::string& lib = kLibSystem;

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
}

}  // namespace emu
