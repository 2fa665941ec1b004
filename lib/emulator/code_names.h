// Names of code addresses in errors: "Ravelo.dylib+0x1234", with the nearest label before it when the
// region has one ("Ravelo.dylib+0x1234 (tweakInit+0x14)"). The loader registers each image as a
// region, labelled by its functions and sections.
#pragma once

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

namespace emu {

class CodeNames {
 public:
  void add(uint64_t start, uint64_t size, const std::string& name, std::vector<std::pair<uint64_t, std::string>> labels);
  // The name of `address`, or "" when no region holds it.
  std::string name(uint64_t address) const;

 private:
  struct Region {
    uint64_t start, size;
    std::string name;
    std::vector<std::pair<uint64_t, std::string>> labels;  // sorted by address
  };
  std::vector<Region> regions_;
};

}  // namespace emu
