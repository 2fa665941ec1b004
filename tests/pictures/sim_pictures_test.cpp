// Pictures from ravelo-sim itself: `capture`, --capture-dir and --timeline on a scenario, the same bytes
// on every run, and clear errors.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "pictures/png_image.h"
#include "support/run.h"
#include "support/temp_dir.h"

namespace fs = std::filesystem;
using testing_support::contains;
using testing_support::RunResult;
using testing_support::TempDir;

namespace {

RunResult sim(std::vector<std::string> arguments) {
  arguments.insert(arguments.begin(), RAVELO_SIM);
  return testing_support::run(arguments);
}

// A scenario whose first sound is cut short by the second, with the pane shown in between.
const char* const kScenario =
    "set enabled true\n"
    "set LockSoundC true\n"
    "set lockSound 41\n"
    "set UnlockSoundC true\n"
    "set unlockSound 30\n"
    "open-settings\n"
    "lock\n"
    "unlock\n"
    "capture %DIR%/pane.png\n";

std::string scenarioIn(const TempDir& dir) {
  std::string text = kScenario;
  text.replace(text.find("%DIR%"), 5, dir.path().string());
  testing_support::writeFile(dir / "pictures.txt", text);
  return (dir / "pictures.txt").string();
}

}  // namespace

TEST(SimPictures, APanePictureAndATimelineOfTheSameScenarioAreTheSameBytesEveryRun) {
  // Both runs in the same folder: the scenario's own text (its capture path) shows in the timeline.
  TempDir dir;
  const char* const files[] = {"pane.png", "run.png", "steps/step-6-open-settings.png"};
  std::vector<std::string> firstRun;
  for (int run = 0; run < 2; ++run) {
    fs::remove_all(dir / "steps");
    RunResult r = sim({"--record", (dir / "run.wav").string(), "--timeline", (dir / "run.png").string(),
                       "--capture-dir", (dir / "steps").string(), "--capture-scale", "3", scenarioIn(dir)});
    ASSERT_EQ(r.exitCode, 0) << r.output;
    EXPECT_TRUE(contains(r, "[sim] capture " + (dir / "pane.png").string() + ": 1170x")) << r.output;
    EXPECT_TRUE(contains(r, "timeline " + (dir / "run.png").string() + ": 1 page")) << r.output;
    for (size_t i = 0; i < std::size(files); ++i) {
      std::string bytes = pictures_testing::fileBytes((dir / files[i]).string());
      if (run == 0) firstRun.push_back(std::move(bytes));
      else EXPECT_EQ(firstRun[i], bytes) << files[i];
    }
  }
  // The pane drawn at open-settings and at the capture: the same page, 390 points at 3x.
  EXPECT_EQ(pictures_testing::readPng((dir / "steps/step-6-open-settings.png").string()).width, 1170);
  pictures_testing::Image timeline = pictures_testing::readPng((dir / "run.png").string());
  EXPECT_GT(timeline.width, 1000);
}

TEST(SimPictures, BadPathsAndACaptureWithoutThePaneAreClearErrors) {
  TempDir dir;
  fs::path file = dir / "bad.txt";
  const std::vector<std::pair<std::string, std::string>> cases = {
      {"capture pane.png\n", ":1: Settings is not running: open-settings first"},
      {"open-settings\nclose-settings\ncapture pane.png\n", ":3: the Ravelo pane is not open"},
      {"open-settings\ncapture " + (dir / "none/pane.png").string() + "\n", ":2: cannot write " + (dir / "none/pane.png").string()},
      {"open-settings\ncapture " + dir.path().string() + "\n", "it is a folder"},
  };
  for (const auto& [text, message] : cases) {
    testing_support::writeFile(file, text);
    RunResult r = sim({file.string()});
    EXPECT_EQ(r.exitCode, 1) << text;
    EXPECT_TRUE(contains(r, message)) << text << "\n" << r.output;
  }
  RunResult r = sim({"--timeline", (dir / "none/t.png").string(), file.string()});
  EXPECT_EQ(r.exitCode, 2);
  EXPECT_TRUE(contains(r, "the timeline: cannot write " + (dir / "none/t.png").string())) << r.output;
  r = sim({"--capture-scale", "4", file.string()});
  EXPECT_EQ(r.exitCode, 2);
  EXPECT_TRUE(contains(r, "--capture-scale takes 2 or 3")) << r.output;
}
