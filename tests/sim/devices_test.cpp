// The device a scenario runs on: the iOS version whose SpringBoard it simulates, and where the
// jailbreak root is. Every shipped scenario gives the same transcript on each, apart from what names
// the device; what the code reached (libroot's answer or the built-in fallback) shows in the paths.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <tuple>

#include "sim/shipped_scenarios.h"
#include "support/run.h"
#include "support/temp_dir.h"

namespace fs = std::filesystem;
using testing_support::contains;
using testing_support::RunResult;
using testing_support::TempDir;

namespace {

using sim_testing::kPrebootRoot;

RunResult sim(std::vector<std::string> arguments) {
  arguments.insert(arguments.begin(), RAVELO_SIM);
  return testing_support::run(arguments);
}

RunResult simOn(const std::string& text, std::vector<std::string> options = {}) {
  TempDir dir;
  testing_support::writeFile(dir / "scenario.txt", text);
  options.push_back((dir / "scenario.txt").string());
  return sim(options);
}

// ---- iOS versions ------------------------------------------------------------------------------

class ShippedScenarioOnIos : public testing::TestWithParam<std::tuple<std::string, int>> {};

TEST_P(ShippedScenarioOnIos, GivesTheIos15TranscriptApartFromTheDeviceLine) {
  const auto& [scenario, version] = GetParam();
  TempDir dir;
  RunResult ios15 = sim_testing::runScenario(scenario, {}, dir);
  RunResult other = sim_testing::runScenario(scenario, {"--ios", std::to_string(version)}, dir);
  ASSERT_EQ(other.exitCode, 0) << other.output;
  EXPECT_TRUE(contains(other, "\ndevice: iOS " + std::to_string(version) + ", jailbreak root /var/jb, libroot stand-in\n"));
  std::vector<std::string> expected = sim_testing::withoutDeviceLine(ios15.output);
  std::vector<std::string> actual = sim_testing::withoutDeviceLine(other.output);
  EXPECT_EQ(expected, actual) << sim_testing::firstDifference(expected, actual);
}

INSTANTIATE_TEST_SUITE_P(SimIos, ShippedScenarioOnIos,
                         testing::Combine(testing::ValuesIn(sim_testing::versionSensitiveScenarios()),
                                          testing::Values(17, 18)),
                         [](const testing::TestParamInfo<std::tuple<std::string, int>>& info) {
                           return sim_testing::scenarioTestName(std::get<0>(info.param)) + "_iOS" +
                                  std::to_string(std::get<1>(info.param));
                         });

TEST(SimIos, AScenarioChoosesItsDeviceFirstThingAndNowhereElse) {
  const std::string tap = "set enabled true\nset IconSound true\nset iconTapSound 10\ntap-icon\nexpect-sounds Select-mono.m4a\n";
  RunResult r = simOn("# a comment first is fine\nios 18\njbroot-layout preboot\n" + tap);
  EXPECT_EQ(r.exitCode, 0) << r.output;
  EXPECT_TRUE(contains(r, "\ndevice: iOS 18, jailbreak root " + std::string(kPrebootRoot) +
                              " (/var/jb links to it), libroot stand-in\n")) << r.output;

  r = simOn("set enabled true\nios 17\n" + tap);
  EXPECT_EQ(r.exitCode, 1);
  EXPECT_TRUE(contains(r, "scenario.txt:2: ios comes before every other command of the scenario")) << r.output;
  r = simOn("ios 14\n" + tap);
  EXPECT_EQ(r.exitCode, 1);
  EXPECT_TRUE(contains(r, "stopped: ")) << r.output;
  EXPECT_TRUE(contains(r, "scenario.txt:1: ios takes an iOS version: 15, 16, 17 or 18, not '14'")) << r.output;
  r = simOn("jbroot-layout /var/jb\n");
  EXPECT_TRUE(contains(r, "jbroot-layout takes var-jb or preboot, not '/var/jb'")) << r.output;

  for (const std::vector<std::string>& options : {std::vector<std::string>{"--ios", "19"}, {"--jbroot-layout", "roothide"}}) {
    RunResult bad = simOn(tap, options);
    EXPECT_EQ(bad.exitCode, 2) << bad.output;
    EXPECT_TRUE(contains(bad, options[0] + " takes ")) << bad.output;
  }
}

// ---- the jailbreak root's layout -----------------------------------------------------------------

class ShippedScenarioAtPreboot : public testing::TestWithParam<std::string> {};

TEST_P(ShippedScenarioAtPreboot, GivesTheVarJbTranscriptWithTheRealRootInItsPaths) {
  TempDir dir;
  RunResult varJb = sim_testing::runScenario(GetParam(), {}, dir);
  RunResult preboot = sim_testing::runScenario(GetParam(), {"--jbroot-layout", "preboot"}, dir);
  ASSERT_EQ(preboot.exitCode, 0) << preboot.output;
  std::vector<std::string> expected = sim_testing::withoutDeviceLine(varJb.output);
  std::vector<std::string> actual = sim_testing::asAtVarJb(sim_testing::withoutDeviceLine(preboot.output));
  EXPECT_EQ(expected, actual) << sim_testing::firstDifference(expected, actual);
}

INSTANTIATE_TEST_SUITE_P(SimPreboot, ShippedScenarioAtPreboot, testing::ValuesIn(sim_testing::shippedScenarios()),
                         [](const testing::TestParamInfo<std::string>& info) {
                           return sim_testing::scenarioTestName(info.param);
                         });

// A resolver that never asked libroot would name /var/jb/... here: the run fails.
TEST(SimPreboot, SoundsAreCreatedAtLibrootsAnswerAndWithoutLibrootAtTheFallbacks) {
  std::string tap = "set enabled true\nset IconSound true\nset iconTapSound 10\ntap-icon\n";
  RunResult r = simOn(tap, {"--jbroot-layout", "preboot"});
  ASSERT_EQ(r.exitCode, 0) << r.output;
  EXPECT_TRUE(contains(r, "\nlayout /var/jb -> " + std::string(kPrebootRoot) + " (the jailbreak root's link)\n"));
  EXPECT_TRUE(contains(r, "[SpringBoard] audio create 4096 " + std::string(kPrebootRoot) +
                              "/Library/Sounds/Select-mono.m4a ok")) << r.output;
  EXPECT_FALSE(contains(r, "/var/jb/Library/Sounds/Select-mono.m4a")) << r.output;

  r = simOn(tap, {"--jbroot-layout", "preboot", "--no-libroot"});
  ASSERT_EQ(r.exitCode, 0) << r.output;
  EXPECT_TRUE(contains(r, "[SpringBoard] audio create 4096 /var/jb/Library/Sounds/Select-mono.m4a ok")) << r.output;
}

TEST(SimPreboot, AKeptRootTakesItsJailbreakRootAlongFromOneLayoutToTheOther) {
  TempDir dir;
  std::string root = (dir / "root").string();
  const fs::path fallback = "var/mobile/Library/Preferences/com.tamsel.ravelo.plist";
  ASSERT_EQ(simOn("fallback set VolumeUpSound 40\n", {"--root", root}).exitCode, 0);
  ASSERT_TRUE(fs::is_regular_file(dir / "root/var/jb" / fallback));

  RunResult r = simOn("fallback remove NoSuchKey\n", {"--root", root, "--jbroot-layout", "preboot"});
  ASSERT_EQ(r.exitCode, 0) << r.output;
  EXPECT_TRUE(fs::is_symlink(dir / "root/var/jb"));
  EXPECT_TRUE(fs::is_regular_file(dir / "root" / fs::path(kPrebootRoot).relative_path() / fallback));
  EXPECT_TRUE(contains(r, "VolumeUpSound")) << "the fallback file came along: " << r.output;

  ASSERT_EQ(simOn("\n", {"--root", root}).exitCode, 0);
  EXPECT_FALSE(fs::is_symlink(dir / "root/var/jb"));
  EXPECT_TRUE(fs::is_regular_file(dir / "root/var/jb" / fallback));
  EXPECT_FALSE(fs::exists(dir / "root" / fs::path(kPrebootRoot).relative_path()));
}

}  // namespace
