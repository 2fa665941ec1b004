// Carrying out a scenario, one line at a time, on the simulated device.
#pragma once

#include <cstdio>

#include "supervisor/commands.h"
#include "supervisor/device.h"
#include "supervisor/scenario.h"
#include "supervisor/transcript.h"

namespace sim {

class Runner {
 public:
  Runner(Device& device, Transcript& transcript) : device_(device), transcript_(transcript) {}

  // Carries out one line: switches the device on first if the command needs it, prints the step,
  // tells the processes the clock, runs the command until the device has settled, and moves the clock
  // on. Throws ScenarioError for an unknown command, a malformed line, a command the device refuses,
  // or a check that fails.
  void run(const ScenarioLine& line);

  long clock() const { return clock_; }

 private:
  void boot();
  std::string perform(const ScenarioLine& line, const CommandSpec& entry);
  void report(const std::string& text) { transcript_.report("sim", text); }

  Device& device_;
  Transcript& transcript_;
  long clock_ = 0;
  int step_ = 0;
};

}  // namespace sim
