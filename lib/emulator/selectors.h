// Selectors as the emulated code sees them: each name one unique C string in emulated memory, as the
// device's runtime makes them, so two selectors are equal exactly when their addresses are.
#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <unordered_map>

#include "machine.h"

namespace emu {

class Selectors {
 public:
  explicit Selectors(Machine& machine) : machine_(machine) {}
  // The selector named `name`, registered on first use.
  uint64_t sel(const std::string& name);
  // The name of a registered selector; stops the run for anything else.
  std::string name(uint64_t selector);
  // The name of a registered selector, or nullptr.
  const std::string* find(uint64_t selector) const;

 private:
  Machine& machine_;
  std::map<std::string, uint64_t> selectors_;
  std::unordered_map<uint64_t, std::string> names_;
};

}  // namespace emu
