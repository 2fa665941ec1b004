// What the stand-ins report that a person using the device would notice (a sound played, a setting
// written, a URL opened), as single lines, for the simulator's transcript and for tests.
#pragma once

namespace host {

using TraceSink = void (*)(const char* line, void* context);

// Sends every later trace line to `sink` (null discards them, the default).
void setTraceSink(TraceSink sink, void* context);

// Formats one line (no trailing newline) and hands it to the sink.
void trace(const char* format, ...) __attribute__((format(printf, 1, 2)));

}  // namespace host
