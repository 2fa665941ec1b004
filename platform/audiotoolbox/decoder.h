// Decoding a sound file (AAC .m4a, MP3, anything FFmpeg reads) to the stand-in's sample format.
#pragma once

#include <string>

#include "pcm.h"

namespace host::audio {

enum class DecodeStatus {
  Ok,
  NotAFile,     // missing, or not a regular file
  Unreadable,   // exists but cannot be opened or is not a media file
  Undecodable,  // no audio stream, or not one frame could be decoded
  TooLong,      // longer than maxMs
};

// Decodes the regular file at `path` into `out` (stereo, kSampleRate). Only the local file is read:
// the path is never interpreted as a URL or protocol. Packets that fail to decode are skipped, as a
// player does; a file of which nothing decodes is Undecodable.
DecodeStatus decodeFile(const std::string& path, long maxMs, Pcm& out);

}  // namespace host::audio
