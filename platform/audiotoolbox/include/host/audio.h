// Controls and observations of the system-sound service stand-in (AudioToolbox), for tests and the
// simulator. The service itself is the device API in <AudioToolbox/AudioServices.h>.
//
// Nothing is played through a sound card: every call is logged here and traced as one line
// (host/trace.h), and the audible plays are kept as placements on a virtual clock, from which the
// process's audio can be rendered to a WAV file (host/mixer.h).
//
// Trace lines (exact; <ms> is the virtual clock, <name> the file's last path component):
//   audio create <id> <path> ok
//   audio create - <path> status <status>          also "(null url)" / "(not a file url)" for <path>
//   audio play <id> <name> at <ms>ms               a created sound, heard
//   audio play <id> system <system name> at <ms>ms a predefined sound, heard ("system lock")
//   audio play <id> (silent) at <ms>ms             0, unknown, disposed or unassigned predefined identifier
//   audio play 4095 (vibrate) at <ms>ms            the vibration: nothing heard
//   audio alert ...                                 the same forms, from AudioServicesPlayAlertSound
//   audio dispose <id> <name> at <ms>ms            and "<name> (cut short) at" when it was still heard
//   audio dispose <id> (no sound) at <ms>ms        an identifier naming no live created sound (status -1500)
// host::mixer::TraceCollector turns them back into placements.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "host/mixer.h"

namespace host::audio {

// The virtual clock, in milliseconds, that stamps every call (starts at 0). The driver sets it; the
// service never reads wall-clock time.
void setNow(long ms);
long now();

struct Event {
  enum Kind { Create, Play, Dispose } kind;
  std::uint32_t id;   // the identifier created, played or disposed (0 for a failed create)
  std::string file;   // the file behind the identifier; for Create the file asked for, even when it failed
                      // (empty for predefined sounds, unknown identifiers and URLs that name no file)
  std::string name;   // as traced: the file's name, "system <name>", "(silent)", "(vibrate)" or "(no sound)"
  int status;         // the OSStatus returned (Create, Dispose); 0 for Play
  bool audible;       // Play: whether a sound was heard
  long atMs;          // the virtual clock at the call
};

// Every call since the process started (or since clearEvents), in order; only the most recent 10,000
// are kept, so a process that plays for hours does not grow. (Likewise a disposed identifier names its
// file for the 1,000 disposes that follow it; after that it counts as unknown.)
std::vector<Event> events();
void clearEvents();

// Sounds created and not yet disposed.
int liveSoundCount();

// This process's audible plays so far (the most recent 10,000), each cut at the dispose of its
// identifier if that came while it was still audible.
std::vector<host::mixer::Placement> placements();

// Forgets the placements so far (after rendering them, or in a long benchmark).
void clearPlacements();

// Renders placements() to a WAV (see host::mixer::renderWav for the arguments).
bool renderWav(const std::string& wavPath, long durationMs, std::string* error = nullptr);

}  // namespace host::audio
