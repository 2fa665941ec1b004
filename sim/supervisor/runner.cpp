#include "supervisor/runner.h"

#include <algorithm>
#include <filesystem>

#include "supervisor/capture.h"
#include "supervisor/checks.h"
#include "supervisor/device_files.h"

namespace sim {
namespace {

// From switching on (or a respring) until the next step: long enough to hear a startup chord out.
constexpr long kBootMs = 2000;
constexpr long kRespringMs = 2000;

}  // namespace

void Runner::boot() {
  transcript_.bootHeading("boot at " + std::to_string(clock_) + "ms");
  device_.setClock(clock_);
  device_.switchOn();
  device_.settle();
  device_.takeResprings();
  clock_ += kBootMs;
}

void Runner::capture(const ScenarioLine& line, const std::filesystem::path& path) {
  std::string report;
  std::string failure = capturePane(device_, path, captureScale_, &report);
  if (!failure.empty()) throw ScenarioError(line, failure);
  transcript_.report("sim", report);
}

void Runner::run(const ScenarioLine& line) {
  const CommandSpec& entry = commandFor(line);
  const std::string name = entry.name;
  if (name == "help") {
    std::fputs(helpText().c_str(), stderr);
    return;
  }
  if (name == "note") {
    size_t start = line.words[0].size();
    while (start < line.text.size() && (line.text[start] == ' ' || line.text[start] == '\t')) ++start;
    transcript_.heading("-- " + line.text.substr(start), true);
    return;
  }
  if (name.rfind("expect", 0) == 0) {
    CheckedLines lines{transcript_.stepLines(), transcript_.bootLines(), transcript_.runLines(), transcript_.booted()};
    std::string problem = failedCheck(line, lines);
    transcript_.heading("check (" + line.where() + "): " + line.text + (problem.empty() ? ": ok" : ": FAILED"), true);
    if (!problem.empty()) throw ScenarioError(line, "check failed: " + problem);
    return;
  }
  if (entry.needsDevice && !device_.isOn()) boot();

  ++step_;
  transcript_.heading("step " + std::to_string(step_) + " (" + line.where() + ") at " + std::to_string(clock_) +
                      "ms: " + line.text);
  device_.setClock(clock_);
  std::string failure = perform(line, entry);
  device_.settle();
  if (!failure.empty()) throw ScenarioError(line, failure);
  if (name == "capture") capture(line, line.words[1]);
  if (!captureDir_.empty() && (name == "open-settings" || name == "show"))
    capture(line, captureDir_ / ("step-" + std::to_string(step_) + "-" + name + ".png"));

  long duration = entry.durationMs;
  if (name == "wait") parseCount(line.words[1], &duration);
  if (device_.takeResprings() > 0) duration = std::max(duration, kRespringMs);
  clock_ += duration;
}

std::string Runner::perform(const ScenarioLine& line, const CommandSpec& entry) {
  const std::string name = entry.name;
  const std::vector<std::string>& w = line.words;
  if (name == "set" || name == "fallback set") {
    SetValue value;
    setValueOf(line, name == "set" ? 1 : 2, &value);
    std::vector<std::string> words{"set", value.key, values::typeName(value.kind), value.text};
    if (name == "fallback set") words.insert(words.begin(), "fallback");
    return device_.inShell(words);
  }
  if (name == "fallback remove" || name == "fallback delete" || name == "fallback format" || name == "store delete")
    return device_.inShell(w);
  if (name == "store raw" || name == "fallback raw") {
    std::string to = name == "store raw" ? storeDevicePath() : fallbackDevicePath();
    std::string from = hostFileOf(line, 2);
    std::optional<HostFile> file = readHostFile(from);
    if (!file) return "cannot read " + from;
    report("copy " + w[2] + " to " + to + " (" + std::to_string(file->bytes.size()) + " bytes)");
    return writeIntoDevice(device_.folders(), *file, to);
  }
  if (name == "remove-file" || name == "replace-file") {
    std::string problem = name == "remove-file" ? removeInstalledFile(device_.folders(), w[1])
                                                : copyIntoDevice(device_.folders(), hostFileOf(line, 2), w[1]);
    if (problem.empty())
      report((name == "remove-file" ? "removed " : "replaced ") + w[1] + ": valid from the next launch of " +
             readersOf(w[1]));
    return problem;
  }
  if (isDeviceChoice(line))
    return name + " comes before every other command of the scenario: it chooses the device the scenario runs on";
  if (name == "without-class") {
    if (device_.isOn()) return "without-class comes before the device switches on (before the first event)";
    device_.leaveOutClass(w[1]);
    report(w[1] + " will be missing when the device switches on");
    return {};
  }
  if (name == "remove") return device_.inShell({"remove", w[1]});
  if (name == "notify") return device_.inShell({"notify"});
  if (name == "respring" || name == "launch") return device_.inShell({"killall", "-9", "backboardd"});
  if (name == "wait") return {};
  if (name == "kill") {
    int signal = w.size() > 2 ? signalNumber(w[2]) : signalNumber("KILL");
    return device_.signalProcess(w[1], signal);
  }
  if (name == "screen-width") {
    long points = 0;
    parseCount(w[1], &points);
    device_.setScreenWidth(points);
    return {};
  }
  if (name == "capture") return {};  // after the step has settled (run)
  if (name == "open-settings") {
    device_.launchSettings();
    if (!device_.settingsRunning()) return "the Settings app did not start";
    return device_.inSettings({"open"});
  }
  if (entry.actor == Actor::Settings) {
    std::vector<std::string> words = w;
    if (name == "press" && words.size() > 2) {
      // A label of several words, given without quotes.
      std::string label;
      for (size_t i = 1; i < words.size(); ++i) label += (i > 1 ? " " : "") + words[i];
      words = {"press", label};
    }
    if (name == "close-settings") words = {"close"};
    return device_.inSettings(words);
  }
  if (entry.actor == Actor::SpringBoard) return device_.inSpringBoard(w);
  return "the simulator cannot run '" + name + "'";
}

}  // namespace sim
