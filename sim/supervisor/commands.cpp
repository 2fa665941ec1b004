#include "supervisor/commands.h"

#include <signal.h>

#include <cstdlib>
#include <filesystem>
#include <sstream>

#include "protocol/classes.h"
#include "supervisor/options.h"

namespace sim {
namespace {

constexpr long kEventMs = 300;     // a person's action and the sound it makes
constexpr long kRespringMs = 2000; // SpringBoard going down, launching again, its startup chord

std::string noCheck(const ScenarioLine&) { return {}; }

std::string checkSet(const ScenarioLine& line) {
  SetValue value;
  return setValueOf(line, 1, &value);
}

std::string checkFallbackSet(const ScenarioLine& line) {
  SetValue value;
  return setValueOf(line, 2, &value);
}

std::string checkFormat(const ScenarioLine& line) {
  if (line.words[2] != "xml" && line.words[2] != "binary")
    return "fallback format takes xml or binary, not '" + line.words[2] + "'";
  return {};
}

// A host file to copy from: it must be a regular file (word `index`).
std::string checkHostFile(const ScenarioLine& line, size_t index) {
  std::error_code ec;
  std::string path = hostFileOf(line, index);
  if (!std::filesystem::is_regular_file(path, ec)) return "no file " + path + " to copy";
  return {};
}
std::string checkRaw(const ScenarioLine& line) { return checkHostFile(line, 2); }

// A device path of an installed piece: absolute, without "." or ".." steps, below /var/jb.
std::string checkDevicePath(const ScenarioLine& line) {
  const std::string& path = line.words[1];
  std::filesystem::path p(path);
  if (path.rfind("/var/jb/", 0) != 0 || p.lexically_normal().string() != path || path.back() == '/')
    return "'" + path + "' is not the device path of an installed file (/var/jb/...)";
  return {};
}
std::string checkReplace(const ScenarioLine& line) {
  std::string problem = checkDevicePath(line);
  return problem.empty() ? checkHostFile(line, 2) : problem;
}

std::string checkClass(const ScenarioLine& line) {
  if (!classes::known(line.words[1]))
    return "'" + line.words[1] + "' is not a class the device can run without (help lists them)";
  return {};
}


std::string checkIos(const ScenarioLine& line) {
  std::string problem = readIosVersion(line.words[1], nullptr);
  return problem.empty() ? "" : "ios " + problem;
}

std::string checkLayout(const ScenarioLine& line) {
  std::string problem = readJbrootLayout(line.words[1], nullptr);
  return problem.empty() ? "" : "jbroot-layout " + problem;
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
    {"set", "KEY [TYPE] VALUE", "write KEY into the store (xyz.dorvu..ravelo) directly",
     Actor::Shell, 2, -1, 0, false, checkSet},
    {"remove", "KEY", "remove KEY from the store", Actor::Shell, 1, 1, 0, false, noCheck},
    {"store raw", "FILE", "copy FILE over the store's file, byte for byte", Actor::Simulator, 1, 1, 0, false, checkRaw},
    {"store delete", "", "delete the store's file", Actor::Shell, 0, 0, 0, false, noCheck},
    {"fallback set", "KEY [TYPE] VALUE", "write KEY into the fallback file (com.tamsel.ravelo.plist)", Actor::Shell, 2,
     -1, 0, false, checkFallbackSet},
    {"fallback remove", "KEY", "remove KEY from the fallback file", Actor::Shell, 1, 1, 0, false, noCheck},
    {"fallback delete", "", "delete the fallback file", Actor::Shell, 0, 0, 0, false, noCheck},
    {"fallback format", "xml|binary", "rewrite the fallback file in that format", Actor::Shell, 1, 1, 0, false,
     checkFormat},
    {"fallback raw", "FILE", "copy FILE over the fallback file, byte for byte", Actor::Simulator, 1, 1, 0, false,
     checkRaw},
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
    // the device the scenario runs on: before every other command
    {"ios", "VERSION", "first thing: the device runs iOS VERSION's SpringBoard (15, 16, 17 or 18; as --ios)",
     Actor::Simulator, 1, 1, 0, false, checkIos},
    {"jbroot-layout", "LAYOUT", "first thing: the jailbreak root's layout, var-jb or preboot (as --jbroot-layout)",
     Actor::Simulator, 1, 1, 0, false, checkLayout},
    // the device's installed files and classes
    {"remove-file", "DEVICE_PATH", "remove an installed file (/var/jb/...), from the next launch of what reads it",
     Actor::Simulator, 1, 1, 0, false, checkDevicePath},
    {"replace-file", "DEVICE_PATH FILE", "copy FILE over an installed file, from the next launch of what reads it",
     Actor::Simulator, 2, 2, 0, false, checkReplace},
    {"without-class", "NAME", "before the device switches on: SpringBoard or Settings runs without class NAME",
     Actor::Simulator, 1, 1, 0, false, checkClass},
    {"capture", "FILE.png", "draw the open pane as the screen shows it, to a PNG file", Actor::Settings, 1, 1, 0,
     false, noCheck},
    // the simulator
    {"wait", "MS", "let MS milliseconds pass", Actor::Simulator, 1, 1, 0, false, checkCount},
    {"kill", "PROCESS [SIGNAL]", "end SpringBoard, Settings or backboardd from outside (default KILL)",
     Actor::Simulator, 1, 2, kEventMs, true, checkKill},
    {"expect", "TEXT", "check: a line of the last step contains TEXT", Actor::Simulator, 1, -1, 0, false, noCheck},
    {"expect-not", "TEXT", "check: no line of the last step contains TEXT", Actor::Simulator, 1, -1, 0, false,
     noCheck},
    {"expect-order", "TEXT TEXT...", "check: lines of the last step contain these texts, in this order",
     Actor::Simulator, 2, -1, 0, false, noCheck},
    {"expect-boot", "TEXT", "check: a line of the last boot block contains TEXT", Actor::Simulator, 1, -1, 0, false,
     noCheck},
    {"expect-run", "TEXT", "check: a line of the run so far contains TEXT", Actor::Simulator, 1, -1, 0, false,
     noCheck},
    {"expect-not-run", "TEXT", "check: no line of the run so far contains TEXT", Actor::Simulator, 1, -1, 0, false,
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

namespace {

// How many words of `line` name `entry` (1 or 2); 0 when it does not.
size_t nameLength(const CommandSpec& entry, const ScenarioLine& line) {
  std::string name = entry.name;
  size_t space = name.find(' ');
  if (space == std::string::npos) return line.words[0] == name ? 1 : 0;
  return line.words.size() > 1 && line.words[0] == name.substr(0, space) && line.words[1] == name.substr(space + 1) ? 2 : 0;
}

std::string usageOf(const CommandSpec& entry) {
  return std::string(entry.name) + (entry.arguments[0] != '\0' ? " " : "") + entry.arguments;
}

}  // namespace

const CommandSpec& commandFor(const ScenarioLine& line) {
  const std::string& name = line.words.front();
  std::string verbs;
  for (const CommandSpec& entry : kCommands) {
    size_t length = nameLength(entry, line);
    std::string entryName = entry.name;
    if (entryName.rfind(name + " ", 0) == 0) verbs += (verbs.empty() ? "" : ", ") + entryName.substr(name.size() + 1);
    if (length == 0) continue;
    int count = static_cast<int>(line.words.size() - length);
    if (count < entry.minArguments || (entry.maxArguments >= 0 && count > entry.maxArguments))
      throw ScenarioError(line, "malformed line: usage: " + usageOf(entry));
    std::string problem = entry.check(line);
    if (!problem.empty()) throw ScenarioError(line, problem);
    return entry;
  }
  if (!verbs.empty()) throw ScenarioError(line, name + " takes " + verbs);
  throw ScenarioError(line, "unknown command '" + name + "' (help lists the commands)");
}

std::string helpText() {
  std::ostringstream out;
  out << "Commands (one a line; # starts a comment; \"quotes\" group words):\n";
  for (const CommandSpec& entry : kCommands) {
    std::string usage = usageOf(entry);
    out << "  " << usage;
    for (size_t n = usage.size(); n < 36; ++n) out << ' ';
    out << ' ' << entry.summary << '\n';
  }
  out << "TYPE: bool, int, real, string, date (2024-05-01T12:00:00Z), data (0a1b or base64:Chs=), array\n"
         "  (1, \"text\", (2, 3)), dict {key = 1; other = {};} (for array and dict, the rest of the line)\n"
      << "Classes without-class can leave out:\n  " << classes::describeAll("  ", 98) << "\n";
  return out.str();
}

bool isDeviceChoice(const ScenarioLine& line) {
  return !line.words.empty() && (line.words[0] == "ios" || line.words[0] == "jbroot-layout");
}

bool parseCount(const std::string& word, long* value) {
  if (word.empty() || word.size() > 12) return false;
  for (char c : word)
    if (c < '0' || c > '9') return false;
  *value = std::strtol(word.c_str(), nullptr, 10);
  return true;
}

}  // namespace sim
