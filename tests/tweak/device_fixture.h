// A simulated device for tweak tests: a fresh device root whose jailbreak root holds the sound pack,
// the libroot stand-in and the tweak, which a test loads into its (fresh) process as SpringBoard would;
// its settings are the tweak's preferences domain in that root (StoredSettings).
#pragma once

#include <CoreFoundation/CoreFoundation.h>

#include <filesystem>
#include <string>
#include <vector>

#include "host/audio.h"
#include "support/stored_settings.h"
#include "support/temp_dir.h"

namespace tweak_testing {

class Device : public testing_support::StoredSettings {
 public:
  // withLibroot: install libroot.dylib where the tweak's run paths find it. `tweak`: the file installed
  // as Ravelo.dylib (the host build's, or the device build's for its slices under emulation).
  explicit Device(bool withLibroot = true, const std::filesystem::path& tweak = TWEAK_PATH);

  std::filesystem::path jbroot() const { return root_ / "var/jb"; }
  // Makes the domain exist with no keys at all.
  void makeEmptyDomain();
  // Replaces the domain's whole store with a dictionary given as plist XML body.
  void writeDomain(const std::string& dictBody);
  // Writes the tweak's fallback file below the jailbreak root (XML).
  void writeFallbackFile(const std::string& plistXml);

  // Loads the tweak (its initialiser runs), as the jailbreak's loader does in SpringBoard: through the
  // process's image opener (host/device.h).
  void loadTweak();
  // Posts the settings notification and runs the run loop until it has been handled.
  void notifyChanged();

  // The catalogue file names the service was asked to create, and how many plays/disposes followed.
  std::vector<host::audio::Event> audioEvents() const;
  void clearAudioEvents() const;
  // "create Pong.m4a", "play Pong.m4a", "play (silent)", "dispose Pong.m4a", one per service call.
  std::vector<std::string> audioCalls() const;

 private:
  testing_support::TempDir dir_;
  std::filesystem::path root_;
};

// The plist XML for a dictionary body ("<key>a</key><true/>...").
std::string plistXml(const std::string& dictBody);

}  // namespace tweak_testing
