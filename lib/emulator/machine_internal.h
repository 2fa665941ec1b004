// What the files of Machine share (machine.cpp: CPU and memory; traps.cpp: traps and calls;
// machine_pointer_auth.cpp: pointer authentication): the address space of one emulated process and
// Unicorn's error check.
#pragma once

#include <unicorn/unicorn.h>

#include <cstdint>
#include <string>

#include "machine.h"

namespace emu::internal {

constexpr uint64_t kTrapBase = 0x700000000;
constexpr uint64_t kTrapSize = 0x20000;  // 16384 traps of 8 bytes: svc #0; ret
constexpr uint64_t kHeapBase = 0x800000000;
constexpr uint64_t kHeapSize = 16 << 20;
constexpr uint64_t kStackBase = 0x900000000;
constexpr uint64_t kStackSize = 1 << 20;

inline void check(uc_err status, const std::string& what) {
  if (status != UC_ERR_OK) throw Error(what + ": " + uc_strerror(status));
}

}  // namespace emu::internal
