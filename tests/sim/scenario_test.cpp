// The simulated device end to end: ravelo-sim runs a scenario and the transcript shows what the
// system did. Most scenarios check themselves (expect lines) and must end with status 0; the tests
// here add what a scenario cannot check about its own run.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "support/run.h"
#include "support/temp_dir.h"

namespace fs = std::filesystem;
using testing_support::contains;
using testing_support::RunResult;
using testing_support::TempDir;

namespace {

const std::string kScenarios = SCENARIOS;

RunResult sim(std::vector<std::string> arguments) {
  arguments.insert(arguments.begin(), RAVELO_SIM);
  return testing_support::run(arguments);
}

RunResult scenario(const std::string& name, std::vector<std::string> options = {}) {
  options.push_back(kScenarios + "/" + name);
  return sim(options);
}

size_t countOf(const std::string& text, const std::string& part) {
  size_t n = 0;
  for (size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + part.size())) ++n;
  return n;
}

}  // namespace

// ---- the eleven events -------------------------------------------------------------------------

TEST(SimEvents, EachOfTheElevenEventsPlaysItsChosenSound) {
  RunResult r = scenario("events.txt");
  EXPECT_EQ(r.exitCode, 0) << r.output;
  EXPECT_EQ(countOf(r.output, ": ok\n"), countOf(r.output, "\ncheck ("));
}

TEST(SimEvents, WithTheMasterSwitchOffSpringBoardMakesItsOwnSounds) {
  RunResult r = scenario("system-sounds.txt");
  EXPECT_EQ(r.exitCode, 0) << r.output;
}

TEST(SimEvents, TheTweakIsInjectedIntoSpringBoardOnlyByItsFilter) {
  RunResult r = scenario("pane-respring.txt");
  ASSERT_EQ(r.exitCode, 0) << r.output;
  // SpringBoard loads it at each launch; the Settings app, whose bundle the filter does not name, never.
  EXPECT_EQ(countOf(r.output, "[SpringBoard] substrate load /var/jb/Library/MobileSubstrate/DynamicLibraries/Ravelo.dylib"), 2u);
  EXPECT_EQ(countOf(r.output, "[Settings] substrate load"), 0u);
}

// ---- settings changes --------------------------------------------------------------------------

TEST(SimPreviews, AChangedSelectionPlaysAtOnceFromThePaneOrAShell) {
  RunResult r = scenario("preview.txt");
  EXPECT_EQ(r.exitCode, 0) << r.output;
}

TEST(SimSwitches, ASwitchTurnedOffTakesEffectOnlyAfterARespring) {
  RunResult r = scenario("switch-off.txt");
  EXPECT_EQ(r.exitCode, 0) << r.output;
}

TEST(SimSwitches, ASwitchTurnedOnTakesEffectAfterThePanesRespringButton) {
  RunResult r = scenario("pane-respring.txt");
  EXPECT_EQ(r.exitCode, 0) << r.output;
}

TEST(SimStartup, TheMasterSwitchOffAtStartUpHooksNothingUntilARespring) {
  RunResult r = scenario("master-off.txt");
  EXPECT_EQ(r.exitCode, 0) << r.output;
}

// ---- what the store, the fallback file and the installed files may hold -------------------------

TEST(SimStoredValues, EveryPropertyListTypeUnderSwitchAndSoundKeysReadsAsDocumented) {
  RunResult r = scenario("stored-types.txt");
  EXPECT_EQ(r.exitCode, 0) << r.output;
}

TEST(SimStoredValues, AStoreHoldingAnEmptyUTF16StringIsUnreadableAsOnTheDevice) {
  // The device's binary reader fails the whole list on an empty UTF-16 string: no settings, no sound.
  TempDir dir;
  fs::path file = dir / "store.txt";
  testing_support::writeFile(file, "store raw " + kScenarios + "/files/empty-utf16-string.plist\nvolume-up\nexpect-sounds\n");
  RunResult r = sim({file.string()});
  EXPECT_EQ(r.exitCode, 0) << r.output;
}

TEST(SimFallbackFile, ReadInXmlOrBinaryOnlyWhileTheDomainHasNoKeysAndCorruptCountsAsMissing) {
  RunResult r = scenario("fallback-file.txt");
  EXPECT_EQ(r.exitCode, 0) << r.output;
}

TEST(SimInstalledFiles, MissingSoundBannerAndKillallAndOtherSpecifierListsCrashNothing) {
  RunResult r = scenario("installed-files.txt");
  EXPECT_EQ(r.exitCode, 0) << r.output;
}

// ---- classes an iOS version may lack -----------------------------------------------------------

TEST(SimMissingClasses, QueriedSingletonsSpringBoardAndUISwitchMayBeMissing) {
  RunResult r = scenario("missing-classes.txt");
  EXPECT_EQ(r.exitCode, 0) << r.output;
}

TEST(SimMissingClasses, EachHookedClassLeftOutSilencesOnlyItsOwnEvents) {
  struct Event {
    const char* command;
    const char* sound;
  };
  const Event events[] = {{"tap-icon", "Select-mono.m4a"},  {"passcode-key", "SingleClick.m4a"},
                          {"lock", "lock.m4a"},             {"unlock", "unlock.m4a"},
                          {"plug-charger", "ChargingStarted.m4a"}, {"screenshot", "LinkBegin.m4a"},
                          {"volume-up", "Volume.m4a"},      {"volume-down", "SelectionDirectionChange-mono.m4a"},
                          {"flip-switch", "Switch-1.m4a"},  {"scroll-page", "Smooth1.m4a"}};
  // Each hooked class and the events (or the launch) that go through it.
  const std::pair<const char*, std::string> hooked[] = {
      {"SBHIconManager", "tap-icon"}, {"SBUIPasscodeLockViewBase", "passcode-key"},
      {"SBSleepWakeHardwareButtonInteraction", "lock"}, {"SBCoverSheetPrimarySlidingViewController", "unlock"},
      {"SBUIController", "plug-charger"}, {"SSScreenCapturer", "screenshot"},
      {"SBVolumeControl", "volume-up volume-down"}, {"UISwitch", "flip-switch"}, {"SBFolderView", "scroll-page"},
      {"SpringBoard", "launch"}};
  // The settings of events.txt: every switch on, a sound of its own for each event.
  std::ifstream setup(kScenarios + "/events.txt");
  std::string settings;
  for (std::string line; std::getline(setup, line);)
    if (line.rfind("set ", 0) == 0) settings += line + "\n";
  for (const auto& [className, silenced] : hooked) {
    std::string text = settings;
    for (const Event& e : events) {
      bool silent = (" " + silenced + " ").find(std::string(" ") + e.command + " ") != std::string::npos;
      text += std::string(e.command) + "\nexpect-sounds " + (silent ? "" : e.sound) + "\n";
    }
    text += std::string(silenced == "launch" ? "expect-not-run" : "expect-run") + " Mac_Quadra_AV_Startup.m4a\n";
    TempDir dir;
    testing_support::writeFile(dir / "missing.txt", text);
    RunResult r = sim({"--without-class", className, (dir / "missing.txt").string()});
    EXPECT_EQ(r.exitCode, 0) << className << "\n" << r.output;
    EXPECT_TRUE(contains(r, std::string("without class ") + className)) << className;
  }
}

// ---- the jailbreak root ------------------------------------------------------------------------

TEST(SimLibroot, WithoutTheLibrootStandInEverythingIsFoundAtVarJb) {
  RunResult r = scenario("events.txt", {"--no-libroot"});
  ASSERT_EQ(r.exitCode, 0) << r.output;
  EXPECT_TRUE(contains(r, "layout /var/jb/usr/lib/libroot.dylib: none"));
  EXPECT_TRUE(contains(r, "[SpringBoard] audio create 4096 /var/jb/Library/Sounds/"));
}

TEST(SimLibroot, WithoutTheLibrootStandInThePanesRespringStillWorks) {
  RunResult r = scenario("pane-respring.txt", {"--no-libroot"});
  EXPECT_EQ(r.exitCode, 0) << r.output;
}

TEST(SimLayout, RootKeepsTheDeviceAndItsStoreAfterTheRun) {
  TempDir dir;
  RunResult r = scenario("preview.txt", {"--root", dir.path().string()});
  ASSERT_EQ(r.exitCode, 0) << r.output;
  EXPECT_TRUE(fs::exists(dir / "var/jb/Library/Sounds/Pong.m4a"));
  EXPECT_TRUE(fs::exists(dir / "var/jb/Library/PreferenceBundles/RaveloPrefs.bundle/RaveloPrefs"));
  EXPECT_TRUE(fs::exists(dir / "var/jb/Library/PreferenceLoader/Preferences/RaveloPrefs.plist"));
  EXPECT_TRUE(fs::exists(dir / "var/jb/Library/MobileSubstrate/DynamicLibraries/Ravelo.plist"));
  EXPECT_TRUE(fs::exists(dir / "var/jb/usr/bin/killall"));
  EXPECT_TRUE(fs::exists(dir / "var/mobile/Library/Preferences/xyz.dorvu..ravelo.plist"));
  // No path of the host folder leaks into the transcript.
  EXPECT_FALSE(contains(r, dir.path().string())) << r.output;
}

// ---- the transcript ----------------------------------------------------------------------------

TEST(SimTranscript, TheSameScenarioGivesTheSameTranscript) {
  RunResult first = scenario("pane-respring.txt");
  RunResult second = scenario("pane-respring.txt");
  ASSERT_EQ(first.exitCode, 0) << first.output;
  EXPECT_EQ(first.output, second.output);
}

TEST(SimTranscript, StepsNameTheirLineAndTheClockMovesOn) {
  RunResult r = scenario("master-off.txt");
  ASSERT_EQ(r.exitCode, 0) << r.output;
  EXPECT_TRUE(contains(r, "\nboot at 0ms\n"));
  EXPECT_TRUE(contains(r, "\nstep 3 (" + kScenarios + "/master-off.txt:4) at 2000ms: volume-up\n"));
  EXPECT_TRUE(contains(r, "\nstep 6 (" + kScenarios + "/master-off.txt:8) at 2600ms: volume-up\n"));
}

TEST(SimTour, TheBuiltInTourRunsAndIsRecordedAndDrawn) {
  TempDir dir;
  fs::path wav = dir / "tour.wav";
  // The tour draws pane.png and tour.png in the current folder, as it writes tour.wav.
  fs::path before = fs::current_path();
  fs::current_path(dir.path());
  RunResult r = sim({"--record", wav.string()});
  fs::current_path(before);
  ASSERT_EQ(r.exitCode, 0) << r.output;
  EXPECT_TRUE(contains(r, "[sim] capture pane.png: 780x")) << r.output;
  EXPECT_TRUE(contains(r, "\ntimeline tour.png: 1 page\n")) << r.output;
  for (const char* event : {"tap-icon", "passcode-key", "lock", "unlock", "plug-charger", "screenshot", "volume-up",
                            "volume-down", "flip-switch", "scroll-page", "press-respring", "choose unlockSound"})
    EXPECT_TRUE(contains(r, std::string("ms: ") + event)) << event;
  EXPECT_TRUE(contains(r, "record " + wav.string() + ": "));
  ASSERT_TRUE(fs::exists(wav));
  EXPECT_GT(fs::file_size(wav), 44u * 1000);  // more than a header: seconds of sound
}

// ---- bad input ---------------------------------------------------------------------------------

TEST(SimBadInput, AnUnknownCommandNamesFileAndLineAndKeepsTheTranscriptSoFar) {
  TempDir dir;
  fs::path file = dir / "bad.txt";
  testing_support::writeFile(file, "set enabled true\n\n# a comment\nvolume-up\nfrobnicate now\nvolume-down\n");
  RunResult r = sim({file.string()});
  EXPECT_EQ(r.exitCode, 1);
  EXPECT_TRUE(contains(r, file.string() + ":5: unknown command 'frobnicate'")) << r.output;
  EXPECT_TRUE(contains(r, "step 2 (" + file.string() + ":4) at 2000ms: volume-up")) << r.output;
  EXPECT_FALSE(contains(r, "volume-down")) << r.output;
}

TEST(SimBadInput, MalformedLinesNameFileAndLine) {
  const std::vector<std::pair<std::string, std::string>> cases = {
      {"wait soon", "'soon' is not a whole number"},
      {"set enabled", "usage: set KEY [TYPE] VALUE"},
      {"set lockSound Pong", "write text in \"quotes\" or give a type"},
      {"set lockSound int eight", "'eight' is not a 64-bit integer"},
      {"set lockSound dict {a = 1; b = (2, 3}", "column 18: expected ',' or ')' in an array"},
      {"set lockSound array (1, two)", "'two' is not true, false, a number or a date"},
      {"set lockSound array " + std::string(33, '(') + std::string(33, ')'), "nested deeper than 32 levels"},
      {"set lockSound date 2023-02-29", "is not a date that exists"},
      {"set lockSound data 0a1", "an odd number of digits"},
      {"fallback set lockSound real", "a value is missing after the type real"},
      {"fallback frob", "fallback takes set, remove, delete, format, raw"},
      {"fallback raw no-such-file.plist", "no file "},
      {"remove-file /var/jb/../../etc/passwd", "is not the device path of an installed file"},
      {"without-class NSObject", "'NSObject' is not a class the device can run without"},
      {"tap-icon\nwithout-class SBVolumeControl", "without-class comes before the device switches on"},
      {"expect-order one", "usage: expect-order TEXT TEXT..."},
      {"volume-up twice", "usage: volume-up"},
      {"plug-charger loudly", "'no-chime'"},
      {"expect \"unclosed", "unclosed quote"},
      {"kill launchd", "kill names SpringBoard, Settings or backboardd"},
  };
  for (const auto& [line, message] : cases) {
    TempDir dir;
    fs::path file = dir / "bad.txt";
    testing_support::writeFile(file, "# first\n" + line + "\n");
    RunResult r = sim({file.string()});
    EXPECT_EQ(r.exitCode, 1) << line;
    EXPECT_TRUE(contains(r, file.string() + ":" + (line.find('\n') != std::string::npos ? "3" : "2") + ": "))
        << line << "\n" << r.output;
    EXPECT_TRUE(contains(r, message)) << line << "\n" << r.output;
  }
}

TEST(SimBadInput, ACommandTheDeviceRefusesStopsTheRun) {
  TempDir dir;
  fs::path file = dir / "refused.txt";
  testing_support::writeFile(file, "toggle VolumeUpC\n");
  RunResult r = sim({file.string()});
  EXPECT_EQ(r.exitCode, 1);
  EXPECT_TRUE(contains(r, file.string() + ":1: Settings is not running: open-settings first")) << r.output;

  testing_support::writeFile(file, "open-settings\ntoggle NoSuchKey\n");
  r = sim({file.string()});
  EXPECT_EQ(r.exitCode, 1);
  EXPECT_TRUE(contains(r, file.string() + ":2: ")) << r.output;
}

TEST(SimBadInput, AFailedCheckNamesWhatWasHeard) {
  TempDir dir;
  fs::path file = dir / "check.txt";
  testing_support::writeFile(file, "volume-up\nexpect-sounds Pong.m4a\n");
  RunResult r = sim({file.string()});
  EXPECT_EQ(r.exitCode, 1);
  EXPECT_TRUE(contains(r, file.string() + ":2: check failed: expected Pong.m4a, heard silence")) << r.output;
}

TEST(SimBadInput, EachKindOfCheckFailsWhenWhatItLooksForIsNotThere) {
  const std::vector<std::pair<std::string, std::string>> cases = {
      {"set VolumeUpC true\nset enabled true\nvolume-up\nexpect-order \"audio play\" \"SpringBoard: volume 9/16\"",
       "no line after the one containing \"audio play\" contains \"SpringBoard: volume 9/16\""},
      {"set SwitchOnOff true\nset enabled true\nflip-switch\nexpect-order \"switch turned on\" \"audio play\"",
       "no line after the one containing \"switch turned on\" contains \"audio play\""},
      {"expect-boot \"start SpringBoard\"", "the device has not switched on yet"},
      {"volume-up\nexpect-boot \"SpringBoard: volume\"", "no line of the last boot block contains"},
      {"volume-up\nvolume-down\nexpect-run \"volume 10/16\"", "no line of the run so far contains \"volume 10/16\""},
      {"volume-up\nvolume-down\nexpect-not-run \"volume 9/16\"", "a line of the run so far contains \"volume 9/16\""},
      {"volume-up\nexpect \"volume  9/16\"", "no line of the last step contains \"volume  9/16\""},
  };
  for (const auto& [text, message] : cases) {
    TempDir dir;
    fs::path file = dir / "check.txt";
    testing_support::writeFile(file, text + "\n");
    RunResult r = sim({file.string()});
    EXPECT_EQ(r.exitCode, 1) << text;
    EXPECT_TRUE(contains(r, "check failed: " + message)) << text << "\n" << r.output;
  }
}

TEST(SimBadInput, AMissingScenarioOrOptionIsAUsageError) {
  EXPECT_EQ(sim({"/no/such/scenario.txt"}).exitCode, 2);
  RunResult r = sim({"--frobnicate"});
  EXPECT_EQ(r.exitCode, 2);
  EXPECT_TRUE(contains(r, "unknown option --frobnicate"));
  EXPECT_EQ(sim({"--help"}).exitCode, 0);
}

// ---- processes ---------------------------------------------------------------------------------

TEST(SimCrashes, ASpringBoardThatDiesIsReportedRestartedAndFailsTheRun) {
  TempDir dir;
  fs::path file = dir / "crash.txt";
  testing_support::writeFile(file,
                             "set enabled true\nset VolumeUpC true\nvolume-up\nkill SpringBoard ABRT\n"
                             "volume-up\nexpect-sounds iOSScreenOff-mono.m4a\n");
  RunResult r = sim({file.string()});
  EXPECT_EQ(r.exitCode, 1) << r.output;
  EXPECT_TRUE(contains(r, "[sim] SpringBoard ended unexpectedly (signal 6 (Aborted))")) << r.output;
  EXPECT_TRUE(contains(r, "[sim] the system starts SpringBoard again")) << r.output;
  // The scenario went on: the new SpringBoard has the tweak and plays the event's sound.
  EXPECT_TRUE(contains(r, "check (" + file.string() + ":6): expect-sounds iOSScreenOff-mono.m4a: ok")) << r.output;
  EXPECT_TRUE(contains(r, "ravelo-sim: 1 device process ended unexpectedly")) << r.output;
}

TEST(SimCrashes, KillingBackboarddIsARespringNotACrash) {
  TempDir dir;
  fs::path file = dir / "respring.txt";
  testing_support::writeFile(file, "tap-icon\nkill backboardd\ntap-icon\n");
  RunResult r = sim({file.string()});
  EXPECT_EQ(r.exitCode, 0) << r.output;
  EXPECT_TRUE(contains(r, "[sim] backboardd ended (signal 9 (Killed)): respring")) << r.output;
  EXPECT_EQ(countOf(r.output, "[sim] start SpringBoard"), 2u);
}

TEST(SimCrashes, SignalsTheSimulatorInheritedAsIgnoredStillEndDeviceProcesses) {
  // As under nohup (HUP) or in a background job (INT, QUIT): the device's processes start with every
  // signal at its default, so each kill ends SpringBoard (and the run reports the crashes).
  TempDir dir;
  fs::path file = dir / "ignored.txt";
  testing_support::writeFile(file, "kill SpringBoard HUP\nkill SpringBoard INT\nkill SpringBoard QUIT\n");
  RunResult r = testing_support::run(
      {"/bin/sh", "-c", "trap '' HUP INT QUIT; exec " + std::string(RAVELO_SIM) + " " + file.string()});
  EXPECT_EQ(r.exitCode, 1) << r.output;
  EXPECT_TRUE(contains(r, "[sim] SpringBoard ended unexpectedly (signal 1 (Hangup))")) << r.output;
  EXPECT_TRUE(contains(r, "[sim] SpringBoard ended unexpectedly (signal 2 (Interrupt))")) << r.output;
  EXPECT_TRUE(contains(r, "[sim] SpringBoard ended unexpectedly (signal 3 (Quit))")) << r.output;
  EXPECT_TRUE(contains(r, "ravelo-sim: 3 device processes ended unexpectedly")) << r.output;
}

TEST(SimBadInput, ALineTooLongForTheDeviceIsALineErrorNotAWait) {
  TempDir dir;
  fs::path file = dir / "long.txt";
  testing_support::writeFile(file, "set enabled true\nset note \"" + std::string(300 * 1024, 'x') + "\"\nvolume-up\n");
  RunResult r = sim({file.string()});
  EXPECT_EQ(r.exitCode, 1);
  EXPECT_TRUE(contains(r, file.string() + ":2: cannot send the command to the shell process: Message too long")) << r.output.substr(0, 2000);
  EXPECT_FALSE(contains(r, "volume-up"));
}

TEST(SimScenarioFiles, AByteOrderMarkAndEveryEditorsLineEndsReadAsWritten) {
  TempDir dir;
  fs::path file = dir / "edited.txt";
  testing_support::writeFile(file, "\xEF\xBB\xBFvolume-up\r\nvolume-down\rtap-icon\n\r\nwait 10");
  RunResult r = sim({file.string()});
  EXPECT_EQ(r.exitCode, 0) << r.output;
  for (const char* step : {":1) at 2000ms: volume-up", ":2) at 2300ms: volume-down", ":3) at 2600ms: tap-icon",
                           ":5) at 2900ms: wait 10"})
    EXPECT_TRUE(contains(r, file.string() + step)) << step << "\n" << r.output;
}

TEST(SimScenarioFiles, ANulInALineShowsInTheErrorAsInTheHeading) {
  TempDir dir;
  fs::path file = dir / "nul.txt";
  testing_support::writeFile(file, "open-settings\npress \"Send an E-mail" + std::string(1, '\0') + "x\"\n");
  RunResult r = sim({file.string()});
  EXPECT_EQ(r.exitCode, 1) << r.output;
  EXPECT_TRUE(contains(r, "press \"Send an E-mail\\000x\"")) << r.output;                    // the heading
  EXPECT_TRUE(contains(r, file.string() + ":2: no button row labelled Send an E-mail\\000x")) << r.output;
}

TEST(SimScenarioFiles, RawCopiesOfAFileStatGivesNoSizeForCopyWhatReadingGives) {
  TempDir dir;
  fs::path file = dir / "proc.txt";
  testing_support::writeFile(file, "store raw /proc/self/status\nfallback raw /proc/self/status\n");
  RunResult r = sim({"--root", (dir / "device").string(), file.string()});
  EXPECT_EQ(r.exitCode, 0) << r.output;
  EXPECT_FALSE(contains(r, "(0 bytes)")) << r.output;
  std::string copied = testing_support::readFile(dir / "device/var/mobile/Library/Preferences/xyz.dorvu..ravelo.plist");
  EXPECT_NE(copied.find("VmPeak:"), std::string::npos) << copied;
}

TEST(SimInteractive, StandardInputRunsCommandsToo) {
  TempDir dir;
  fs::path file = dir / "input.txt";
  testing_support::writeFile(file, "volume-up\nquit\nvolume-down\n");
  RunResult r = testing_support::run({"/bin/sh", "-c", std::string(RAVELO_SIM) + " - < " + file.string()});
  EXPECT_EQ(r.exitCode, 0) << r.output;
  EXPECT_TRUE(contains(r, "step 1 (stdin:1) at 2000ms: volume-up")) << r.output;
  EXPECT_FALSE(contains(r, "volume-down")) << r.output;
}
