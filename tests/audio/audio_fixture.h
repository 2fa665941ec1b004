// A fixture for the system-sound service: test sounds, the trace it writes, a clock at 0.
#pragma once

#include <AudioToolbox/AudioServices.h>
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "support/temp_dir.h"

namespace audio_testing {

class SystemSounds : public ::testing::Test {
 protected:
  void SetUp() override;
  void TearDown() override;

  // Test sounds: a 0.3 s AAC tone and a 0.3 s MP3 tone.
  static std::string tone();
  static std::string mp3();

  // Creates a system sound from the file at `path` (a file URL made from it); returns the status.
  static OSStatus create(const std::string& path, SystemSoundID* out);
  // Creates one that must succeed.
  static SystemSoundID created(const std::string& path);

  // The trace lines written since the test began.
  std::vector<std::string> traced;

  testing_support::TempDir dir;
};

}  // namespace audio_testing
