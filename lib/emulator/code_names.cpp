#include "code_names.h"

#include <algorithm>

#include "macho_reader.h"

namespace emu {

void CodeNames::add(uint64_t start, uint64_t size, const std::string& name,
                    std::vector<std::pair<uint64_t, std::string>> labels) {
  std::sort(labels.begin(), labels.end());
  regions_.push_back({start, size, name, std::move(labels)});
}

std::string CodeNames::name(uint64_t address) const {
  for (const Region& r : regions_) {
    if (address < r.start || address - r.start >= r.size) continue;
    std::string text = r.name + "+" + macho::hex(address - r.start);
    auto after = std::upper_bound(r.labels.begin(), r.labels.end(), address,
                                  [](uint64_t a, const std::pair<uint64_t, std::string>& label) { return a < label.first; });
    if (after != r.labels.begin()) {
      const auto& [labelAddress, label] = *(after - 1);
      text += " (" + label + "+" + macho::hex(address - labelAddress) + ")";
    }
    return text;
  }
  return "";
}

}  // namespace emu
