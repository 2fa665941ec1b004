// The system's predefined sounds (identifiers 1000-2000 on the device, plus the vibration), with
// short sounds of our own made in code standing in for the device's.
#pragma once

#include <cstdint>
#include <memory>

#include "pcm.h"

namespace host::audio {

inline constexpr std::uint32_t kVibrateSound = 0x00000FFF;

// The name of a predefined sound ("lock", "keypad tock", "charger connected"), or null when the
// identifier names none. A name does not mean it is audible: see systemSoundSamples.
const char* systemSoundName(std::uint32_t id);

// The samples of a predefined audible sound (made once, then shared), or null for identifiers that
// are not predefined or make no sound (the vibration).
std::shared_ptr<const Pcm> systemSoundSamples(std::uint32_t id);

}  // namespace host::audio
