// Stores no settings pane would write: nested past the device's limit, or not a file at all. The
// tweak reads them as the device does (not at all) and SpringBoard starts, never crashing or hanging.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <string>

#include "support/fresh_process.h"
#include "tweak/device_fixture.h"

using testing_support::inFreshProcess;
using tweak_testing::Device;

namespace {

// Arrays nested `depth` deep, as plist XML.
std::string nested(int depth) {
  std::string xml;
  for (int i = 0; i < depth; ++i) xml += "<array>";
  for (int i = 0; i < depth; ++i) xml += "</array>";
  return xml;
}

// The fallback file's selection, changed after the launch: its preview shows the file is what is read.
void expectTheFallbackFileIsRead(Device& device) {
  device.writeFallbackFile(tweak_testing::plistXml("<key>enabled</key><true/><key>lockSound</key><integer>13</integer>"));
  device.notifyChanged();
  EXPECT_EQ(device.audioCalls().back(), "play Smooth2.m4a");
}

TEST(HostileStores, AStoreNestedPastTheLimitReadsAsEmptySoTheFallbackFileApplies) {
  inFreshProcess([] {
    Device device;
    // Beside keys of ours, a key of no one's holding 200 nested arrays: the device's reader (128 levels)
    // rejects the whole store, our keys with it. 100,000 levels once overflowed the host's stack.
    device.writeDomain("<key>enabled</key><true/><key>lockSound</key><integer>3</integer><key>deep</key>" + nested(200));
    device.writeFallbackFile(tweak_testing::plistXml("<key>enabled</key><true/><key>lockSound</key><integer>12</integer>"));
    device.loadTweak();
    expectTheFallbackFileIsRead(device);
    device.writeDomain("<key>deep</key>" + nested(100000));
    device.notifyChanged();
  });
}

TEST(HostileStores, AFallbackFileNestedPastTheLimitIsAbsent) {
  inFreshProcess([] {
    Device device;
    device.writeFallbackFile(
        tweak_testing::plistXml("<key>enabled</key><true/><key>lockSound</key><integer>13</integer><key>deep</key>" + nested(129)));
    device.loadTweak();  // no settings: every selection is the default
    expectTheFallbackFileIsRead(device);
  });
}

TEST(HostileStores, AFifoInPlaceOfTheStoreOrTheFallbackFileIsNotWaitedOn) {
  inFreshProcess([] {
    Device device;
    std::filesystem::path store = device.jbroot().parent_path() / "mobile/Library/Preferences/xyz.dorvu..ravelo.plist";
    std::filesystem::path fallback = device.jbroot() / "var/mobile/Library/Preferences/com.tamsel.ravelo.plist";
    std::filesystem::create_directories(fallback.parent_path());
    ASSERT_EQ(mkfifo(store.c_str(), 0644), 0);
    ASSERT_EQ(mkfifo(fallback.c_str(), 0644), 0);
    device.loadTweak();  // returns: neither FIFO is opened for a blocking read
    std::filesystem::remove(store);
    std::filesystem::remove(fallback);
    expectTheFallbackFileIsRead(device);
  });
}

}  // namespace
