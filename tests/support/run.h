// Running another program from a test and collecting what it printed.
#pragma once

#include <string>
#include <vector>

namespace testing_support {

struct RunResult {
  int exitCode = -1;  // -1 when killed by a signal
  std::string output;  // standard output and standard error, interleaved
};

// Runs `argv` (argv[0] a path) with `extraEnv` ("NAME=value") added to this process's environment.
RunResult run(const std::vector<std::string>& argv, const std::vector<std::string>& extraEnv = {});

// In a child process just forked: adds `extraEnv` to its environment and replaces it with `argv`
// (argv[0] a path), or exits with status 127 saying why it cannot.
[[noreturn]] void execInChild(const std::vector<std::string>& argv, const std::vector<std::string>& extraEnv);

// Whether the program printed `text` (on standard output or standard error).
inline bool contains(const RunResult& result, const std::string& text) {
  return result.output.find(text) != std::string::npos;
}

// The lines of `text`, without their newlines.
std::vector<std::string> lines(const std::string& text);

}  // namespace testing_support
