#include "host/sound_length.h"

#include "sound_cache.h"
#include "system_sounds.h"

namespace host::audio {

std::optional<long> soundFileLengthMs(const std::string& path) {
  LoadedSound sound = loadSound(path);
  if (sound.status != DecodeStatus::Ok || !sound.pcm) return std::nullopt;
  return sound.pcm->durationMs();
}

std::optional<long> systemSoundLengthMs(std::uint32_t id) {
  auto samples = systemSoundSamples(id);
  if (!samples) return std::nullopt;
  return samples->durationMs();
}

}  // namespace host::audio
