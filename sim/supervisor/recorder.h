// The audio of a run: every sound the device's processes played, placed on the scenario clock as the
// run goes, from their trace lines (SpringBoard's restarts included), and written to the WAV file in
// pieces, so that a run of any length records in the same memory.
#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <utility>

#include "host/mixer.h"

namespace sim {

class Recorder {
 public:
  // `deviceRoot`: host folder of the device root; `privateView`: processes name files by their
  // device paths (/var/jb/...), which the recorder turns back into host paths. An empty `wavPath`
  // records nothing.
  Recorder(std::string deviceRoot, bool privateView, std::string wavPath);

  bool recording() const { return !wavPath_.empty(); }
  const std::string& wavPath() const { return wavPath_; }

  // Creates the WAV file; false with *error.
  bool start(std::string* error);

  // A trace line of the process started as number `process`.
  void feed(int process, const std::string& line);

  // The scenario clock has reached `ms`: nothing before it can change any more.
  void advanceTo(long ms);

  size_t soundCount() const { return renderer_.placed(); }

  // Writes the rest and closes the file; false with *error set when it could not, or when the run was
  // longer than a WAV file holds (the file then ends at that limit, complete).
  bool finish(std::string* error);

 private:
  using SoundKey = std::pair<int, std::uint32_t>;  // process, identifier
  struct Sound {
    std::string file;   // host path
    std::uint64_t key;  // the renderer's name for its plays still to be cut
  };

  std::string root_;
  bool privateView_;
  std::string wavPath_;
  host::mixer::Renderer renderer_;
  std::map<SoundKey, Sound> sounds_;  // created and not yet disposed
  std::uint64_t nextKey_ = 1;
};

}  // namespace sim
