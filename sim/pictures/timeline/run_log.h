// What happened in a run, on the scenario clock, for its timeline: fed every line of the transcript
// as it is printed (its headings and the processes' lines), kept as a compact list of events (a few
// dozen bytes each, texts stored once) so that a long run stays small.
#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <unordered_map>
#include <utility>
#include <vector>

namespace sim::timeline {

class RunLog {
 public:
  enum class Kind : std::uint8_t {
    Step,          // a scenario step (text: the command as written; "switch on" for the device's boot)
    Note,          // a note of the scenario (text: the note), placed at the next step
    Sound,         // a sound file heard (text: its device path); end: where it was cut short, if it was
    SystemSound,   // a predefined sound heard (text: "system lock"; id: its identifier)
    Silent,        // a play that made no sound (text: "(silent)" or "(vibrate)")
    FailedCreate,  // a system sound that could not be created (text: the path asked for)
    Respring,      // backboardd ended: from here to the next step (end)
    Start,         // the process of the lane started
    End,           // it ended (flag Unexpected: on its own)
    Activity,      // the lane's process reported something in the step starting here
  };
  enum Flag : std::uint8_t { Cut = 1, Unexpected = 2 };

  struct Event {
    std::int64_t atMs = 0;
    std::int64_t endMs = -1;   // Sound: the cut; Respring: its end; -1: none
    std::uint32_t text = 0;    // index into texts()
    std::uint32_t id = 0;      // SystemSound: the identifier
    std::uint16_t lane = 0;    // index into lanes()
    Kind kind = Kind::Step;
    std::uint8_t flags = 0;
  };

  // A heading: "step <n> (<where>) at <ms>ms: <command>", "boot at <ms>ms", "end at <ms>ms", "-- <note>";
  // others are ignored.
  void heading(const std::string& text);
  // A line `process` reported within the current step.
  void report(const std::string& process, const std::string& text);

  const std::vector<Event>& events() const { return events_; }
  const std::string& text(std::uint32_t index) const { return texts_[index]; }
  // The processes seen, in the order they first appeared.
  const std::vector<std::string>& lanes() const { return lanes_; }
  // The clock at "end at", or at the last heading when the run stopped early.
  std::int64_t endMs() const { return endMs_; }

 private:
  std::uint32_t intern(const std::string& text);
  std::uint16_t lane(const std::string& process);
  void add(Kind kind, std::uint16_t lane, std::uint32_t text, std::uint8_t flags = 0);
  void audio(std::uint16_t lane, const std::string& line);
  void simulator(const std::string& line);
  void atTime(std::int64_t ms);

  std::vector<Event> events_;
  std::vector<std::string> texts_;
  std::unordered_map<std::string, std::uint32_t> textIndex_;
  std::vector<std::string> lanes_;
  std::vector<std::uint32_t> pendingNotes_;
  std::vector<int> reportedInStep_;  // per lane: the step it last reported in
  // Live system-sound identifiers per lane: the file each was created from, and its plays not yet cut.
  std::map<std::pair<std::uint16_t, std::uint32_t>, std::uint32_t> created_;
  std::map<std::pair<std::uint16_t, std::uint32_t>, std::vector<std::uint32_t>> playing_;
  std::int64_t clockMs_ = 0;
  std::int64_t endMs_ = 0;
  int step_ = 0;
  std::int64_t openRespring_ = -1;  // the event index of a respring waiting for its end
};

}  // namespace sim::timeline
