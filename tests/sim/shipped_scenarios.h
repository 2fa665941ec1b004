// The project's own scenarios (the tour and tests/sim/scenarios), run on other devices than the
// default one and compared with it: another iOS version, the preboot jailbreak root, the device
// binaries.
#pragma once

#include <string>
#include <vector>

#include "support/run.h"
#include "support/temp_dir.h"

namespace sim_testing {

// The jailbreak root of the preboot layout, as the transcript shows it.
inline constexpr const char* kPrebootRoot =
    "/private/preboot/C9E421C67C06311B20CAF3DC783BCC0DF782CE7020BB0B2DC8127D7D79774416DE20476209CD03D2B2E3424252376A27"
    "/dopamine-Kq8vRn/procursus";

// Every scenario shipped with the project: the tour first, then the test scenarios in name order.
std::vector<std::string> shippedScenarios();

// The shipped scenarios whose outcome could differ on an iOS version other than 15: those with an
// event whose call path the simulated SpringBoard changes between versions (tap-icon).
std::vector<std::string> versionSensitiveScenarios();

// Runs ravelo-sim with `arguments` on a copy of `scenario` (and its files/ folder) in `dir`, so that
// what it writes beside the scenario (the tour's pane.png) lands there.
testing_support::RunResult runScenario(const std::string& scenario, std::vector<std::string> arguments,
                                       const testing_support::TempDir& dir);

// The transcript's lines without the device line (the one line that names the device).
std::vector<std::string> withoutDeviceLine(const std::string& output);

// A preboot-layout transcript as the /var/jb layout would print it: the jailbreak root's real path
// shown as /var/jb, and without the layout line of the link.
std::vector<std::string> asAtVarJb(std::vector<std::string> lines);

// The first line where two transcripts part, for a readable failure.
std::string firstDifference(const std::vector<std::string>& expected, const std::vector<std::string>& actual);

// A test name from a scenario's file name ("pane-respring.txt" -> "pane_respring").
std::string scenarioTestName(const std::string& path);

}  // namespace sim_testing
