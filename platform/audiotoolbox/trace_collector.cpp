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

void TraceCollector::feed(std::string_view line) {
  std::uint32_t id = 0;
  long ms = 0;
  if (consume(line, "audio create ")) {
    // "audio create <id> <path> ok"; failed creates ("audio create - ...") make no sound.
    if (!takeId(line, id) || !line.ends_with(" ok")) return;
    files_[id] = std::string(line.substr(0, line.size() - 3));
    open_.erase(id);
  } else if (consume(line, "audio play ") || consume(line, "audio alert ")) {
    // "audio play <id> <file name | system <name> | (silent)> at <ms>ms"
    if (!takeId(line, id) || !takeTime(line, ms) || line == "(silent)") return;
    auto file = files_.find(id);
    if (file != files_.end()) {
      open_[id].push_back(placements_.size());
      placements_.push_back({file->second, 0, ms, std::nullopt});
    } else if (line.starts_with("system ")) {
      placements_.push_back({std::string(), id, ms, std::nullopt});
    }
  } else if (consume(line, "audio dispose ")) {
    // "audio dispose <id> <what> at <ms>ms": cuts short whatever of that identifier still plays.
    if (!takeId(line, id) || !takeTime(line, ms)) return;
    auto open = open_.find(id);
    if (open == open_.end()) return;
    for (size_t index : open->second) {
      Placement& p = placements_[index];
      if (p.startMs <= ms && !p.cutAtMs) p.cutAtMs = ms;
    }
    open_.erase(open);
  }
}

}  // namespace host::mixer
