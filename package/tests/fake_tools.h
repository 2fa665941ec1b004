// Stand-in programs for the tests of the device scripts: small sh scripts put first on PATH in place
// of a tool the machine here does not have (an Apple toolchain, a device's sysctl, ssh to a phone).
#pragma once

#include <cstdlib>
#include <filesystem>
#include <string>

#include "support/temp_dir.h"

namespace fake {

// Writes the executable sh script DIR/NAME with `body` below its #!/bin/sh line.
inline void tool(const std::filesystem::path& dir, const std::string& name, const std::string& body) {
  testing_support::writeFile(dir / name, "#!/bin/sh\n" + body);
  std::filesystem::permissions(dir / name, std::filesystem::perms::owner_all);
}

// A PATH assignment (for run()'s environment) that searches DIR before this process's PATH.
inline std::string pathFirst(const std::filesystem::path& dir) {
  const char* path = std::getenv("PATH");
  return "PATH=" + dir.string() + ":" + (path != nullptr ? path : "/usr/bin:/bin");
}

}  // namespace fake
