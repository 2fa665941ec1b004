// What the structural checks know about the device build: where its outputs are, the deliverables
// and the libraries each must link, and the rule that skips every case without the cross toolchain.
#pragma once

#include "install_names.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <set>
#include <string>
#include <vector>

#include "macho_reader.h"

// DEVICE_BUILD, DEVICE_SKIP_REASON and the paths come from package/tests/CMakeLists.txt.
#define SKIP_WITHOUT_DEVICE_BUILD() \
  if (!DEVICE_BUILD) GTEST_SKIP() << DEVICE_SKIP_REASON

namespace device {

using namespace macho::install_names;

struct Deliverable {
  std::string file;  // in the device build's output folder
  std::string installName;
  std::set<std::string> libraries;
};

inline const Deliverable kTweak{
    "Ravelo.dylib",
    "@rpath/Ravelo.dylib",
    {kLibSystem, kLibObjc, kCoreFoundation, kFoundation, kAudioToolbox, kSubstrate}};
inline const Deliverable kPane{
    "RaveloPrefs",
    "/var/jb/Library/PreferenceBundles/RaveloPrefs.bundle/RaveloPrefs",
    {kLibSystem, kLibObjc, kCoreFoundation, kFoundation, kUIKit, kPreferences}};

// Names the deliverable in failure messages.
inline void PrintTo(const Deliverable& d, std::ostream* out) { *out << d.file; }

inline std::filesystem::path outputOf(const Deliverable& d) { return std::filesystem::path(DEVICE_DIR) / d.file; }

// Every slice of the deliverable's binary (arm64, and arm64e in a universal build).
inline std::vector<macho::Image> slicesOf(const Deliverable& d) { return macho::readFile(outputOf(d)); }

inline std::string nameOf(const testing::TestParamInfo<Deliverable>& info) {
  return info.param.file == kTweak.file ? "Tweak" : "Pane";
}

// The symbols a slice takes from other images.
inline std::vector<macho::Symbol> imports(const macho::Image& image) {
  std::vector<macho::Symbol> out;
  for (const macho::Symbol& s : image.symbols) {
    if (!s.debug() && s.undefined() && s.external()) out.push_back(s);
  }
  return out;
}

}  // namespace device
