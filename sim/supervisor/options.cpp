#include "supervisor/options.h"

#include <cstring>

#include "protocol/classes.h"

namespace sim {

const char* usageText() {
  static const std::string text = std::string("usage: ravelo-sim [options] [SCENARIO | -]\n"
         "\n"
         "Runs Ravelo on a simulated iPhone: lays out a jailbreak root, starts SpringBoard (with the tweak\n"
         "injected) and, when asked, the Settings app (with the Ravelo pane), and carries out a scenario,\n"
         "printing a transcript of what the system did.\n"
         "\n"
         "  SCENARIO          a file of commands, one a line ('#' comments); 'help' inside lists them\n"
         "  -                 read commands from standard input (with a prompt on a terminal)\n"
         "  (nothing)         run the built-in tour: its audio to tour.wav, its timeline to tour.png,\n"
         "                    the pane to pane.png\n"
         "\n"
         "options:\n"
         "  --root DIR        lay the device out in DIR and keep it (default: a temporary folder,\n"
         "                    removed at the end); DIR's preferences store is kept between runs\n"
         "  --no-libroot      install no libroot.dylib: the system code's built-in fallbacks find the\n"
         "                    jailbreak root at /var/jb (the device's processes get a private /var)\n"
         "  --without-class NAME  SpringBoard or the Settings app runs without class NAME, as a device\n"
         "                    whose iOS lacks it (repeatable). The classes:\n"
         "                    ") + classes::describeAll("                    ", 80) + "\n" +
         "  --ios VERSION     the iOS whose SpringBoard the device runs: 15 (default), 16, 17 or 18; they\n"
         "                    differ where SpringBoard's calls reach the tweak (sim/README.md lists how)\n"
         "  --jbroot-layout LAYOUT  where the jailbreak root is: var-jb (default; the folder /var/jb) or\n"
         "                    preboot (Dopamine's /private/preboot/<hash>/dopamine-<id>/procursus, with\n"
         "                    /var/jb a link to it; the libroot stand-in answers the real folder)\n"
         "  --device-binaries ARCH  run the shipped device binaries (Ravelo.dylib, RaveloPrefs) instead of\n"
         "                    the host build: their ARCH slice (arm64, or arm64e with pointer\n"
         "                    authentication enforced) under emulation, on the same simulated frameworks\n"
         "  --record FILE     render the run's audio to a WAV file\n"
         "  --no-record       do not write tour.wav for the tour\n"
         "  --timeline FILE   draw the run as a timeline (PNG): processes, steps, sounds, resprings and\n"
         "                    the recorded audio; a long run continues in FILE-2.png, FILE-3.png...\n"
         "  --capture-dir DIR draw the Ravelo pane at every open-settings and show, to DIR/step-N-COMMAND.png\n"
         "  --capture-scale N pixels to the point of the pane's pictures: 2 (default) or 3\n"
         "  --print-tour      print the built-in tour's scenario and exit\n"
         "  --help            show this help\n"
         "\n"
         "Exit status: 0 when the scenario ran and every check held; 1 when a line was wrong, a check\n"
         "failed or a device process ended unexpectedly; 2 for a bad command line or device layout.\n";
  return text.c_str();
}

std::string readIosVersion(const std::string& text, int* version) {
  for (int v : {15, 16, 17, 18}) {
    if (text != std::to_string(v)) continue;
    if (version != nullptr) *version = v;
    return {};
  }
  return "takes an iOS version: 15, 16, 17 or 18, not '" + text + "'";
}

std::string readJbrootLayout(const std::string& text, JbrootLayout* layout) {
  std::optional<JbrootLayout> named = layoutNamed(text);
  if (!named) return "takes var-jb or preboot, not '" + text + "'";
  if (layout != nullptr) *layout = *named;
  return {};
}

std::optional<Options> parseOptions(int argc, char** argv, std::string* error) {
  Options options;
  bool haveScenario = false;
  for (int i = 1; i < argc; ++i) {
    std::string arg = argv[i];
    auto value = [&](const char* name) -> std::optional<std::string> {
      if (i + 1 >= argc) {
        *error = std::string(name) + " needs a value";
        return std::nullopt;
      }
      return std::string(argv[++i]);
    };
    if (arg == "--help" || arg == "-h") {
      options.help = true;
    } else if (arg == "--root") {
      auto v = value("--root");
      if (!v) return std::nullopt;
      options.root = *v;
    } else if (arg == "--record") {
      auto v = value("--record");
      if (!v) return std::nullopt;
      options.record = *v;
    } else if (arg == "--without-class") {
      auto v = value("--without-class");
      if (!v) return std::nullopt;
      if (!classes::known(*v)) {
        *error = "--without-class: '" + *v + "' is not a class the device can run without";
        return std::nullopt;
      }
      options.withoutClasses.push_back(*v);
    } else if (arg == "--device-binaries") {
      auto v = value("--device-binaries");
      if (!v) return std::nullopt;
      if (*v != "arm64" && *v != "arm64e") {
        *error = "--device-binaries takes arm64 or arm64e, not '" + *v + "'";
        return std::nullopt;
      }
      options.deviceBinaries = *v;
    } else if (arg == "--ios") {
      auto v = value("--ios");
      if (!v) return std::nullopt;
      std::string problem = readIosVersion(*v, &options.ios);
      if (!problem.empty()) {
        *error = "--ios " + problem;
        return std::nullopt;
      }
    } else if (arg == "--jbroot-layout") {
      auto v = value("--jbroot-layout");
      if (!v) return std::nullopt;
      std::string problem = readJbrootLayout(*v, &options.jbrootLayout);
      if (!problem.empty()) {
        *error = "--jbroot-layout " + problem;
        return std::nullopt;
      }
    } else if (arg == "--timeline") {
      auto v = value("--timeline");
      if (!v) return std::nullopt;
      options.timeline = *v;
    } else if (arg == "--capture-dir") {
      auto v = value("--capture-dir");
      if (!v) return std::nullopt;
      options.captureDir = *v;
    } else if (arg == "--capture-scale") {
      auto v = value("--capture-scale");
      if (!v) return std::nullopt;
      if (*v != "2" && *v != "3") {
        *error = "--capture-scale takes 2 or 3, not '" + *v + "'";
        return std::nullopt;
      }
      options.captureScale = *v == "2" ? 2 : 3;
    } else if (arg == "--no-libroot") {
      options.noLibroot = true;
    } else if (arg == "--no-record") {
      options.noRecord = true;
    } else if (arg == "--print-tour") {
      options.printTour = true;
    } else if (arg.size() > 1 && arg[0] == '-') {
      *error = "unknown option " + arg;
      return std::nullopt;
    } else if (haveScenario) {
      *error = "more than one scenario given (" + options.scenario + ", " + arg + ")";
      return std::nullopt;
    } else {
      options.scenario = arg;
      haveScenario = true;
    }
  }
  if (options.noRecord && !options.record.empty()) {
    *error = "--record and --no-record exclude each other";
    return std::nullopt;
  }
  return options;
}

}  // namespace sim
