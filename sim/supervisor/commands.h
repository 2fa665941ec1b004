// The scenario commands: names, arguments, what each does, where it runs and how long it takes.
#pragma once

#include <string>
#include <vector>

#include "supervisor/scenario.h"

namespace sim {

// Where a command is carried out.
enum class Actor {
  Simulator,    // the simulator itself (clock, checks, help)
  Shell,        // a shell on the device: the preferences store, notifications, killall
  SpringBoard,  // the SpringBoard process: the events a person causes
  Settings,     // the Settings app: the Ravelo pane
};

struct CommandSpec {
  const char* name;
  const char* arguments;  // for help: "KEY VALUE", "[no-chime]"
  const char* summary;
  Actor actor;
  int minArguments;
  int maxArguments;       // -1: any number
  long durationMs;        // how far the scenario clock moves (wait: its argument)
  bool needsDevice;       // switches the device on first if it is off
  // Checks the arguments (the line's words after the name) beyond their count; "" when fine.
  std::string (*check)(const ScenarioLine& line);
};

const std::vector<CommandSpec>& commandTable();

// The command a line names, after checking its arguments; throws ScenarioError for an unknown
// command or malformed arguments.
const CommandSpec& commandFor(const ScenarioLine& line);

// The help text: every command with its arguments and summary.
std::string helpText();

// The value of a `set` line: "set KEY VALUE" (true/false, an integer, a real number with a '.', or
// "quoted text") or "set KEY TYPE VALUE" with TYPE bool, int, real or string.
struct StoredValue {
  enum Kind { Bool, Integer, Real, String } kind = Bool;
  bool boolean = false;
  long long integer = 0;
  double real = 0;
  std::string text;
};
// Reads the value of a `set` line; "" on success, else what is wrong.
std::string storedValueOf(const ScenarioLine& line, StoredValue* value);

// The signal `kill` may send, by name ("KILL", "SIGTERM") or number; 0 for any other.
int signalNumber(const std::string& word);

// Reads a whole non-negative decimal number of milliseconds or points.
bool parseCount(const std::string& word, long* value);

}  // namespace sim
