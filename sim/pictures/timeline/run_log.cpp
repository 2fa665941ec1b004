#include "timeline/run_log.h"

#include <charconv>
#include <string_view>

namespace sim::timeline {
namespace {

// A sound is never longer than this (the audio service refuses longer files): plays older than this
// cannot be cut any more and are no longer tracked.
constexpr std::int64_t kLongestSoundMs = 30000;

bool startsWith(std::string_view s, std::string_view prefix) { return s.substr(0, prefix.size()) == prefix; }

// Reads "<digits>" at the front of `s` into *value, moving past them.
bool takeNumber(std::string_view& s, std::int64_t* value) {
  auto [end, ec] = std::from_chars(s.data(), s.data() + s.size(), *value);
  if (ec != std::errc() || end == s.data()) return false;
  s.remove_prefix(static_cast<size_t>(end - s.data()));
  return true;
}

// Splits "<rest> at <ms>ms" into rest and ms.
bool takeTime(std::string_view& s, std::int64_t* ms) {
  size_t at = s.rfind(" at ");
  if (at == std::string_view::npos || s.size() < 2 || s.substr(s.size() - 2) != "ms") return false;
  std::string_view digits = s.substr(at + 4, s.size() - at - 6);
  if (!takeNumber(digits, ms) || !digits.empty()) return false;
  s = s.substr(0, at);
  return true;
}

}  // namespace

std::uint32_t RunLog::intern(const std::string& text) {
  auto [it, added] = textIndex_.emplace(text, static_cast<std::uint32_t>(texts_.size()));
  if (added) texts_.push_back(text);
  return it->second;
}

std::uint16_t RunLog::lane(const std::string& process) {
  for (size_t i = 0; i < lanes_.size(); ++i)
    if (lanes_[i] == process) return static_cast<std::uint16_t>(i);
  lanes_.push_back(process);
  reportedInStep_.push_back(-1);
  return static_cast<std::uint16_t>(lanes_.size() - 1);
}

void RunLog::add(Kind kind, std::uint16_t laneIndex, std::uint32_t text, std::uint8_t flags) {
  Event event;
  event.atMs = clockMs_;
  event.kind = kind;
  event.lane = laneIndex;
  event.text = text;
  event.flags = flags;
  events_.push_back(event);
}

void RunLog::atTime(std::int64_t ms) {
  clockMs_ = ms;
  endMs_ = std::max(endMs_, ms);
  if (openRespring_ >= 0) {
    events_[static_cast<size_t>(openRespring_)].endMs = ms;
    openRespring_ = -1;
  }
  for (std::uint32_t note : pendingNotes_) add(Kind::Note, 0, note);
  pendingNotes_.clear();
}

void RunLog::heading(const std::string& line) {
  std::string_view text = line;
  std::int64_t ms = 0;
  if (startsWith(text, "step ")) {
    size_t at = text.find(") at ");
    if (at == std::string_view::npos) return;
    std::string_view rest = text.substr(at + 5);
    if (!takeNumber(rest, &ms) || !startsWith(rest, "ms: ")) return;
    atTime(ms);
    ++step_;
    add(Kind::Step, 0, intern(std::string(rest.substr(4))));
  } else if (startsWith(text, "boot at ") || startsWith(text, "end at ")) {
    std::string_view rest = text.substr(text.find(" at ") + 4);
    if (!takeNumber(rest, &ms)) return;
    atTime(ms);
    ++step_;
    if (startsWith(text, "boot")) add(Kind::Step, 0, intern("switch on"));
  } else if (startsWith(text, "-- ")) {
    pendingNotes_.push_back(intern(std::string(text.substr(3))));
  }
}

void RunLog::report(const std::string& process, const std::string& text) {
  if (process == "sim") {
    simulator(text);
    return;
  }
  std::uint16_t index = lane(process);
  if (reportedInStep_[index] != step_) {
    reportedInStep_[index] = step_;
    add(Kind::Activity, index, 0);
  }
  if (startsWith(text, "audio ")) audio(index, text);
}

void RunLog::simulator(const std::string& line) {
  std::string_view text = line;
  if (startsWith(text, "start ")) {
    std::uint16_t index = lane(std::string(text.substr(6)));
    // A process started afresh has no system sounds yet.
    std::erase_if(created_, [index](const auto& entry) { return entry.first.first == index; });
    std::erase_if(playing_, [index](const auto& entry) { return entry.first.first == index; });
    add(Kind::Start, index, 0);
  } else if (startsWith(text, "stop ")) {
    add(Kind::End, lane(std::string(text.substr(5))), 0);
  } else if (size_t ended = text.find(" ended "); ended != std::string_view::npos && text.find(' ') == ended) {
    std::string name(text.substr(0, ended));
    bool unexpected = text.find(" ended unexpectedly") != std::string_view::npos ||
                      text.find(" ended during its start") != std::string_view::npos;
    add(Kind::End, lane(name), 0, unexpected ? Unexpected : 0);
    if (name == "backboardd" && text.substr(text.size() - 10) == ": respring") {
      openRespring_ = static_cast<std::int64_t>(events_.size());
      add(Kind::Respring, 0, 0);
    }
  }
}

void RunLog::audio(std::uint16_t laneIndex, const std::string& line) {
  std::string_view text = line;
  std::int64_t id = 0, ms = 0;
  if (startsWith(text, "audio create ")) {
    text.remove_prefix(13);
    if (startsWith(text, "- ")) {
      // "audio create - <path> status <n>"
      std::string_view path = text.substr(2, text.rfind(" status ") - 2);
      add(Kind::FailedCreate, laneIndex, intern(std::string(path)));
    } else if (takeNumber(text, &id) && startsWith(text, " ") && text.size() > 4 &&
               text.substr(text.size() - 3) == " ok") {
      created_[{laneIndex, static_cast<std::uint32_t>(id)}] = intern(std::string(text.substr(1, text.size() - 4)));
    }
    return;
  }
  bool play = startsWith(text, "audio play ");
  bool alert = startsWith(text, "audio alert ");
  if (play || alert) {
    text.remove_prefix(play ? 11 : 12);
    if (!takeNumber(text, &id) || !startsWith(text, " ") || !takeTime(text, &ms)) return;
    std::string_view what = text.substr(1);
    auto key = std::make_pair(laneIndex, static_cast<std::uint32_t>(id));
    clockMs_ = ms;
    if (startsWith(what, "(")) {
      add(Kind::Silent, laneIndex, intern(std::string(what)));
    } else if (startsWith(what, "system ")) {
      add(Kind::SystemSound, laneIndex, intern(std::string(what)));
      events_.back().id = static_cast<std::uint32_t>(id);
    } else {
      auto file = created_.find(key);
      add(Kind::Sound, laneIndex, file != created_.end() ? file->second : intern(std::string(what)));
      auto& plays = playing_[key];
      std::erase_if(plays, [&](std::uint32_t e) { return events_[e].atMs < ms - kLongestSoundMs; });
      plays.push_back(static_cast<std::uint32_t>(events_.size() - 1));
    }
    return;
  }
  if (startsWith(text, "audio dispose ")) {
    // "audio dispose <id> <name> [(cut short)] at <ms>ms"
    text.remove_prefix(14);
    if (!takeNumber(text, &id) || !takeTime(text, &ms)) return;
    auto key = std::make_pair(laneIndex, static_cast<std::uint32_t>(id));
    bool cut = text.size() >= 12 && text.substr(text.size() - 12) == " (cut short)";
    if (auto plays = playing_.find(key); plays != playing_.end()) {
      for (std::uint32_t e : plays->second) {
        Event& event = events_[e];
        if (cut && event.atMs <= ms && event.endMs < 0) {
          event.endMs = ms;
          event.flags |= Cut;
        }
      }
      playing_.erase(plays);
    }
    created_.erase(key);
  }
}

}  // namespace sim::timeline
