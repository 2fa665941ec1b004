// Carrying out a scenario, one line at a time, on the simulated device.
#pragma once

#include <cstdio>
#include <filesystem>

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

  // Pictures of the pane: `scale` pixels to the point; with a folder, one at every open-settings and show.
  void setPictures(const std::filesystem::path& captureDir, int scale) {
    captureDir_ = captureDir;
    captureScale_ = scale;
  }

 private:
  void boot();
  void capture(const ScenarioLine& line, const std::filesystem::path& path);
  std::string perform(const ScenarioLine& line, const CommandSpec& entry);
  void report(const std::string& text) { transcript_.report("sim", text); }

  Device& device_;
  Transcript& transcript_;
  long clock_ = 0;
  int step_ = 0;
  std::filesystem::path captureDir_;
  int captureScale_ = 2;
};

}  // namespace sim
