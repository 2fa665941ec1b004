#include <gtest/gtest.h>

#include "host/mixer.h"

using host::mixer::Placement;
using host::mixer::TraceCollector;

namespace {

std::vector<Placement> collect(std::initializer_list<const char*> lines) {
  TraceCollector c;
  for (const char* line : lines) c.feed(line);
  return c.placements();
}

TEST(TraceCollector, APlayPlacesTheFileBehindItsIdentifierAtItsTime) {
  auto p = collect({"audio create 4096 /jb/Library/Sounds/My Pong.m4a ok", "audio play 4096 My Pong.m4a at 1500ms"});
  ASSERT_EQ(p.size(), 1u);
  EXPECT_EQ(p[0].file, "/jb/Library/Sounds/My Pong.m4a");
  EXPECT_EQ(p[0].startMs, 1500);
  EXPECT_FALSE(p[0].cutAtMs);
}

TEST(TraceCollector, ADisposeCutsThePlaysOfItsIdentifier) {
  auto p = collect({"audio create 4096 /s/a.m4a ok", "audio create 4097 /s/b.m4a ok", "audio play 4096 a.m4a at 0ms",
                    "audio play 4097 b.m4a at 10ms", "audio dispose 4096 a.m4a (cut short) at 100ms"});
  ASSERT_EQ(p.size(), 2u);
  EXPECT_EQ(p[0].cutAtMs, 100);
  EXPECT_FALSE(p[1].cutAtMs);
}

TEST(TraceCollector, SilentPlaysAndFailedCreatesPlaceNothing) {
  auto p = collect({"audio create - /s/missing.m4a status -1500", "audio play 0 (silent) at 0ms",
                    "audio play 4096 (silent) at 5ms", "audio play 4095 (vibrate) at 6ms",
                    "audio dispose 0 (no sound) at 7ms"});
  EXPECT_TRUE(p.empty());
}

TEST(TraceCollector, PredefinedSoundsArePlacedByIdentifier) {
  auto p = collect({"audio play 1100 system lock at 250ms", "audio alert 1106 system charger connected at 300ms"});
  ASSERT_EQ(p.size(), 2u);
  EXPECT_EQ(p[0].file, "");
  EXPECT_EQ(p[0].systemSound, 1100u);
  EXPECT_EQ(p[0].startMs, 250);
  EXPECT_EQ(p[1].systemSound, 1106u);
}

TEST(TraceCollector, OtherLinesAreIgnored) {
  auto p = collect({"prefs write enabled = true", "audio play", "audio play x y at 3ms", "audio play 4096 a at ms",
                    "audio create 4096 /s/a.m4a failed", "audio play 4096 a.m4a at 5ms"});
  EXPECT_TRUE(p.empty());
}

TEST(TraceCollector, ARecreatedIdentifierAfterARestartDoesNotCutTheEarlierProcess) {
  auto p = collect({"audio create 4096 /s/a.m4a ok", "audio play 4096 a.m4a at 0ms",
                    "audio create 4096 /s/b.m4a ok", "audio play 4096 b.m4a at 50ms",
                    "audio dispose 4096 b.m4a (cut short) at 60ms"});
  ASSERT_EQ(p.size(), 2u);
  EXPECT_FALSE(p[0].cutAtMs);
  EXPECT_EQ(p[1].file, "/s/b.m4a");
  EXPECT_EQ(p[1].cutAtMs, 60);
}

}  // namespace
