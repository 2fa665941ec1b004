#include "supervisor/commands.h"

#include <signal.h>

#include <cerrno>
#include <cstdlib>
#include <sstream>

namespace sim {
namespace {

constexpr long kEventMs = 300;     // a person's action and the sound it makes
constexpr long kRespringMs = 2000; // SpringBoard going down, launching again, its startup chord

std::string noCheck(const ScenarioLine&) { return {}; }

std::string checkSet(const ScenarioLine& line) {
  StoredValue value;
  return storedValueOf(line, &value);
}

std::string checkCount(const ScenarioLine& line) {
  long value = 0;
  return parseCount(line.words[1], &value) ? "" : "'" + line.words[1] + "' is not a whole number of milliseconds";
}

std::string checkWidth(const ScenarioLine& line) {
  long value = 0;
  if (!parseCount(line.words[1], &value) || value <= 0 || value > 10000)
    return "'" + line.words[1] + "' is not a screen width in points (1-10000)";
  return {};
}

std::string checkCharger(const ScenarioLine& line) {
  if (line.words.size() == 2 && line.words[1] != "no-chime")
    return "plug-charger takes nothing or 'no-chime', not '" + line.words[1] + "'";
  return {};
}

std::string checkChoose(const ScenarioLine& line) {
  long value = 0;
  if (!parseCount(line.words[2], &value)) return "'" + line.words[2] + "' is not a sound number (1-45)";
  return {};
}

}  // namespace

int signalNumber(const std::string& word) {
  static const std::pair<const char*, int> signals[] = {{"KILL", SIGKILL}, {"TERM", SIGTERM}, {"ABRT", SIGABRT},
                                                        {"SEGV", SIGSEGV}, {"BUS", SIGBUS},   {"ILL", SIGILL},
                                                        {"INT", SIGINT},   {"QUIT", SIGQUIT}, {"HUP", SIGHUP}};
  std::string name = word.rfind("SIG", 0) == 0 ? word.substr(3) : word;
  for (const auto& [text, number] : signals)
    if (name == text || name == std::to_string(number)) return number;
  return 0;
}

namespace {

std::string checkKill(const ScenarioLine& line) {
  const std::string& who = line.words[1];
  if (who != "SpringBoard" && who != "Settings" && who != "backboardd")
    return "kill names SpringBoard, Settings or backboardd, not '" + who + "'";
  if (line.words.size() == 3 && signalNumber(line.words[2]) == 0)
    return "'" + line.words[2] + "' is not a signal that ends a process (KILL, TERM, ABRT, SEGV, BUS, ILL, INT, QUIT, HUP)";
  return {};
}

// The table, in the order help lists it.
const std::vector<CommandSpec> kCommands = {
    // the preferences store and the notification, as a shell on the device would change them
    {"set", "KEY [bool|int|real|string] VALUE", "write KEY into the store (xyz.dorvu..ravelo) directly",
     Actor::Shell, 2, 3, 0, false, checkSet},
    {"remove", "KEY", "remove KEY from the store", Actor::Shell, 1, 1, 0, false, noCheck},
    {"notify", "", "post com.tamsel.ravelo.prefsupdate", Actor::Shell, 0, 0, kEventMs, true, noCheck},
    // the eleven events
    {"tap-icon", "", "tap an app icon on the home screen", Actor::SpringBoard, 0, 0, kEventMs, true, noCheck},
    {"passcode-key", "", "press a key of the passcode keypad", Actor::SpringBoard, 0, 0, kEventMs, true, noCheck},
    {"lock", "", "press the side button to lock", Actor::SpringBoard, 0, 0, kEventMs, true, noCheck},
    {"unlock", "", "swipe the cover sheet away", Actor::SpringBoard, 0, 0, kEventMs, true, noCheck},
    {"plug-charger", "[no-chime]", "connect a charger (no-chime: one that wants no chime)", Actor::SpringBoard, 0, 1,
     kEventMs, true, checkCharger},
    {"unplug-charger", "", "disconnect the charger", Actor::SpringBoard, 0, 0, kEventMs, true, noCheck},
    {"screenshot", "", "take a screenshot", Actor::SpringBoard, 0, 0, kEventMs, true, noCheck},
    {"volume-up", "", "press volume up", Actor::SpringBoard, 0, 0, kEventMs, true, noCheck},
    {"volume-down", "", "press volume down", Actor::SpringBoard, 0, 0, kEventMs, true, noCheck},
    {"flip-switch", "", "flip a switch in SpringBoard", Actor::SpringBoard, 0, 0, kEventMs, true, noCheck},
    {"scroll-page", "", "start dragging the home-screen pages", Actor::SpringBoard, 0, 0, kEventMs, true, noCheck},
    {"launch", "", "SpringBoard launches again (the same as respring)", Actor::Shell, 0, 0, kRespringMs, true,
     noCheck},
    {"respring", "", "run killall -9 backboardd: SpringBoard restarts", Actor::Shell, 0, 0, kRespringMs, true,
     noCheck},
    // the Settings app
    {"screen-width", "POINTS", "the Settings app's screen width, from its next launch (default 390)", Actor::Settings, 1, 1,
     0, false, checkWidth},
    {"open-settings", "", "launch Settings if needed and open the Ravelo pane", Actor::Settings, 0, 0, kEventMs, true,
     noCheck},
    {"close-settings", "", "leave the Ravelo pane", Actor::Settings, 0, 0, kEventMs, true, noCheck},
    {"show", "", "print the pane as it looks now", Actor::Settings, 0, 0, 0, true, noCheck},
    {"toggle", "KEY", "tap the switch cell of KEY", Actor::Settings, 1, 1, kEventMs, true, noCheck},
    {"choose", "KEY NUMBER", "pick sound NUMBER (1-45) in the list cell of KEY", Actor::Settings, 2, 2, kEventMs,
     true, checkChoose},
    {"press", "LABEL", "press the button cell labelled LABEL", Actor::Settings, 1, -1, kEventMs, true, noCheck},
    {"press-respring", "", "press Respring in the navigation bar", Actor::Settings, 0, 0, kRespringMs, true,
     noCheck},
    {"capture", "FILE.png", "draw the open pane as the screen shows it, to a PNG file", Actor::Settings, 1, 1, 0,
     false, noCheck},
    // the simulator
    {"wait", "MS", "let MS milliseconds pass", Actor::Simulator, 1, 1, 0, false, checkCount},
    {"kill", "PROCESS [SIGNAL]", "end SpringBoard, Settings or backboardd from outside (default KILL)",
     Actor::Simulator, 1, 2, kEventMs, true, checkKill},
    {"expect", "TEXT", "check: a line of the last step contains TEXT (as written)", Actor::Simulator, 1, -1, 0, false, noCheck},
    {"expect-not", "TEXT", "check: no line of the last step contains TEXT", Actor::Simulator, 1, -1, 0, false,
     noCheck},
    {"expect-sounds", "[NAME...]", "check: the sounds heard in the last step, in order (none: silence)",
     Actor::Simulator, 0, -1, 0, false, noCheck},
    {"note", "TEXT", "print TEXT in the transcript (a heading for what follows)", Actor::Simulator, 1, -1, 0, false,
     noCheck},
    {"help", "", "list the commands", Actor::Simulator, 0, 0, 0, false, noCheck},
    {"quit", "", "end the scenario here", Actor::Simulator, 0, 0, 0, false, noCheck},
};

}  // namespace

const std::vector<CommandSpec>& commandTable() { return kCommands; }

const CommandSpec& commandFor(const ScenarioLine& line) {
  const std::string& name = line.words.front();
  for (const CommandSpec& entry : kCommands) {
    if (name != entry.name) continue;
    int count = static_cast<int>(line.words.size()) - 1;
    if (count < entry.minArguments || (entry.maxArguments >= 0 && count > entry.maxArguments)) {
      std::string usage = std::string(entry.name) + (entry.arguments[0] != '\0' ? " " : "") + entry.arguments;
      throw ScenarioError(line, "malformed line: usage: " + usage);
    }
    std::string problem = entry.check(line);
    if (!problem.empty()) throw ScenarioError(line, problem);
    return entry;
  }
  throw ScenarioError(line, "unknown command '" + name + "' (help lists the commands)");
}

std::string helpText() {
  std::ostringstream out;
  out << "Commands (one a line; # starts a comment; \"quotes\" group words):\n";
  for (const CommandSpec& entry : kCommands) {
    std::string usage = std::string(entry.name) + (entry.arguments[0] != '\0' ? " " : "") + entry.arguments;
    out << "  " << usage;
    for (size_t n = usage.size(); n < 36; ++n) out << ' ';
    out << ' ' << entry.summary << '\n';
  }
  return out.str();
}

bool parseCount(const std::string& word, long* value) {
  if (word.empty() || word.size() > 12) return false;
  for (char c : word)
    if (c < '0' || c > '9') return false;
  *value = std::strtol(word.c_str(), nullptr, 10);
  return true;
}

namespace {

bool parseInteger(const std::string& word, long long* value) {
  if (word.empty()) return false;
  errno = 0;
  char* end = nullptr;
  *value = std::strtoll(word.c_str(), &end, 10);
  return errno == 0 && end != nullptr && *end == '\0' && word.find_first_of("0123456789") != std::string::npos;
}

bool parseReal(const std::string& word, double* value) {
  if (word.empty() || word.find_first_of("0123456789") == std::string::npos) return false;
  errno = 0;
  char* end = nullptr;
  *value = std::strtod(word.c_str(), &end);
  return errno == 0 && end != nullptr && *end == '\0';
}

bool parseBool(const std::string& word, bool* value) {
  if (word == "true" || word == "yes") return *value = true, true;
  if (word == "false" || word == "no") return *value = false, true;
  return false;
}

}  // namespace

std::string storedValueOf(const ScenarioLine& line, StoredValue* value) {
  if (line.words.size() == 4) {
    const std::string& type = line.words[2];
    const std::string& word = line.words[3];
    if (type == "bool") {
      value->kind = StoredValue::Bool;
      return parseBool(word, &value->boolean) ? "" : "'" + word + "' is not a bool (true or false)";
    }
    if (type == "int") {
      value->kind = StoredValue::Integer;
      return parseInteger(word, &value->integer) ? "" : "'" + word + "' is not a 64-bit integer";
    }
    if (type == "real") {
      value->kind = StoredValue::Real;
      return parseReal(word, &value->real) ? "" : "'" + word + "' is not a real number";
    }
    if (type == "string") {
      value->kind = StoredValue::String;
      value->text = word;
      return {};
    }
    return "'" + type + "' is not a type (bool, int, real or string)";
  }
  const std::string& word = line.words[2];
  if (line.quoted[2]) {
    value->kind = StoredValue::String;
    value->text = word;
    return {};
  }
  if (parseBool(word, &value->boolean)) {
    value->kind = StoredValue::Bool;
    return {};
  }
  if (word.find('.') == std::string::npos && parseInteger(word, &value->integer)) {
    value->kind = StoredValue::Integer;
    return {};
  }
  if (word.find('.') != std::string::npos && parseReal(word, &value->real)) {
    value->kind = StoredValue::Real;
    return {};
  }
  return "'" + word + "' is not true, false or a number: write text in \"quotes\" or give a type";
}

}  // namespace sim
