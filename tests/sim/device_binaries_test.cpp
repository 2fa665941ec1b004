// The project's scenarios on the bytes that ship: with --device-binaries arm64 (or arm64e) the
// simulated SpringBoard and Settings app run that slice of Ravelo.dylib and RaveloPrefs under
// emulation, on the same stand-ins, so the pane's whole life (view set-up, appearing and leaving, cell
// styling, specifiers, bundle) and every hook run as device code; on arm64e with pointer
// authentication enforced. Every scenario must give the host build's transcript on every slice the
// device build made, apart from the one line that says which binaries run.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <string>
#include <vector>

#include "macho_reader.h"
#include "sim/shipped_scenarios.h"
#include "support/run.h"
#include "support/temp_dir.h"

namespace fs = std::filesystem;
using testing_support::RunResult;

namespace {

#define SKIP_WITHOUT_DEVICE_BINARIES() \
  if (!DEVICE_BINARIES) GTEST_SKIP() << "this build tree makes no device binaries (package/README.md)"

RunResult sim(std::vector<std::string> arguments) {
  arguments.insert(arguments.begin(), RAVELO_SIM);
  return testing_support::run(arguments);
}

// The slices of the device build ("arm64", and "arm64e" where Apple's linker was there to make it).
std::vector<std::string> builtSlices() {
  std::vector<std::string> names;
  for (const macho::Image& image : macho::readFile(fs::path(DEVICE_DIR) / "Ravelo.dylib"))
    names.push_back(macho::architectureName(image));
  return names;
}

// The transcript without the device line's mention of the device binaries.
std::vector<std::string> withoutBinariesNote(const std::string& output, const std::string& slice) {
  std::vector<std::string> lines = testing_support::lines(output);
  for (std::string& line : lines) {
    size_t note = line.find(", device binaries " + slice + " (emulated)");
    if (line.rfind("device: ", 0) == 0 && note != std::string::npos) line.erase(note);
  }
  return lines;
}

class ShippedScenario : public testing::TestWithParam<std::string> {};

// Runs `scenario` on the host build and on each slice with `options`, and compares the transcripts.
void expectHostTranscriptOnEachSlice(const std::string& scenario, const std::vector<std::string>& options,
                                     const std::string& deviceLine) {
  // In a folder of its own: the tour draws its picture beside the scenario file.
  testing_support::TempDir dir;
  RunResult host = sim_testing::runScenario(scenario, options, dir);
  EXPECT_EQ(host.exitCode, 0) << host.output;
  std::vector<std::string> hostLines = testing_support::lines(host.output);
  for (const std::string& slice : builtSlices()) {
    SCOPED_TRACE(slice);
    std::vector<std::string> arguments = options;
    arguments.insert(arguments.end(), {"--device-binaries", slice});
    RunResult device = sim_testing::runScenario(scenario, arguments, dir);
    ASSERT_EQ(device.exitCode, 0) << device.output;
    EXPECT_NE(device.output.find("\n" + deviceLine + ", device binaries " + slice + " (emulated)\n"), std::string::npos)
        << device.output;
    std::vector<std::string> deviceLines = withoutBinariesNote(device.output, slice);
    EXPECT_EQ(hostLines, deviceLines) << sim_testing::firstDifference(hostLines, deviceLines);
  }
}

std::string scenarioName(const testing::TestParamInfo<std::string>& info) {
  return sim_testing::scenarioTestName(info.param);
}

TEST_P(ShippedScenario, RunsOnTheDeviceBinariesWithTheHostBuildsTranscript) {
  SKIP_WITHOUT_DEVICE_BINARIES();
  expectHostTranscriptOnEachSlice(GetParam(), {}, "device: iOS 15, jailbreak root /var/jb, libroot stand-in");
}

INSTANTIATE_TEST_SUITE_P(DeviceBinaries, ShippedScenario, testing::ValuesIn(sim_testing::shippedScenarios()),
                         scenarioName);

// The same in Dopamine's layout: the jailbreak root in the preboot area, libroot answering it.
class ShippedScenarioAtPreboot : public testing::TestWithParam<std::string> {};

TEST_P(ShippedScenarioAtPreboot, RunsOnTheDeviceBinariesWithTheHostBuildsTranscript) {
  SKIP_WITHOUT_DEVICE_BINARIES();
  expectHostTranscriptOnEachSlice(GetParam(), {"--jbroot-layout", "preboot"},
                                  "device: iOS 15, jailbreak root " + std::string(sim_testing::kPrebootRoot) +
                                      " (/var/jb links to it), libroot stand-in");
}

INSTANTIATE_TEST_SUITE_P(DeviceBinariesPreboot, ShippedScenarioAtPreboot,
                         testing::ValuesIn(sim_testing::shippedScenarios()), scenarioName);

// On iOS 17 and 18, where the icon tap takes another selector, the scenarios with icon taps.
class ShippedScenarioOnIos : public testing::TestWithParam<std::tuple<std::string, int>> {};

TEST_P(ShippedScenarioOnIos, RunsOnTheDeviceBinariesWithTheHostBuildsTranscript) {
  SKIP_WITHOUT_DEVICE_BINARIES();
  const auto& [scenario, version] = GetParam();
  expectHostTranscriptOnEachSlice(scenario, {"--ios", std::to_string(version)},
                                  "device: iOS " + std::to_string(version) + ", jailbreak root /var/jb, libroot stand-in");
}

INSTANTIATE_TEST_SUITE_P(DeviceBinariesIos, ShippedScenarioOnIos,
                         testing::Combine(testing::ValuesIn(sim_testing::versionSensitiveScenarios()),
                                          testing::Values(17, 18)),
                         [](const testing::TestParamInfo<std::tuple<std::string, int>>& info) {
                           return sim_testing::scenarioTestName(std::get<0>(info.param)) + "_iOS" +
                                  std::to_string(std::get<1>(info.param));
                         });

TEST(DeviceBinaries, WithoutLibrootTheFallbacksAndTheRespringGiveTheHostBuildsTranscript) {
  SKIP_WITHOUT_DEVICE_BINARIES();
  std::string file = std::string(SCENARIOS) + "/pane-respring.txt";
  RunResult host = sim({"--no-libroot", file});
  std::vector<std::string> hostLines = testing_support::lines(host.output);
  for (const std::string& slice : builtSlices()) {
    SCOPED_TRACE(slice);
    RunResult device = sim({"--no-libroot", "--device-binaries", slice, file});
    ASSERT_EQ(device.exitCode, 0) << device.output;
    std::vector<std::string> deviceLines = withoutBinariesNote(device.output, slice);
    EXPECT_EQ(hostLines, deviceLines) << sim_testing::firstDifference(hostLines, deviceLines);
  }
}

TEST(DeviceBinaries, TheSameScenarioGivesTheSameTranscript) {
  SKIP_WITHOUT_DEVICE_BINARIES();
  std::string file = std::string(SCENARIOS) + "/preview.txt";
  for (const std::string& slice : builtSlices()) {
    SCOPED_TRACE(slice);
    RunResult first = sim({"--device-binaries", slice, file});
    RunResult second = sim({"--device-binaries", slice, file});
    ASSERT_EQ(first.exitCode, 0) << first.output;
    EXPECT_EQ(first.output, second.output);
  }
}

TEST(DeviceBinaries, OnlyArm64AndArm64eAreArchitectures) {
  RunResult r = sim({"--device-binaries", "x86_64", std::string(SCENARIOS) + "/events.txt"});
  EXPECT_EQ(r.exitCode, 2);
  EXPECT_NE(r.output.find("--device-binaries takes arm64 or arm64e"), std::string::npos) << r.output;
}

// A build without Apple's linker makes no arm64e slice: the run does not start, and says how to get one.
TEST(DeviceBinaries, AMissingSliceIsNamedInsteadOfRunning) {
  SKIP_WITHOUT_DEVICE_BINARIES();
  std::vector<std::string> slices = builtSlices();
  if (std::find(slices.begin(), slices.end(), "arm64e") != slices.end())
    GTEST_SKIP() << "the device build made both slices";
  RunResult r = sim({"--device-binaries", "arm64e", std::string(SCENARIOS) + "/events.txt"});
  EXPECT_EQ(r.exitCode, 2) << r.output;
  EXPECT_NE(r.output.find("has no arm64e slice (the device build makes one once package/toolchain/build-ld64"),
            std::string::npos)
      << r.output;
  EXPECT_EQ(r.output.find("\nstep 1 "), std::string::npos) << r.output;
}

}  // namespace
