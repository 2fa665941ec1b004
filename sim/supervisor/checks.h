// The scenario's checks (expect, expect-not, expect-order, expect-sounds on the last step; expect-boot
// on the last boot block; expect-run, expect-not-run on the whole run).
#pragma once

#include <string>
#include <vector>

#include "supervisor/scenario.h"
#include "supervisor/spooled_lines.h"

namespace sim {

// The lines the checks read, as the transcript printed them (without indentation).
struct CheckedLines {
  const std::vector<std::string>& step;  // the last step
  const std::vector<std::string>& boot;  // the last boot block (the device switching on)
  const SpooledLines& run;               // every line the processes reported so far
  bool booted;                           // whether there has been a boot block
};

// "" when the check of `line` holds, else what was found instead.
std::string failedCheck(const ScenarioLine& line, const CheckedLines& lines);

// The text a check looks for, from word `index` on. Quotes work as in every other command: the words
// joined by single blanks (`expect "audio play 4096"`). A line whose quotes stand inside a word
// (`expect labels ["Enabled" 14pt]`) is taken as written, as expect always read it.
std::string checkText(const ScenarioLine& line, size_t index);

// The sounds heard in `stepLines`, in order: the names of audible "audio play" and "audio alert" lines.
std::vector<std::string> soundsHeard(const std::vector<std::string>& stepLines);

}  // namespace sim
