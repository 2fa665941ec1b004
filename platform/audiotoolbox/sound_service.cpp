#include "sound_service.h"

#include <deque>
#include <memory>
#include <mutex>
#include <unordered_map>

#include "host/audio.h"
#include "host/trace.h"
#include "sound_cache.h"
#include "system_sounds.h"

namespace host::audio {
namespace {

struct Sound {
  std::string path;
  std::string name;  // the file's name, as the trace shows it
  std::shared_ptr<const Pcm> pcm;
  bool live;
};

// A placement that may still be audible, so that a dispose can cut it short.
struct Sounding {
  std::uint64_t placement;  // its number among all placements ever made
  long endMs;
};

// The log, the placements and the disposed sounds kept to name their files are bounded, so that a
// process playing sounds for hours keeps the same memory: the oldest are forgotten first.
constexpr size_t kMaxLogged = 10000;
constexpr size_t kMaxPlacements = 10000;
constexpr size_t kMaxDisposedKept = 1000;

struct State {
  std::mutex lock;
  long nowMs = 0;
  std::uint32_t nextId = kFirstCreatedSound;
  std::unordered_map<std::uint32_t, Sound> sounds;  // disposed ones stay, not live, to name their file
  std::deque<std::uint32_t> disposed;                 // the disposed ones kept, oldest first
  int live = 0;
  std::deque<Event> log;
  std::deque<mixer::Placement> placements;
  std::uint64_t placementsDropped = 0;  // the number of the oldest placement kept
  // Per identifier, in the order played. One identifier's plays all last as long, so with the clock
  // moving forward they also end in this order and the finished ones are dropped from the front.
  std::unordered_map<std::uint32_t, std::deque<Sounding>> sounding;

  void logEvent(Event e) {
    if (log.size() == kMaxLogged) log.pop_front();
    log.push_back(std::move(e));
  }
  std::uint64_t place(mixer::Placement p) {
    if (placements.size() == kMaxPlacements) {
      placements.pop_front();
      ++placementsDropped;
    }
    placements.push_back(std::move(p));
    return placementsDropped + placements.size() - 1;
  }
  mixer::Placement* placement(std::uint64_t number) {
    return number < placementsDropped ? nullptr : &placements[number - placementsDropped];
  }
  void keepDisposed(std::uint32_t id) {
    disposed.push_back(id);
    if (disposed.size() > kMaxDisposedKept) {
      sounds.erase(disposed.front());
      disposed.pop_front();
    }
  }
};

// Never destroyed: another library's static destructor may still call the service at exit.
State& state() {
  static State* s = new State;
  return *s;
}

std::string fileName(const std::string& path) {
  size_t slash = path.rfind('/');
  return slash == std::string::npos ? path : path.substr(slash + 1);
}

}  // namespace

void setNow(long ms) {
  std::lock_guard<std::mutex> guard(state().lock);
  state().nowMs = ms;
}

long now() {
  std::lock_guard<std::mutex> guard(state().lock);
  return state().nowMs;
}

std::vector<Event> events() {
  std::lock_guard<std::mutex> guard(state().lock);
  return {state().log.begin(), state().log.end()};
}

void clearEvents() {
  std::lock_guard<std::mutex> guard(state().lock);
  state().log.clear();
}

int liveSoundCount() {
  std::lock_guard<std::mutex> guard(state().lock);
  return state().live;
}

std::vector<mixer::Placement> placements() {
  std::lock_guard<std::mutex> guard(state().lock);
  return {state().placements.begin(), state().placements.end()};
}

void clearPlacements() {
  std::lock_guard<std::mutex> guard(state().lock);
  state().placementsDropped += state().placements.size();
  state().placements.clear();
  state().sounding.clear();
}

bool renderWav(const std::string& wavPath, long durationMs, std::string* error) {
  return mixer::renderWav(placements(), durationMs, wavPath, error);
}

int createSound(const char* path, const char* what, std::uint32_t* out) {
  LoadedSound loaded;
  if (path != nullptr && out != nullptr) loaded = loadSound(path);
  const std::string shown = path != nullptr ? path : what;
  const int status = loaded.pcm ? kStatusOk
                     : loaded.status == DecodeStatus::TooLong ? kStatusTooLong
                                                              : kStatusUnspecified;
  std::uint32_t id = 0;
  {
    State& s = state();
    std::lock_guard<std::mutex> guard(s.lock);
    if (status == kStatusOk) {
      id = s.nextId++;
      s.sounds[id] = Sound{path, fileName(path), loaded.pcm, true};
      ++s.live;
      *out = id;
    }
    s.logEvent({Event::Create, id, path != nullptr ? std::string(path) : std::string(), "", status, false, s.nowMs});
  }
  if (status == kStatusOk)
    trace("audio create %u %s ok", id, shown.c_str());
  else
    trace("audio create - %s status %d", shown.c_str(), status);
  return status;
}

void playSound(std::uint32_t id, bool alert) {
  State& s = state();
  std::string name;
  long at;
  {
    std::lock_guard<std::mutex> guard(s.lock);
    at = s.nowMs;
    std::string file;
    std::shared_ptr<const Pcm> pcm;
    auto found = s.sounds.find(id);
    if (found != s.sounds.end()) {
      file = found->second.path;
      if (found->second.live) {
        pcm = found->second.pcm;
        name = found->second.name;
      }
    } else if (const char* system = systemSoundName(id)) {
      pcm = systemSoundSamples(id);
      name = pcm ? std::string("system ") + system : "(" + std::string(system) + ")";
    }
    if (name.empty()) name = "(silent)";
    if (pcm) {
      std::deque<Sounding>& playing = s.sounding[id];
      while (!playing.empty() && playing.front().endMs <= at) playing.pop_front();
      playing.push_back({s.place({file, file.empty() ? id : 0, at, std::nullopt}), at + pcm->durationMs()});
    }
    s.logEvent({Event::Play, id, std::move(file), name, kStatusOk, pcm != nullptr, at});
  }
  trace("audio %s %u %s at %ldms", alert ? "alert" : "play", id, name.c_str(), at);
}

int disposeSound(std::uint32_t id) {
  State& s = state();
  int status = kStatusOk;
  bool cut = false;
  std::string name;
  long at;
  {
    std::lock_guard<std::mutex> guard(s.lock);
    at = s.nowMs;
    std::string file;
    auto found = s.sounds.find(id);
    if (found == s.sounds.end() || !found->second.live) {
      status = kStatusUnspecified;
      name = "(no sound)";
      if (found != s.sounds.end()) file = found->second.path;
    } else {
      Sound& sound = found->second;
      sound.live = false;
      sound.pcm.reset();
      --s.live;
      file = sound.path;
      name = sound.name;
      s.keepDisposed(id);
      // Whatever of this sound is still playing stops now.
      auto playing = s.sounding.find(id);
      if (playing != s.sounding.end()) {
        for (const Sounding& p : playing->second) {
          mixer::Placement* placement = s.placement(p.placement);
          if (placement != nullptr && placement->startMs <= at && at < p.endMs) {
            placement->cutAtMs = at;
            cut = true;
          }
        }
        s.sounding.erase(playing);
      }
    }
    s.logEvent({Event::Dispose, id, std::move(file), name, status, false, at});
  }
  trace("audio dispose %u %s%s at %ldms", id, name.c_str(), cut ? " (cut short)" : "", at);
  return status;
}

}  // namespace host::audio
