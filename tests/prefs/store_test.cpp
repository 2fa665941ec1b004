// The settings store behind the page: a change made through a cell is written to the tweak's domain
// and announced, and reaches the tweak running in another process as a preview of the new sound.
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <CoreFoundation/CoreFoundation.h>

#include "host/runloop.h"
#include "prefs/settings_device.h"
#include "support/fresh_process.h"

#ifdef TWEAK_PATH
#include <dlfcn.h>

#include "host/audio.h"
#endif

using prefs_testing::SettingsDevice;
using testing_support::inFreshProcess;

namespace {

int announcements = 0;
void countAnnouncement(CFNotificationCenterRef, void*, CFNotificationName, const void*, CFDictionaryRef) {
  ++announcements;
}
void listenForAnnouncements() {
  CFNotificationCenterAddObserver(CFNotificationCenterGetDarwinNotifyCenter(), nullptr, &countAnnouncement,
                                  CFSTR("com.tamsel.ravelo.prefsupdate"), nullptr,
                                  CFNotificationSuspensionBehaviorDeliverImmediately);
}

TEST(Store, ATappedSwitchIsWrittenAndAnnounced) {
  inFreshProcess([] {
    SettingsDevice device;
    listenForAnnouncements();
    auto pane = device.open();
    ASSERT_NE(pane, nullptr);
    EXPECT_EQ(device.stored("IconSound"), "");
    std::string error;
    ASSERT_TRUE(pane->toggleSwitch("IconSound", &error)) << error;
    EXPECT_EQ(device.stored("IconSound"), "true");
    EXPECT_TRUE(host::runloop::runUntil([] { return announcements == 1; }, 5000));
  });
}

TEST(Store, AChosenSoundIsWrittenAsItsCatalogueNumber) {
  inFreshProcess([] {
    SettingsDevice device;
    listenForAnnouncements();
    auto pane = device.open();
    ASSERT_NE(pane, nullptr);
    std::string error;
    ASSERT_TRUE(pane->chooseListValue("unlockSound", "45", &error)) << error;
    EXPECT_EQ(device.stored("unlockSound"), "45");
    EXPECT_TRUE(host::runloop::runUntil([] { return announcements == 1; }, 5000));
    auto page = pane->show();
    for (const auto& row : page.rows) {
      if (row.key == "unlockSound") {
        EXPECT_EQ(row.detail, "T2 Mac Startup");
      }
    }
  });
}

#ifdef TWEAK_PATH

// SpringBoard with the tweak: loads it from the jailbreak root, says so through `ready`, then runs
// its main loop until the sound service has played something (or ten seconds pass). Exits 0 when
// the one thing played is `expected`.
[[noreturn]] void runSpringBoard(const SettingsDevice& device, int ready, const std::string& expected) {
  std::filesystem::path tweak = device.jbroot() / "Library/MobileSubstrate/DynamicLibraries/Ravelo.dylib";
  if (dlopen(tweak.c_str(), RTLD_NOW) == nullptr) _exit(2);
  char byte = 1;
  if (write(ready, &byte, 1) != 1) _exit(3);
  close(ready);
  auto played = [] {
    for (const auto& event : host::audio::events())
      if (event.kind == host::audio::Event::Play) return true;
    return false;
  };
  if (!host::runloop::runUntil(played, 10000)) _exit(4);
  for (const auto& event : host::audio::events()) {
    if (event.kind == host::audio::Event::Create) _exit(event.file.ends_with("/" + expected) ? 0 : 5);
  }
  _exit(6);
}

TEST(Store, AChosenSoundReachesTheTweakInAnotherProcessAsAPreview) {
  inFreshProcess([] {
    SettingsDevice device;
    namespace fs = std::filesystem;
    fs::path tweaks = device.jbroot() / "Library/MobileSubstrate/DynamicLibraries";
    fs::create_directories(tweaks);
    fs::copy_file(TWEAK_PATH, tweaks / "Ravelo.dylib");
    fs::create_directory_symlink("../../..", tweaks / ".jbroot");
    fs::create_directory_symlink(RAVELO_SOUNDS_DIR, device.jbroot() / "Library/Sounds");
    CFPreferencesSetValue(CFSTR("enabled"), kCFBooleanTrue, CFSTR("xyz.dorvu..ravelo"), kCFPreferencesCurrentUser,
                          kCFPreferencesAnyHost);
    CFPreferencesSynchronize(CFSTR("xyz.dorvu..ravelo"), kCFPreferencesCurrentUser, kCFPreferencesAnyHost);

    int pipeEnds[2];
    ASSERT_EQ(pipe(pipeEnds), 0);
    pid_t springBoard = fork();
    ASSERT_GE(springBoard, 0);
    if (springBoard == 0) {
      close(pipeEnds[0]);
      runSpringBoard(device, pipeEnds[1], "PowerOn.m4a");  // catalogue entry 9
    }
    close(pipeEnds[1]);
    char byte = 0;
    ASSERT_EQ(read(pipeEnds[0], &byte, 1), 1) << "the tweak did not load";
    close(pipeEnds[0]);

    auto pane = device.open();
    ASSERT_NE(pane, nullptr);
    std::string error;
    ASSERT_TRUE(pane->chooseListValue("unlockSound", "9", &error)) << error;
    int status = 0;
    waitpid(springBoard, &status, 0);
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 0) << "1-3: the tweak did not start, 4: nothing played, 5: another sound";
  });
}

#endif

}  // namespace
