// The scenario commands: names, arguments, what each does, where it runs and how long it takes.
#pragma once

#include <string>
#include <vector>

#include "supervisor/scenario.h"
#include "values/plist_value.h"

namespace sim {

// Where a command is carried out.
enum class Actor {
  Simulator,    // the simulator itself (clock, checks, help)
  Shell,        // a shell on the device: the preferences store, notifications, killall
  SpringBoard,  // the SpringBoard process: the events a person causes
  Settings,     // the Settings app: the Ravelo pane
};

struct CommandSpec {
  const char* name;       // one word, or two for a command with verbs ("fallback set")
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

// The value of a `set` or `fallback set` line, whose key is word `keyIndex`: "KEY VALUE" (true/false,
// an integer, a real number with a '.', or "quoted text") or "KEY TYPE VALUE" (values/plist_value.h;
// for array and dict the VALUE is the rest of the line).
struct SetValue {
  std::string key;
  values::Value::Kind kind = values::Value::Bool;
  std::string text;  // as the shell reads it back with values::parseTyped
};
// Reads the value of such a line; "" on success, else what is wrong.
std::string setValueOf(const ScenarioLine& line, size_t keyIndex, SetValue* value);

// A host file a line names (word `index`): relative names are taken from the scenario file's folder.
std::string hostFileOf(const ScenarioLine& line, size_t index);

// The signal `kill` may send, by name ("KILL", "SIGTERM") or number; 0 for any other.
int signalNumber(const std::string& word);

// Whether the line chooses the device the scenario runs on (ios, jbroot-layout): such lines come
// before every other command, since the device is laid out and named for them.
bool isDeviceChoice(const ScenarioLine& line);

// Reads a whole non-negative decimal number of milliseconds or points.
bool parseCount(const std::string& word, long* value);

}  // namespace sim
