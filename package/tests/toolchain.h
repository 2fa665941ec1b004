// The arm64e toolchain as the tests find it: clang-22, and Apple's ld64 where
// package/toolchain/build-ld64 has built it. Cases that need them skip with the reason without.
#pragma once

#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "support/run.h"

namespace toolchain {

// The ld64 build-ld64 built on this machine, or "".
inline std::string ld64() {
  auto found = testing_support::run({BUILD_LD64, "--find"});
  if (found.exitCode != 0) return "";
  auto lines = testing_support::lines(found.output);
  return lines.empty() ? "" : lines.back() + "/ld";
}

// clang-22's path, or "".
inline std::string clang22() {
  auto found = testing_support::run({"/bin/sh", "-c", "command -v clang-22"});
  auto lines = testing_support::lines(found.output);
  return found.exitCode == 0 && !lines.empty() ? lines.front() : "";
}

}  // namespace toolchain

#define SKIP_WITHOUT_LD64()                                                                                    \
  if (toolchain::ld64().empty() || toolchain::clang22().empty())                                                   \
  GTEST_SKIP() << "needs clang-22 and Apple's ld64 (package/toolchain/build-ld64 builds it; .ci/run always does)"
