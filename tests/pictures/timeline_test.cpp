// The run's timeline, drawn from transcript lines and read back: bars where the sounds played, cut
// short where they were cut, and a long run over several pages.
#include <gtest/gtest.h>

#include <cmath>
#include <string>

#include "pictures/png_image.h"
#include "support/temp_dir.h"
#include "timeline/timeline.h"

using pictures_testing::Image;
using sim::timeline::RunLog;
using testing_support::TempDir;

namespace {

double xAt(long ms) { return sim::timeline::kGutter + (ms % sim::timeline::kStripMs) * sim::timeline::kPixelsPerSecond / 1000; }

sim::timeline::TimelineSource lengths() {
  sim::timeline::TimelineSource source;
  source.title = "test";
  source.fileLength = [](const std::string& path) -> std::optional<long> {
    if (path.ends_with("Long.m4a")) return 2000;
    if (path.ends_with("Short.m4a")) return 500;
    return std::nullopt;
  };
  return source;
}

// A step at `ms` in which SpringBoard reports `lines`.
void step(RunLog& log, int n, long ms, const std::string& command, const std::vector<std::string>& lines) {
  log.heading("step " + std::to_string(n) + " (t.txt:" + std::to_string(n) + ") at " + std::to_string(ms) + "ms: " + command);
  for (const std::string& line : lines) log.report("SpringBoard", line);
}

}  // namespace

TEST(Timeline, ASoundCutShortEndsAtTheCutAndOneThatIsNotAtItsLength) {
  RunLog log;
  log.heading("boot at 0ms");
  log.report("sim", "start SpringBoard");
  step(log, 1, 2000, "lock", {"audio create 4096 /var/jb/Library/Sounds/Long.m4a ok", "audio play 4096 Long.m4a at 2000ms"});
  step(log, 2, 2300, "unlock", {"audio dispose 4096 Long.m4a (cut short) at 2300ms",
                                "audio create 4097 /var/jb/Library/Sounds/Short.m4a ok", "audio play 4097 Short.m4a at 2300ms",
                                "audio play 0 (silent) at 2300ms", "audio create - /var/jb/Library/Sounds/Gone.m4a status -43"});
  log.heading("end at 4000ms");

  TempDir dir;
  sim::timeline::TimelineResult result;
  std::string error;
  ASSERT_TRUE(sim::timeline::drawTimeline(log, lengths(), (dir / "t.png").string(), &result, &error)) << error;
  ASSERT_EQ(result.pages.size(), 1u);
  ASSERT_EQ(result.bars.size(), 2u);
  const sim::timeline::DrawnBar& cut = result.bars[0];
  const sim::timeline::DrawnBar& whole = result.bars[1];
  EXPECT_TRUE(cut.cut);
  EXPECT_DOUBLE_EQ(cut.left, xAt(2000));
  EXPECT_DOUBLE_EQ(cut.right, xAt(2300));
  EXPECT_FALSE(whole.cut);
  EXPECT_DOUBLE_EQ(whole.right, xAt(2800));

  // In the picture: the bar's colour up to the cut, the red cut mark at it, and no bar after it.
  Image image = pictures_testing::readPng(result.pages[0]);
  const int middle = static_cast<int>((cut.top + cut.bottom) / 2);
  const pictures_testing::Rgb bar = image.at(static_cast<int>(cut.left) + 4, middle);
  EXPECT_EQ(image.at(static_cast<int>(cut.right) - 5, middle), bar);
  const pictures_testing::Rgb mark = image.at(static_cast<int>(cut.right) - 1, middle);
  EXPECT_GT(mark.r, 180);
  EXPECT_LT(mark.g, 80);
  for (int x = static_cast<int>(cut.right) + 1; x < static_cast<int>(cut.right) + 40; ++x)
    EXPECT_FALSE(image.at(x, middle) == bar) << x;
  EXPECT_EQ(image.at(static_cast<int>(whole.right) - 2, static_cast<int>(whole.top) + 2),
            image.at(static_cast<int>(whole.left) + 2, static_cast<int>(whole.top) + 2));
}

TEST(Timeline, ALongRunGoesOnOverPagesAndEventsStaySmall) {
  static_assert(sizeof(RunLog::Event) <= 32);
  RunLog log;
  log.report("sim", "start SpringBoard");
  const long last = 129900;  // over two minutes (a step every 300 ms): three pages of five 12-second strips
  for (long ms = 0, n = 1; ms <= last; ms += 300, ++n)
    step(log, static_cast<int>(n), ms, "volume-up",
         {"audio play 4096 " + std::string(ms == last ? "Short.m4a" : "Long.m4a") + " at " + std::to_string(ms) + "ms"});
  log.heading("end at 130300ms");

  TempDir dir;
  sim::timeline::TimelineResult result;
  std::string error;
  ASSERT_TRUE(sim::timeline::drawTimeline(log, lengths(), (dir / "long.png").string(), &result, &error)) << error;
  ASSERT_EQ(result.pages.size(), 3u);
  EXPECT_EQ(result.pages[2], (dir / "long-3.png").string());
  EXPECT_EQ(result.bars.back().page, 2);
  EXPECT_DOUBLE_EQ(result.bars.back().left, xAt(last));
  Image page = pictures_testing::readPng(result.pages[2]);
  Image first = pictures_testing::readPng(result.pages[0]);
  EXPECT_EQ(page.width, first.width);
  EXPECT_LT(page.height, first.height) << "the last page holds one strip";
}

TEST(Timeline, ABadPathIsAClearError) {
  RunLog log;
  log.heading("end at 0ms");
  sim::timeline::TimelineResult result;
  std::string error;
  EXPECT_FALSE(sim::timeline::drawTimeline(log, lengths(), "/no/such/folder/t.png", &result, &error));
  EXPECT_NE(error.find("cannot write /no/such/folder/t.png"), std::string::npos) << error;
}
