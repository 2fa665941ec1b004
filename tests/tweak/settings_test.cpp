// Settings: the first load, reloads and their previews, the fallback file, the master switch.
#include <gtest/gtest.h>

#include "host/runloop.h"
#include "support/fresh_process.h"
#include "tweak/device_fixture.h"

using testing_support::inFreshProcess;
using tweak_testing::Device;
using tweak_testing::plistXml;
using Calls = std::vector<std::string>;

namespace {

TEST(FirstLoad, StoresTheSelectionsWithoutASound) {
  inFreshProcess([] {
    Device device;
    device.setBool("enabled", true);
    device.setInt("iconTapSound", 12);
    device.loadTweak();
    EXPECT_EQ(device.audioCalls(), Calls{});
  });
}

TEST(Previews, ChangedSelectionsPlayInSlotOrder) {
  inFreshProcess([] {
    Device device;
    device.setBool("enabled", true);
    device.setInt("iconTapSound", 12);
    device.setInt("lockSound", 3);
    device.loadTweak();
    device.setInt("lockSound", 4);  // written first, but iconTapSound comes first in slot order
    device.setInt("iconTapSound", 13);
    device.notifyChanged();
    EXPECT_EQ(device.audioCalls(), (Calls{"dispose (none)", "create Smooth2.m4a", "play Smooth2.m4a",
                                          "dispose Smooth2.m4a", "create ChargingStarted2.m4a",
                                          "play ChargingStarted2.m4a"}));
  });
}

TEST(Previews, AReloadWithNothingChangedIsSilent) {
  inFreshProcess([] {
    Device device;
    device.setBool("enabled", true);
    device.setInt("unlockSound", 9);
    device.loadTweak();
    device.notifyChanged();
    device.setInt("unlockSound", 9);
    device.notifyChanged();
    EXPECT_EQ(device.audioCalls(), Calls{});
  });
}

TEST(Previews, ARemovedKeyRevertsToTheDefaultAndPreviewsIt) {
  inFreshProcess([] {
    Device device;
    device.setBool("enabled", true);
    device.setInt("StartupSound", 41);
    device.setInt("VolumeUpSound", 6);
    device.loadTweak();
    device.remove("StartupSound");
    device.remove("VolumeUpSound");  // already the default: nothing to preview
    device.notifyChanged();
    EXPECT_EQ(device.audioCalls(), (Calls{"dispose (none)", "create iOSScreenOff-mono.m4a", "play iOSScreenOff-mono.m4a"}));
  });
}

TEST(MasterSwitch, TurningItOffInTheStoreKeepsSoundsPlayingUntilRespring) {
  inFreshProcess([] {
    Device device;
    device.setBool("enabled", true);
    device.loadTweak();
    device.setBool("enabled", false);
    device.setInt("chargingSound", 15);
    device.notifyChanged();
    EXPECT_EQ(device.audioCalls(),
              (Calls{"dispose (none)", "create WirelessChargingStarted.m4a", "play WirelessChargingStarted.m4a"}));
  });
}

TEST(MasterSwitch, OffAtStartUpPreviewsStaySilentUntilAReloadTurnsItOn) {
  inFreshProcess([] {
    Device device;
    device.setBool("enabled", false);
    device.loadTweak();
    device.setInt("passcodeSound", 35);
    device.notifyChanged();
    EXPECT_EQ(device.audioCalls(), Calls{});
    device.setBool("enabled", true);
    device.setInt("passcodeSound", 36);
    device.notifyChanged();
    EXPECT_EQ(device.audioCalls(), (Calls{"dispose (none)", "create Switch-1.m4a", "play Switch-1.m4a"}));
  });
}

TEST(FallbackFile, IgnoredWhenTheDomainHasKeys) {
  inFreshProcess([] {
    Device device;
    device.writeFallbackFile(plistXml("<key>enabled</key><true/><key>iconTapSound</key><integer>20</integer>"));
    device.setInt("iconTapSound", 8);  // enabled is off in the domain, so no preview may play
    device.loadTweak();
    device.setInt("iconTapSound", 9);
    device.notifyChanged();
    EXPECT_EQ(device.audioCalls(), Calls{});
  });
}

TEST(FallbackFile, ReadWhenTheDomainIsEmptyOfAnyKeyList) {
  inFreshProcess([] {
    Device device;
    device.writeFallbackFile(plistXml("<key>enabled</key><true/><key>iconTapSound</key><integer>20</integer>"));
    device.loadTweak();
    device.writeFallbackFile(plistXml("<key>enabled</key><true/><key>iconTapSound</key><integer>21</integer>"));
    device.notifyChanged();
    EXPECT_EQ(device.audioCalls(), (Calls{"dispose (none)", "create Ara-Ara.m4a", "play Ara-Ara.m4a"}));
  });
}

TEST(FallbackFile, OpenStepTextIsReadAsTheDeviceReadsIt) {
  inFreshProcess([] {
    Device device;
    device.writeFallbackFile("// written by hand\n{ enabled = YES; iconTapSound = 20; }\n");
    device.loadTweak();
    device.writeFallbackFile("enabled = YES;\niconTapSound = \"21\";\n");  // a strings file: no braces
    device.notifyChanged();
    EXPECT_EQ(device.audioCalls(), (Calls{"dispose (none)", "create Ara-Ara.m4a", "play Ara-Ara.m4a"}));
  });
}

TEST(FallbackFile, NotReadWhenTheDomainGivesAnEmptyKeyList) {
  inFreshProcess([] {
    Device device;
    device.makeEmptyDomain();
    device.writeFallbackFile(plistXml("<key>enabled</key><true/>"));
    device.loadTweak();
    device.setInt("iconTapSound", 9);  // had the file been read, enabled would be on and this would play
    device.notifyChanged();
    EXPECT_EQ(device.audioCalls(), Calls{});
  });
}

TEST(FallbackFile, ACorruptFileLeavesTheDefaults) {
  inFreshProcess([] {
    Device device;
    device.writeFallbackFile("<?xml version=\"1.0\"?><plist><dict><key>enabled</key><tru");
    device.loadTweak();
    device.writeFallbackFile(plistXml("<key>enabled</key><true/><key>lockSound</key><integer>29</integer>"));
    device.notifyChanged();  // first usable read: enabled turns on and lock 6 -> 29 previews
    EXPECT_EQ(device.audioCalls(), (Calls{"dispose (none)", "create lock.m4a", "play lock.m4a"}));
  });
}

TEST(Notification, ReachesTheTweakFromAnotherProcess) {
  inFreshProcess([] {
    Device device;
    device.setBool("enabled", true);
    device.loadTweak();
    // The settings pane's process: writes the domain and posts the notification.
    testing_support::inFreshProcess([&] {
      device.setInt("unlockSound", 30);
      CFNotificationCenterPostNotification(CFNotificationCenterGetDarwinNotifyCenter(),
                                           CFSTR("com.tamsel.ravelo.prefsupdate"), nullptr, nullptr, true);
    });
    host::runloop::runFor(500);
    EXPECT_EQ(device.audioCalls(), (Calls{"dispose (none)", "create unlock.m4a", "play unlock.m4a"}));
  });
}

}  // namespace
