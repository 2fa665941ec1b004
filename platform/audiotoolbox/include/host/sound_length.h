// How long the audio stand-in plays a sound when nothing cuts it short, for pictures of a run.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

namespace host::audio {

// The decoded length, in milliseconds, of the sound file at `path` (decoded once per process, as for
// playing); nullopt when it cannot be played (missing, unreadable, undecodable, too long).
std::optional<long> soundFileLengthMs(const std::string& path);

// The length of predefined system sound `id`; nullopt for identifiers that make no sound.
std::optional<long> systemSoundLengthMs(std::uint32_t id);

}  // namespace host::audio
