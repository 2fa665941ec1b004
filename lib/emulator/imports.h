// The symbols the emulated system exports to the images it loads: functions (traps that run the
// emulator's C++) and data (addresses in emulated memory), each under its library's install name.
#pragma once

#include "install_names.h"

#include <cstdint>
#include <map>
#include <string>

#include "machine.h"

namespace emu {

class Imports {
 public:
  explicit Imports(Machine& machine) : machine_(machine) {}

  // Exports a function `symbol` (with its leading underscore, as Mach-O names it) from `library`.
  void function(const std::string& library, const std::string& symbol, Machine::Handler handler);
  // Exports a data symbol at `address`.
  void data(const std::string& library, const std::string& symbol, uint64_t address);

  // The address of `symbol` in `library`, or 0 when the emulated system does not provide it. A
  // library of "" searches every library (a flat lookup).
  uint64_t find(const std::string& library, const std::string& symbol) const;

 private:
  Machine& machine_;
  std::map<std::pair<std::string, std::string>, uint64_t> symbols_;
};

using namespace macho::install_names;

}  // namespace emu
