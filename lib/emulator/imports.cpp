#include "imports.h"

namespace emu {

void Imports::function(const std::string& library, const std::string& symbol, Machine::Handler handler) {
  symbols_[{library, symbol}] = machine_.trap(symbol.substr(1), std::move(handler));
}

void Imports::data(const std::string& library, const std::string& symbol, uint64_t address) {
  symbols_[{library, symbol}] = address;
}

uint64_t Imports::find(const std::string& library, const std::string& symbol) const {
  if (library.empty()) {
    for (const auto& [key, address] : symbols_) {
      if (key.second == symbol) return address;
    }
    return 0;
  }
  auto it = symbols_.find({library, symbol});
  return it == symbols_.end() ? 0 : it->second;
}

}  // namespace emu
