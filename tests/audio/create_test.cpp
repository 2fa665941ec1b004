#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "audio_fixture.h"
#include "host/audio.h"
#include "sound_files.h"

using audio_testing::SystemSounds;
using testing::ElementsAre;

namespace {

using CreatingSounds = SystemSounds;

TEST_F(CreatingSounds, AacAndMp3FilesBecomeSounds) {
  int live = host::audio::liveSoundCount();
  SystemSoundID aac = 0, mp3 = 0;
  EXPECT_EQ(create(tone(), &aac), kAudioServicesNoError);
  EXPECT_EQ(create(SystemSounds::mp3(), &mp3), kAudioServicesNoError);
  EXPECT_GE(aac, 4096u);
  EXPECT_GT(mp3, aac);
  EXPECT_EQ(host::audio::liveSoundCount(), live + 2);

  auto events = host::audio::events();
  ASSERT_EQ(events.size(), 2u);
  EXPECT_EQ(events[0].kind, host::audio::Event::Create);
  EXPECT_EQ(events[0].id, aac);
  EXPECT_EQ(events[0].file, tone());
  EXPECT_EQ(events[0].status, 0);
  EXPECT_EQ(traced[0], "audio create " + std::to_string(aac) + " " + tone() + " ok");
}

TEST_F(CreatingSounds, IdentifiersCountUpFrom4096AndAreNeverReused) {
  SystemSoundID first = created(tone());
  SystemSoundID second = created(tone());
  EXPECT_GE(first, 4096u);
  EXPECT_EQ(second, first + 1);
  EXPECT_EQ(AudioServicesDisposeSystemSoundID(second), kAudioServicesNoError);
  EXPECT_EQ(AudioServicesDisposeSystemSoundID(first), kAudioServicesNoError);
  EXPECT_EQ(created(tone()), second + 1);
}

TEST_F(CreatingSounds, AFileNameWithSpacesAndPercentSignsWorks) {
  std::filesystem::copy_file(tone(), dir / "My 100% Pong.m4a");
  SystemSoundID id = created((dir / "My 100% Pong.m4a").string());
  AudioServicesPlaySystemSound(id);
  EXPECT_EQ(traced.back(), "audio play " + std::to_string(id) + " My 100% Pong.m4a at 0ms");
}

// Every way a file can fail to be a sound: a non-zero status, no sound, the identifier untouched.
TEST_F(CreatingSounds, MissingEmptyGarbageAndFolderPathsFail) {
  testing_support::writeFile(dir / "empty.m4a", "");
  testing_support::writeFile(dir / "garbage.m4a", std::string(4000, 'x') + "this is not a sound");
  testing_support::writeFile(dir / "garbage.mp3", "ID3 but nothing else, and no frames either");
  std::filesystem::create_directory(dir / "folder.m4a");
  int live = host::audio::liveSoundCount();
  for (const char* name : {"missing.m4a", "empty.m4a", "garbage.m4a", "garbage.mp3", "folder.m4a"}) {
    traced.clear();
    host::audio::clearEvents();
    std::string path = (dir / name).string();
    SystemSoundID id = 777;
    EXPECT_EQ(create(path, &id), kAudioServicesSystemSoundUnspecifiedError) << name;
    EXPECT_EQ(id, 777u) << name;
    EXPECT_THAT(traced, ElementsAre("audio create - " + path + " status -1500"));
    auto events = host::audio::events();
    ASSERT_EQ(events.size(), 1u);
    EXPECT_EQ(events[0].status, -1500);
    EXPECT_EQ(events[0].id, 0u);
    EXPECT_EQ(events[0].file, path);
  }
  EXPECT_EQ(host::audio::liveSoundCount(), live);
}

TEST_F(CreatingSounds, AFileOverThirtySecondsIsTooLong) {
  std::string tooLong = audio_testing::sharedTone("long.m4a", 440, 31);
  SystemSoundID id = 777;
  EXPECT_EQ(create(tooLong, &id), kAudioServicesSystemSoundExceededMaximumDurationError);
  EXPECT_EQ(id, 777u);
}

TEST_F(CreatingSounds, NullArgumentsFail) {
  SystemSoundID id = 777;
  EXPECT_EQ(AudioServicesCreateSystemSoundID(nullptr, &id), kAudioServicesSystemSoundUnspecifiedError);
  EXPECT_EQ(id, 777u);
  EXPECT_EQ(create(tone(), nullptr), kAudioServicesSystemSoundUnspecifiedError);
  EXPECT_THAT(traced, ElementsAre("audio create - (null url) status -1500", "audio create - " + tone() + " status -1500"));
}

TEST_F(CreatingSounds, AUrlThatIsNotAFileFails) {
  CFURLRef url = CFURLCreateWithString(nullptr, CFSTR("http://example.com/tmp/tone.m4a"), nullptr);
  ASSERT_NE(url, nullptr);
  SystemSoundID id = 777;
  EXPECT_EQ(AudioServicesCreateSystemSoundID(url, &id), kAudioServicesSystemSoundUnspecifiedError);
  CFRelease(url);
  EXPECT_EQ(id, 777u);
  EXPECT_THAT(traced, ElementsAre("audio create - (not a file url) status -1500"));
}

TEST_F(CreatingSounds, AFileThatAppearsLaterCanThenBeCreated) {
  std::string path = (dir / "later.m4a").string();
  SystemSoundID id = 0;
  EXPECT_NE(create(path, &id), kAudioServicesNoError);
  std::filesystem::copy_file(tone(), path);
  EXPECT_EQ(create(path, &id), kAudioServicesNoError);
}

}  // namespace
