// ravelo-sim's command line.
#pragma once

#include <optional>
#include <string>
#include <vector>

namespace sim {

struct Options {
  std::string scenario;           // a file, "-" for standard input, "" for the built-in tour
  std::string root;               // --root: lay the device out here and keep it
  bool noLibroot = false;         // --no-libroot
  std::string record;             // --record FILE ("" : none, except tour.wav for the tour)
  bool noRecord = false;          // --no-record
  std::string timeline;           // --timeline FILE ("" : none, except tour.png for the tour)
  std::string captureDir;         // --capture-dir DIR: a picture of the pane at every open-settings and show
  int captureScale = 2;           // --capture-scale 2|3: pixels to the point of the pane's pictures
  bool printTour = false;         // --print-tour
  std::vector<std::string> withoutClasses;  // --without-class NAME, each
  std::string deviceBinaries;     // --device-binaries ARCH: "arm64" or "arm64e" ("": the host build)
  bool help = false;
};

// Parses the arguments; nullopt with *error set for a bad command line.
std::optional<Options> parseOptions(int argc, char** argv, std::string* error);

// The --help text.
const char* usageText();

}  // namespace sim
