#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "audio_fixture.h"
#include "host/audio.h"

using audio_testing::SystemSounds;
using testing::ElementsAre;

namespace {

std::string at(SystemSoundID id, const std::string& rest) { return std::to_string(id) + " " + rest; }

using PlayingSounds = SystemSounds;

TEST_F(PlayingSounds, APlayIsRecordedAtTheClocksTimeAndReturnsAtOnce) {
  SystemSoundID id = created(tone());
  host::audio::setNow(250);
  AudioServicesPlaySystemSound(id);
  EXPECT_EQ(host::audio::now(), 250);

  host::audio::Event play = host::audio::events().back();
  EXPECT_EQ(play.kind, host::audio::Event::Play);
  EXPECT_EQ(play.id, id);
  EXPECT_EQ(play.file, tone());
  EXPECT_EQ(play.name, "tone.m4a");
  EXPECT_TRUE(play.audible);
  EXPECT_EQ(play.atMs, 250);
  EXPECT_EQ(traced.back(), "audio play " + at(id, "tone.m4a at 250ms"));
  auto placements = host::audio::placements();
  ASSERT_EQ(placements.size(), 1u);
  EXPECT_EQ(placements[0].file, tone());
  EXPECT_EQ(placements[0].startMs, 250);
}

TEST_F(PlayingSounds, IdentifierZeroAndUnknownIdentifiersAreSilentPlays) {
  AudioServicesPlaySystemSound(0);
  AudioServicesPlaySystemSound(99999);
  EXPECT_THAT(traced, ElementsAre("audio play 0 (silent) at 0ms", "audio play 99999 (silent) at 0ms"));
  for (const auto& e : host::audio::events()) {
    EXPECT_EQ(e.kind, host::audio::Event::Play);
    EXPECT_FALSE(e.audible);
  }
  EXPECT_TRUE(host::audio::placements().empty());
}

TEST_F(PlayingSounds, ADisposedIdentifierIsASilentPlayThatStillNamesItsFile) {
  SystemSoundID id = created(tone());
  AudioServicesDisposeSystemSoundID(id);
  AudioServicesPlaySystemSound(id);
  host::audio::Event play = host::audio::events().back();
  EXPECT_FALSE(play.audible);
  EXPECT_EQ(play.file, tone());
  EXPECT_EQ(traced.back(), "audio play " + at(id, "(silent) at 0ms"));
  EXPECT_TRUE(host::audio::placements().empty());
}

TEST_F(PlayingSounds, AProcessPlayingForHoursKeepsOnlyTheMostRecentCallsAndPlays) {
  SystemSoundID id = created(tone());
  for (long i = 0; i < 10005; ++i) {
    host::audio::setNow(i * 300);
    AudioServicesPlaySystemSound(id);
  }
  auto events = host::audio::events();
  ASSERT_EQ(events.size(), 10000u);
  EXPECT_EQ(events.back().atMs, 10004L * 300);
  auto placements = host::audio::placements();
  ASSERT_EQ(placements.size(), 10000u);
  EXPECT_EQ(placements.front().startMs, 5L * 300);
  // A dispose still cuts the play that is audible, though older ones were forgotten.
  AudioServicesDisposeSystemSoundID(id);
  EXPECT_EQ(host::audio::placements().back().cutAtMs, 10004L * 300);
}

TEST_F(PlayingSounds, PredefinedSystemSoundsAreAudibleAndNamed) {
  for (SystemSoundID id : {1100u, 1104u, 1106u, 1108u}) AudioServicesPlaySystemSound(id);
  EXPECT_THAT(traced, ElementsAre("audio play 1100 system lock at 0ms", "audio play 1104 system keypad tock at 0ms",
                                  "audio play 1106 system charger connected at 0ms",
                                  "audio play 1108 system camera shutter at 0ms"));
  for (const auto& e : host::audio::events()) EXPECT_TRUE(e.audible) << e.id;
  auto placements = host::audio::placements();
  ASSERT_EQ(placements.size(), 4u);
  EXPECT_EQ(placements[0].systemSound, 1100u);
  EXPECT_EQ(placements[0].file, "");
}

TEST_F(PlayingSounds, TheVibrationAndUnassignedSystemIdentifiersMakeNoSound) {
  AudioServicesPlaySystemSound(kSystemSoundID_Vibrate);
  AudioServicesPlaySystemSound(1999);
  EXPECT_THAT(traced, ElementsAre("audio play 4095 (vibrate) at 0ms", "audio play 1999 (silent) at 0ms"));
  EXPECT_TRUE(host::audio::placements().empty());
}

TEST_F(PlayingSounds, AnAlertSoundPlaysLikeASystemSound) {
  SystemSoundID id = created(mp3());
  AudioServicesPlayAlertSound(id);
  EXPECT_EQ(traced.back(), "audio alert " + at(id, "tone.mp3 at 0ms"));
  EXPECT_TRUE(host::audio::events().back().audible);
}

using DisposingSounds = SystemSounds;

TEST_F(DisposingSounds, DisposingWhileAudibleCutsTheSoundShortThen) {
  SystemSoundID id = created(tone());
  int live = host::audio::liveSoundCount();
  AudioServicesPlaySystemSound(id);
  host::audio::setNow(100);
  EXPECT_EQ(AudioServicesDisposeSystemSoundID(id), kAudioServicesNoError);
  EXPECT_EQ(host::audio::liveSoundCount(), live - 1);
  EXPECT_EQ(traced.back(), "audio dispose " + at(id, "tone.m4a (cut short) at 100ms"));
  host::audio::Event dispose = host::audio::events().back();
  EXPECT_EQ(dispose.kind, host::audio::Event::Dispose);
  EXPECT_EQ(dispose.file, tone());
  EXPECT_EQ(dispose.status, 0);
  EXPECT_EQ(host::audio::placements()[0].cutAtMs, 100);
}

TEST_F(DisposingSounds, DisposingAfterTheSoundEndedCutsNothing) {
  SystemSoundID id = created(tone());
  AudioServicesPlaySystemSound(id);
  host::audio::setNow(1000);
  AudioServicesDisposeSystemSoundID(id);
  EXPECT_EQ(traced.back(), "audio dispose " + at(id, "tone.m4a at 1000ms"));
  EXPECT_FALSE(host::audio::placements()[0].cutAtMs);
}

TEST_F(DisposingSounds, OnlyThePlaysStillAudibleAreCut) {
  SystemSoundID id = created(tone());
  AudioServicesPlaySystemSound(id);
  host::audio::setNow(500);
  AudioServicesPlaySystemSound(id);
  host::audio::setNow(600);
  AudioServicesDisposeSystemSoundID(id);
  auto placements = host::audio::placements();
  ASSERT_EQ(placements.size(), 2u);
  EXPECT_FALSE(placements[0].cutAtMs);
  EXPECT_EQ(placements[1].cutAtMs, 600);
}

TEST_F(DisposingSounds, IdentifiersThatNameNoSoundFail) {
  SystemSoundID id = created(tone());
  EXPECT_EQ(AudioServicesDisposeSystemSoundID(id), kAudioServicesNoError);
  EXPECT_EQ(AudioServicesDisposeSystemSoundID(id), kAudioServicesSystemSoundUnspecifiedError);
  EXPECT_EQ(AudioServicesDisposeSystemSoundID(0), kAudioServicesSystemSoundUnspecifiedError);
  EXPECT_EQ(traced[traced.size() - 2], "audio dispose " + at(id, "(no sound) at 0ms"));
  EXPECT_EQ(traced.back(), "audio dispose 0 (no sound) at 0ms");
}

}  // namespace
