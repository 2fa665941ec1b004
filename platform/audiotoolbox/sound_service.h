// The system-sound service's state and behaviour, behind the device API (audio_services.cpp).
#pragma once

#include <cstdint>
#include <string>

namespace host::audio {

// Statuses as the device's AudioServices.h defines them.
inline constexpr int kStatusOk = 0;
inline constexpr int kStatusUnspecified = -1500;
inline constexpr int kStatusTooLong = -1502;

inline constexpr std::uint32_t kFirstCreatedSound = 4096;

// Creates a sound from the file at `path` (null: the URL named no local file; `what` then describes
// it for the trace). On success stores a new identifier in *out; on failure leaves *out untouched.
int createSound(const char* path, const char* what, std::uint32_t* out);

// Plays a sound asynchronously (records it at the clock's time); `alert` for the alert variant.
void playSound(std::uint32_t id, bool alert);

// Disposes a created sound, cutting it short if still audible.
int disposeSound(std::uint32_t id);

}  // namespace host::audio
