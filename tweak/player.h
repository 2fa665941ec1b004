// The one routine every sound of the tweak goes through.
#pragma once

#include <stdint.h>

// Plays catalogue entry `index` (clamped to 1..45 for the lookup) from the sounds directory below the
// jailbreak root, asynchronously. Nothing happens while the master switch is off. One system sound is
// kept: it is re-created only when `index` (the raw value, unclamped) differs from the last one, so
// repeating a selection costs one play call; the previous sound is disposed, which may cut it short.
// A missing or unreadable file stays silent.
void playSound(int32_t index);
