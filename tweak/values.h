// Reading stored settings values the way Foundation reads them, without ever sending a message to an
// object that does not understand it (that would take SpringBoard down).
#pragma once

#include <CoreFoundation/CoreFoundation.h>
#include <stdint.h>

// A boolean, number or string gives its boolValue; anything else (absent, array, dictionary, date,
// data) counts as absent and yields false.
bool readSwitchValue(CFTypeRef value, bool* out);

// A boolean, number or string gives its integerValue truncated to 32 bits; anything else counts as
// absent and yields false.
bool readSoundValue(CFTypeRef value, int32_t* out);
