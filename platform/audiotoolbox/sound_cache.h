// Decoded sounds, kept per file so each file is decoded once per process.
#pragma once

#include <memory>
#include <string>

#include "decoder.h"

namespace host::audio {

// The longest sound accepted, as on the device (system sounds are at most 30 s).
inline constexpr long kMaxSoundMs = 30000;

struct LoadedSound {
  DecodeStatus status = DecodeStatus::NotAFile;
  std::shared_ptr<const Pcm> pcm;  // set when status is Ok
};

// The samples of the file at `path`, decoded on first use. A file that changed since (size or
// modification time) is decoded again; failures are not remembered, so a file that appears later loads.
LoadedSound loadSound(const std::string& path);

}  // namespace host::audio
