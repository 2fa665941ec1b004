// The scenario's checks (expect, expect-not, expect-sounds) on the lines of the last step.
#pragma once

#include <string>
#include <vector>

#include "supervisor/scenario.h"

namespace sim {

// "" when the check of `line` holds for `stepLines` (as the transcript printed them, without
// indentation), else what was found instead.
std::string failedCheck(const ScenarioLine& line, const std::vector<std::string>& stepLines);

// The sounds heard in `stepLines`, in order: the names of audible "audio play" and "audio alert" lines.
std::vector<std::string> soundsHeard(const std::vector<std::string>& stepLines);

}  // namespace sim
