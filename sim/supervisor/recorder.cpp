#include "supervisor/recorder.h"

namespace sim {

Recorder::Recorder(std::string deviceRoot, bool privateView, std::string wavPath)
    : root_(std::move(deviceRoot)), privateView_(privateView), wavPath_(std::move(wavPath)) {}

bool Recorder::start(std::string* error) { return !recording() || renderer_.open(wavPath_, error); }

void Recorder::feed(int process, const std::string& text) {
  if (!recording() || text.rfind("audio ", 0) != 0) return;
  auto line = host::mixer::parseAudioTrace(text);
  if (!line) return;
  SoundKey sound{process, line->id};
  switch (line->kind) {
    case host::mixer::AudioTraceLine::Create: {
      std::string file = line->file;
      if (privateView_ && file.rfind("/var/", 0) == 0) file.insert(0, root_);
      sounds_[sound] = {file, nextKey_++};
      break;
    }
    case host::mixer::AudioTraceLine::Play:
      if (auto found = sounds_.find(sound); found != sounds_.end())
        renderer_.place({found->second.file, 0, line->atMs, std::nullopt}, found->second.key);
      else if (line->system)
        renderer_.place({std::string(), line->id, line->atMs, std::nullopt});
      break;
    case host::mixer::AudioTraceLine::Dispose:
      // Cuts short whatever of that sound still plays; the identifier names nothing after this.
      if (auto found = sounds_.find(sound); found != sounds_.end()) {
        renderer_.cut(found->second.key, line->atMs);
        sounds_.erase(found);
      }
      break;
  }
}

void Recorder::advanceTo(long ms) {
  if (recording()) renderer_.advanceTo(ms);
}

bool Recorder::finish(std::string* error) {
  if (!recording()) return true;
  std::string problem;
  bool written = renderer_.finish(-1, &problem);
  if (renderer_.truncated()) {
    long hours = host::mixer::maxWavDurationMs() / 3600000;
    long minutes = host::mixer::maxWavDurationMs() / 60000 % 60;
    std::string limit = "the run is longer than a WAV file can hold: the recording ends after " + std::to_string(hours) +
                        " h " + std::to_string(minutes) + " min";
    problem = problem.empty() ? limit : limit + "; " + problem;
    written = false;
  }
  if (!written && error) *error = problem;
  return written;
}

}  // namespace sim
