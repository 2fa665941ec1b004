// The C library functions of libSystem our binaries call that need nothing from the host: memory,
// strings, dispatch_once_f and the stack protector, carried out in emulated memory. Both kinds of
// emulated process (the tests' harness and the host-backed one) export them.
#pragma once

#include "imports.h"
#include "machine.h"

namespace emu {

void exportCLibrary(Machine& machine, Imports& imports);

}  // namespace emu
