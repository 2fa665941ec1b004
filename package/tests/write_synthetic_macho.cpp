// Writes the synthetic binary (synthetic_macho.h) of a build: `write-synthetic-macho arm64 FILE`
// (a thin arm64 image, what a build without Apple's linker makes) or `universal FILE` (arm64 and
// arm64e). The tests of what installs a package pack these with build-deb.
#include <cstdio>
#include <cstring>
#include <fstream>

#include "support/synthetic_macho.h"

int main(int argc, char** argv) {
  if (argc != 3 || (std::strcmp(argv[1], "arm64") != 0 && std::strcmp(argv[1], "universal") != 0)) {
    std::fprintf(stderr, "usage: write-synthetic-macho arm64|universal FILE\n");
    return 2;
  }
  std::string image = std::strcmp(argv[1], "arm64") == 0
                          ? synthetic::thin(synthetic::kArm64, 0)
                          : synthetic::universal({{synthetic::kArm64, 0}, {synthetic::kArm64, synthetic::kArm64e}});
  std::ofstream out(argv[2], std::ios::binary);
  out << image;
  return out ? 0 : 1;
}
