#include "audio_fixture.h"

#include "host/audio.h"
#include "host/trace.h"
#include "sound_files.h"

namespace audio_testing {

void SystemSounds::SetUp() {
  host::setTraceSink([](const char* line, void* to) { static_cast<std::vector<std::string>*>(to)->push_back(line); },
                     &traced);
  host::audio::setNow(0);
  host::audio::clearEvents();
  host::audio::clearPlacements();
}

void SystemSounds::TearDown() { host::setTraceSink(nullptr, nullptr); }

std::string SystemSounds::tone() { return aacTone(); }
std::string SystemSounds::mp3() { return mp3Tone(); }

OSStatus SystemSounds::create(const std::string& path, SystemSoundID* out) {
  CFURLRef url = CFURLCreateFromFileSystemRepresentation(nullptr, reinterpret_cast<const UInt8*>(path.c_str()),
                                                         static_cast<CFIndex>(path.size()), false);
  OSStatus status = AudioServicesCreateSystemSoundID(url, out);
  if (url) CFRelease(url);
  return status;
}

SystemSoundID SystemSounds::created(const std::string& path) {
  SystemSoundID id = 0;
  EXPECT_EQ(create(path, &id), kAudioServicesNoError) << path;
  return id;
}

}  // namespace audio_testing
