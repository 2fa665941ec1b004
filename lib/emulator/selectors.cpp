#include "selectors.h"

namespace emu {

uint64_t Selectors::sel(const std::string& name) {
  auto it = selectors_.find(name);
  if (it != selectors_.end()) return it->second;
  uint64_t address = machine_.allocateString(name);
  selectors_[name] = address;
  names_[address] = name;
  return address;
}

std::string Selectors::name(uint64_t selector) {
  const std::string* found = find(selector);
  if (found == nullptr) machine_.fail("a selector that was never registered: " + machine_.describe(selector));
  return *found;
}

const std::string* Selectors::find(uint64_t selector) const {
  auto it = names_.find(selector);
  return it == names_.end() ? nullptr : &it->second;
}

}  // namespace emu
