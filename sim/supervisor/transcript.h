// The transcript: what the simulated device did, one line at a time, on standard output.
//
//   step <n> (<file>:<line>) at <ms>ms: <command>
//     [<process>] <what it reported>
//
// Host paths below the device root are shown as device paths ("/var/jb/Library/Sounds/Pong.m4a"),
// so transcripts do not depend on where the device was laid out.
#pragma once

#include <cstdio>
#include <functional>
#include <string>
#include <vector>

#include "supervisor/spooled_lines.h"

namespace sim {

class Transcript {
 public:
  explicit Transcript(std::FILE* out) : out_(out) {}

  // Host folders shown as "" (the device root) in every later line.
  void setDeviceRoot(const std::vector<std::string>& hostForms);

  // A heading line (step, end...). Starts a new step for the checks unless `keepStep`.
  void heading(const std::string& text, bool keepStep = false);
  // The heading of a boot block (the device switching on): its lines are also the last boot block's.
  void bootHeading(const std::string& text);
  // A line of `process` within the current step.
  void report(const std::string& process, const std::string& text);
  // A line outside any step (layout, record).
  void note(const std::string& text);

  // The lines reported in the last step, as printed (without indentation).
  const std::vector<std::string>& stepLines() const { return stepLines_; }
  // The lines of the last boot block, and whether there has been one.
  const std::vector<std::string>& bootLines() const { return bootLines_; }
  bool booted() const { return booted_; }
  // Every line the processes reported in the run so far.
  const SpooledLines& runLines() const { return runLines_; }

  // Hands every later heading (process "") and process line to `observer` too, as printed: device
  // paths, no indentation or process prefix.
  using Observer = std::function<void(const std::string& process, const std::string& text)>;
  void setObserver(Observer observer) { observer_ = std::move(observer); }

  // `text` with host paths below the device root shown as device paths.
  std::string devicePaths(const std::string& text) const;

 private:
  void print(const std::string& line);
  std::FILE* out_;
  std::vector<std::string> roots_;
  std::vector<std::string> stepLines_;
  std::vector<std::string> bootLines_;
  SpooledLines runLines_;
  bool inBoot_ = false;
  bool booted_ = false;
  Observer observer_;
};

}  // namespace sim
