// ravelo-sim's command line.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "supervisor/layout.h"

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
  int ios = 15;                   // --ios 15|16|17|18: the iOS whose SpringBoard the device runs
  JbrootLayout jbrootLayout = JbrootLayout::VarJb;  // --jbroot-layout var-jb|preboot
  bool help = false;
};

// Parses the arguments; nullopt with *error set for a bad command line.
std::optional<Options> parseOptions(int argc, char** argv, std::string* error);

// The --help text.
const char* usageText();

// Reads an iOS version the simulated SpringBoard can follow (15 to 18) or a jailbreak-root layout's
// name, for the options and the scenario commands: "" when `text` is one, else what is wrong with it.
std::string readIosVersion(const std::string& text, int* version);
std::string readJbrootLayout(const std::string& text, JbrootLayout* layout);

}  // namespace sim
