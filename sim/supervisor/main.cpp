// ravelo-sim: runs Ravelo on a simulated iPhone and prints what the system does.
#include <signal.h>
#include <stdlib.h>
#include <unistd.h>

#include <atomic>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <sstream>

#include "host/device.h"
#include "host/sound_length.h"
#include "supervisor/artifacts.h"
#include "supervisor/capture.h"
#include "supervisor/commands.h"
#include "supervisor/device.h"
#include "supervisor/layout.h"
#include "supervisor/options.h"
#include "supervisor/private_view.h"
#include "supervisor/recorder.h"
#include "supervisor/runner.h"
#include "supervisor/scenario.h"
#include "supervisor/tour.h"
#include "supervisor/transcript.h"
#include "timeline/timeline.h"

namespace fs = std::filesystem;

namespace {

std::atomic<bool> interrupted{false};

void onInterrupt(int) {
  interrupted = true;
  sim::killAllDeviceProcesses();
}

int fail(const std::string& message, int status) {
  std::fprintf(stderr, "ravelo-sim: %s\n", message.c_str());
  return status;
}

// The device root: --root DIR (kept), or a fresh temporary folder (removed at the end).
fs::path makeRoot(const sim::Options& options, bool* temporary) {
  *temporary = options.root.empty();
  if (!options.root.empty()) {
    fs::create_directories(options.root);
    return fs::canonical(options.root);
  }
  const char* tmp = std::getenv("TMPDIR");
  std::string pattern = std::string(tmp != nullptr && tmp[0] != '\0' ? tmp : "/tmp") + "/ravelo-sim.XXXXXX";
  if (mkdtemp(pattern.data()) == nullptr) throw std::runtime_error("cannot create a temporary folder in " + pattern);
  return fs::canonical(pattern);
}


void prompt(bool interactive) {
  if (!interactive) return;
  std::fputs("ravelo> ", stderr);
  std::fflush(stderr);
}

// Reads the lines a scenario opens with that choose its device (ios, jbroot-layout) into `options`,
// and returns the first line after them (nullopt at the end). A faulty line is reported on standard
// error; outside a terminal it ends the run (*stopped holds the message).
std::optional<sim::ScenarioLine> takeDeviceChoices(sim::ScenarioReader& reader, bool interactive, sim::Options& options,
                                                   std::string* stopped) {
  for (;;) {
    prompt(interactive);
    try {
      auto line = reader.next();
      if (!line || interrupted || !sim::isDeviceChoice(*line)) return line;
      sim::commandFor(*line);
      if (line->words[0] == "ios") sim::readIosVersion(line->words[1], &options.ios);
      else sim::readJbrootLayout(line->words[1], &options.jbrootLayout);
    } catch (const sim::ScenarioError& e) {
      std::fprintf(stderr, "%s\n", e.what());
      if (interactive) continue;
      *stopped = e.what();
      return std::nullopt;
    }
  }
}

// Runs the scenario read from `reader`, starting with `first` (read already), until its end, `quit`,
// an error, or an interrupt.
int runScenario(sim::ScenarioReader& reader, std::optional<sim::ScenarioLine> first, bool interactive,
                sim::Runner& runner, sim::Transcript& transcript) {
  int status = 0;
  for (bool firstLine = true;; firstLine = false) {
    if (!firstLine) prompt(interactive);
    try {
      auto line = firstLine ? std::move(first) : reader.next();
      if (!line || interrupted) break;
      if (line->words[0] == "quit") break;
      runner.run(*line);
    } catch (const sim::ScenarioError& e) {
      std::fprintf(stderr, "%s\n", e.what());
      if (interactive) continue;
      transcript.note(std::string("stopped: ") + e.what());
      status = 1;
      break;
    }
    if (interrupted) break;
  }
  if (interactive) std::fputc('\n', stderr);
  return status;
}

}  // namespace

int runSimulator(int argc, char** argv) {
  std::string error;
  auto parsed = sim::parseOptions(argc, argv, &error);
  if (!parsed) return fail(error + " (ravelo-sim --help shows the options)", 2);
  sim::Options& options = *parsed;
  if (options.help) {
    std::fputs(sim::usageText(), stdout);
    return 0;
  }
  if (options.printTour) {
    std::fputs(sim::kTourScenario, stdout);
    return 0;
  }

  // The scenario source, opened before anything is laid out so a wrong name costs nothing.
  std::ifstream file;
  std::istringstream tour(sim::kTourScenario);
  std::istream* in = &tour;
  std::string scenarioName = "tour.txt";
  bool interactive = false;
  if (options.scenario == "-") {
    in = &std::cin;
    scenarioName = "stdin";
    interactive = isatty(STDIN_FILENO) != 0;
  } else if (!options.scenario.empty()) {
    file.open(options.scenario);
    if (!file) return fail("cannot read the scenario " + options.scenario, 2);
    in = &file;
    scenarioName = options.scenario;
  }
  std::string record = options.record;
  if (record.empty() && options.scenario.empty() && !options.noRecord) record = "tour.wav";
  std::string timeline = options.timeline;
  if (timeline.empty() && options.scenario.empty()) timeline = "tour.png";
  if (!timeline.empty()) {
    std::string problem = sim::checkPicturePath(timeline);
    if (!problem.empty()) return fail("the timeline: " + problem, 2);
  }
  if (!options.captureDir.empty()) {
    std::error_code made, checked;
    fs::create_directories(options.captureDir, made);
    if (!fs::is_directory(options.captureDir, checked)) {
      std::error_code reason = made ? made : checked;
      return fail("cannot make the folder " + options.captureDir + " for the pictures" +
                      (reason ? ": " + reason.message() : std::string()), 2);
    }
  }

  // The scenario's own choice of device comes before anything is laid out or printed.
  sim::ScenarioReader reader(*in, scenarioName);
  std::string stopped;
  std::optional<sim::ScenarioLine> first = takeDeviceChoices(reader, interactive, options, &stopped);
  if (!stopped.empty()) {
    std::printf("stopped: %s\n", stopped.c_str());
    return 1;
  }

  bool temporary = false;
  fs::path root;
  try {
    root = makeRoot(options, &temporary);
  } catch (const std::exception& e) {
    return fail(std::string("cannot make the device root: ") + e.what(), 2);
  }
  struct Cleanup {
    fs::path root;
    bool remove;
    ~Cleanup() {
      std::error_code ec;
      if (remove) fs::remove_all(root, ec);
    }
  } cleanup{root, temporary};

  sim::Transcript transcript(stdout);
  std::vector<std::string> rootForms{root.string()};
  if (!options.root.empty()) rootForms.push_back(fs::absolute(options.root).lexically_normal().string());
  transcript.setDeviceRoot(rootForms);
  sim::timeline::RunLog runLog;
  if (!timeline.empty()) {
    transcript.setObserver([&runLog](const std::string& process, const std::string& text) {
      if (process.empty()) runLog.heading(text);
      else runLog.report(process, text);
    });
  }

  sim::DeviceSetup setup;
  setup.folders = sim::DeviceFolders(root, options.jbrootLayout);
  sim::Artifacts artifacts = sim::builtArtifacts();
  setup.programs = artifacts.programs;
  setup.privateView = options.noLibroot;
  setup.missingClasses = options.withoutClasses;
  setup.deviceBinaries = options.deviceBinaries;
  setup.iosVersion = options.ios;
  std::vector<std::string> laidOut;
  // Set first: every change below the device root (the layout's too) refuses to follow links there.
  host::device::setRoot(root.string());
  try {
    laidOut = sim::layOutDevice(setup.folders, artifacts, !options.noLibroot, !options.deviceBinaries.empty());
    if (!options.deviceBinaries.empty()) sim::checkDeviceBinaries(artifacts, options.deviceBinaries);
  } catch (const std::exception& e) {
    return fail(e.what(), 2);
  }
  if (options.noLibroot && !sim::privateViewWorks(root.string(), &error)) {
    return fail("--no-libroot runs the device where /var/jb is its jailbreak root, which needs a private mount "
                "namespace (root, or unprivileged user namespaces): " + error, 2);
  }

  struct sigaction action {};
  action.sa_handler = onInterrupt;
  sigaction(SIGINT, &action, nullptr);
  sigaction(SIGTERM, &action, nullptr);
  signal(SIGPIPE, SIG_IGN);
  signal(SIGCHLD, SIG_DFL);  // inherited as ignored, it would reap the device processes unseen

  transcript.note("ravelo-sim transcript");
  // The device the scenario runs on. Between the host build and the device binaries it is the one line
  // that differs.
  std::string jbroot = sim::jbrootDevicePath(options.jbrootLayout);
  if (options.jbrootLayout != sim::JbrootLayout::VarJb) jbroot += " (/var/jb links to it)";
  transcript.note("device: iOS " + std::to_string(options.ios) + ", jailbreak root " + jbroot + ", " +
                  (options.noLibroot ? "no libroot (built-in fallbacks)" : "libroot stand-in") +
                  (options.deviceBinaries.empty() ? "" : ", device binaries " + options.deviceBinaries + " (emulated)"));
  for (const std::string& line : laidOut) transcript.note("layout " + line);

  int status = 0;
  int unexpected = 0;
  long endClock = 0;
  sim::Recorder recorder(root.string(), options.noLibroot, record);
  if (!recorder.start(&error)) return fail("recording: " + error, 2);
  try {
    sim::Device device(setup, transcript, recorder);
    sim::Runner runner(device, transcript);
    runner.setPictures(options.captureDir, options.captureScale);
    status = runScenario(reader, std::move(first), interactive, runner, transcript);
    endClock = runner.clock();
    transcript.heading("end at " + std::to_string(endClock) + "ms");
    device.switchOff();
    unexpected = device.unexpectedEnds();
  } catch (const std::exception& e) {
    return fail(e.what(), 2);
  }
  // The recording so far is kept (complete, up to where the run got) even when the run was interrupted.
  std::string problem;
  bool recorded = recorder.finish(&problem);
  if (recorder.recording())
    transcript.note("record " + record + ": " + std::to_string(recorder.soundCount()) + " sounds");
  if (interrupted) return fail("interrupted", 130);
  if (unexpected > 0) {
    std::fprintf(stderr, "ravelo-sim: %d device process%s ended unexpectedly (see the transcript)\n", unexpected,
                 unexpected == 1 ? "" : "es");
    status = 1;
  }
  if (!recorded) {
    std::fprintf(stderr, "ravelo-sim: recording %s: %s\n", record.c_str(), problem.c_str());
    status = 1;
  }
  if (!timeline.empty()) {
    // Drawn from what the transcript showed, the sounds' lengths and the WAV as written.
    sim::timeline::TimelineSource source;
    source.title = fs::path(scenarioName).filename().string();
    if (recorded && recorder.recording()) source.wavPath = record;
    source.fileLength = [device = root.string()](const std::string& path) {
      return host::audio::soundFileLengthMs(device + path);
    };
    source.systemLength = [](std::uint32_t id) { return host::audio::systemSoundLengthMs(id); };
    sim::timeline::TimelineResult drawn;
    std::string problem;
    if (sim::timeline::drawTimeline(runLog, source, timeline, &drawn, &problem)) {
      size_t pages = drawn.pages.size();
      transcript.note("timeline " + timeline + ": " + std::to_string(pages) + (pages == 1 ? " page" : " pages"));
    } else {
      std::fprintf(stderr, "ravelo-sim: timeline %s: %s\n", timeline.c_str(), problem.c_str());
      status = 1;
    }
  }
  return status;
}

int main(int argc, char** argv) {
  // Whatever this machine's file system answers (a name too long, a folder that vanished), the
  // simulator ends with a message, never an abort.
  try {
    return runSimulator(argc, argv);
  } catch (const std::exception& e) {
    return fail(e.what(), 2);
  }
}
