#include <gtest/gtest.h>

#include "audio_fixture.h"
#include "host/audio.h"
#include "sound_files.h"

using audio_testing::SystemSounds;

namespace {

using RecordingARun = SystemSounds;

// The player's pattern: a sound, replaced while still audible by another one.
void playThenReplace(SystemSoundID first, SystemSoundID second) {
  AudioServicesPlaySystemSound(first);
  host::audio::setNow(100);
  AudioServicesDisposeSystemSoundID(first);
  host::audio::setNow(500);
  AudioServicesPlaySystemSound(second);
  AudioServicesPlaySystemSound(1104);
}

TEST_F(RecordingARun, TheProcessRendersItsPlaysAtTheirTimesCutWhereDisposed) {
  playThenReplace(created(tone()), created(mp3()));
  std::string error;
  ASSERT_TRUE(host::audio::renderWav((dir / "run.wav").string(), 1000, &error)) << error;
  auto wav = audio_testing::readWav(dir / "run.wav");
  EXPECT_EQ(wav.frames(), 44100u);
  EXPECT_GT(wav.rms(20, 95), 0.05);
  EXPECT_EQ(wav.rms(100, 495), 0.0);
  EXPECT_GT(wav.rms(550, 750), 0.05);
  EXPECT_EQ(wav.rms(900, 1000), 0.0);
}

TEST_F(RecordingARun, TheTraceLinesGiveTheSamePlacements) {
  playThenReplace(created(tone()), created(mp3()));
  host::mixer::TraceCollector collector;
  for (const std::string& line : traced) collector.feed(line);
  auto fromTrace = collector.placements();
  auto recorded = host::audio::placements();
  ASSERT_EQ(fromTrace.size(), recorded.size());
  for (size_t i = 0; i < recorded.size(); ++i) {
    EXPECT_EQ(fromTrace[i].file, recorded[i].file);
    EXPECT_EQ(fromTrace[i].systemSound, recorded[i].systemSound);
    EXPECT_EQ(fromTrace[i].startMs, recorded[i].startMs);
    EXPECT_EQ(fromTrace[i].cutAtMs, recorded[i].cutAtMs);
  }
}

}  // namespace
