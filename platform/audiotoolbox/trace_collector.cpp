#include <charconv>

#include "host/mixer.h"

namespace host::mixer {
namespace {

bool consume(std::string_view& s, std::string_view prefix) {
  if (!s.starts_with(prefix)) return false;
  s.remove_prefix(prefix.size());
  return true;
}

// Reads "<digits> " from the front of `s`.
bool takeId(std::string_view& s, std::uint32_t& id) {
  auto [end, ec] = std::from_chars(s.data(), s.data() + s.size(), id);
  if (ec != std::errc() || end == s.data() + s.size() || *end != ' ') return false;
  s.remove_prefix(static_cast<size_t>(end - s.data()) + 1);
  return true;
}

// Reads " at <ms>ms" from the back of `s`.
bool takeTime(std::string_view& s, long& ms) {
  if (!s.ends_with("ms")) return false;
  size_t at = s.rfind(" at ");
  if (at == std::string_view::npos) return false;
  const char* first = s.data() + at + 4;
  const char* last = s.data() + s.size() - 2;
  auto [end, ec] = std::from_chars(first, last, ms);
  if (ec != std::errc() || end != last) return false;
  s = s.substr(0, at);
  return true;
}

}  // namespace

std::optional<AudioTraceLine> parseAudioTrace(std::string_view line) {
  AudioTraceLine parsed{};
  if (consume(line, "audio create ")) {
    // "audio create <id> <path> ok"; failed creates ("audio create - ...") make no sound.
    if (!takeId(line, parsed.id) || !line.ends_with(" ok")) return std::nullopt;
    parsed.file = std::string(line.substr(0, line.size() - 3));
    return parsed;
  }
  if (consume(line, "audio play ") || consume(line, "audio alert ")) {
    // "audio play <id> <file name | system <name> | (silent)> at <ms>ms"
    parsed.kind = AudioTraceLine::Play;
    if (!takeId(line, parsed.id) || !takeTime(line, parsed.atMs) || line == "(silent)") return std::nullopt;
    parsed.system = line.starts_with("system ");
    return parsed;
  }
  if (consume(line, "audio dispose ")) {
    // "audio dispose <id> <what> at <ms>ms"
    parsed.kind = AudioTraceLine::Dispose;
    if (!takeId(line, parsed.id) || !takeTime(line, parsed.atMs)) return std::nullopt;
    return parsed;
  }
  return std::nullopt;
}

void TraceCollector::feed(std::string_view text) {
  auto line = parseAudioTrace(text);
  if (!line) return;
  switch (line->kind) {
    case AudioTraceLine::Create:
      files_[line->id] = line->file;
      open_.erase(line->id);
      break;
    case AudioTraceLine::Play:
      if (auto file = files_.find(line->id); file != files_.end()) {
        open_[line->id].push_back(placements_.size());
        placements_.push_back({file->second, 0, line->atMs, std::nullopt});
      } else if (line->system) {
        placements_.push_back({std::string(), line->id, line->atMs, std::nullopt});
      }
      break;
    case AudioTraceLine::Dispose: {
      // Cuts short whatever of that identifier still plays.
      auto open = open_.find(line->id);
      if (open == open_.end()) return;
      for (size_t index : open->second) {
        Placement& p = placements_[index];
        if (p.startMs <= line->atMs && !p.cutAtMs) p.cutAtMs = line->atMs;
      }
      open_.erase(open);
      break;
    }
  }
}

}  // namespace host::mixer
