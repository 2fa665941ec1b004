// Running a program inside a terminal (a pseudo-terminal of its own) and typing at its prompts, as
// a person at a keyboard would.
#pragma once

#include <string>
#include <vector>

#include "support/run.h"

struct TerminalRun {
  testing_support::RunResult result;  // everything the terminal showed
  int prompts = 0;                    // how many times `prompt` appeared
};

// Runs `argv` (argv[0] a path) with `extraEnv` added to this process's environment, its standard
// input, output and error a new terminal that is its controlling one. Each time its output shows
// `prompt` (after what was typed last), types the next of `answers` and Return (just Return once
// they are used up). Gives up, killing it, after `timeoutSeconds`.
TerminalRun runInTerminal(const std::vector<std::string>& argv, const std::vector<std::string>& extraEnv,
                          const std::string& prompt, const std::vector<std::string>& answers,
                          int timeoutSeconds = 60);
