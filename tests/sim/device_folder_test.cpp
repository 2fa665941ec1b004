// The device folder on this machine as a person may leave it: links planted in a kept --root, files of
// the wrong kind, long paths, keys with NUL bytes, a store the pane cannot write. ravelo-sim refuses
// with a clear line and changes nothing outside the folder.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>
#include <map>
#include <string>
#include <vector>

#include "support/run.h"
#include "support/temp_dir.h"

namespace fs = std::filesystem;
using testing_support::contains;
using testing_support::RunResult;
using testing_support::TempDir;
using testing_support::writeFile;

namespace {

RunResult simulate(const fs::path& scenario, std::vector<std::string> options = {},
                   const std::vector<std::string>& environment = {}) {
  options.insert(options.begin(), RAVELO_SIM);
  options.push_back(scenario.string());
  return testing_support::run(options, environment);
}

// Every entry below `folder` and what it holds (a file's bytes, a link's target, "folder").
std::map<std::string, std::string> contentsOf(const fs::path& folder) {
  std::map<std::string, std::string> entries;
  for (const auto& entry : fs::recursive_directory_iterator(folder)) {
    std::string name = fs::relative(entry.path(), folder).string();
    if (entry.is_symlink()) entries[name] = "-> " + fs::read_symlink(entry.path()).string();
    else if (entry.is_directory()) entries[name] = "folder";
    else entries[name] = testing_support::readFile(entry.path());
  }
  return entries;
}

}  // namespace

TEST(SimKeptRoot, ALinkPlantedInTheDeviceFolderIsNeverWrittenThrough) {
  struct Planted {
    const char* link;      // below the kept root
    bool toFile;           // to the outside file, else to the outside folder
    const char* scenario;
    int exitCode;
    const char* refusal;   // "" when the run goes on (a link as the last part is replaced)
  };
  const Planted cases[] = {
      {"var/jb/evil", false, "replace-file /var/jb/evil/victim file.txt", 1, "/var/jb/evil is a symbolic link"},
      {"var/jb/evil", false, "remove-file /var/jb/evil/victim", 1, "/var/jb/evil is a symbolic link"},
      {"var/jb/Library/Sounds", false, "tap-icon", 2, "/var/jb/Library/Sounds is a symbolic link"},
      {"var/jb/usr/bin", false, "tap-icon", 2, "/var/jb/usr/bin is a symbolic link"},
      {"var/jb/usr/bin/killall", true, "respring\nexpect-run \"sent SIGKILL to backboardd\"", 0, ""},
      {"var/mobile/Library/Preferences", false, "set enabled true", 2, "Preferences is a symbolic link"},
      {"var/run", false, "tap-icon", 2, "/var/run is a symbolic link"},
      {"var/jb/var", false, "fallback set VolumeUpSound 40", 1, "/var/jb/var is a symbolic link"},
      {"var/jb/var", false, "fallback delete", 1, "/var/jb/var is a symbolic link"},
      {"var/jb/var/mobile/Library/Preferences/com.tamsel.ravelo.plist", true, "fallback delete", 0, ""},
  };
  for (const Planted& planted : cases) {
    TempDir dir;
    fs::path outside = dir / "outside", root = dir / "root";
    writeFile(outside / "victim", "victim");
    writeFile(outside / "mobile/Library/Preferences/com.tamsel.ravelo.plist", "<plist version=\"1.0\"><dict/></plist>\n");
    writeFile(dir / "file.txt", "replacement");
    fs::path link = root / planted.link;
    fs::create_directories(link.parent_path());
    fs::create_symlink(planted.toFile ? outside / "victim" : outside, link);
    writeFile(dir / "scenario.txt", std::string(planted.scenario) + "\n");
    auto before = contentsOf(outside);

    RunResult r = simulate(dir / "scenario.txt", {"--root", root.string()});
    EXPECT_EQ(r.exitCode, planted.exitCode) << planted.link << "\n" << r.output;
    EXPECT_TRUE(contains(r, planted.refusal)) << planted.link << "\n" << r.output;
    EXPECT_EQ(contentsOf(outside), before) << planted.link << ": " << planted.scenario;
    // A link as the last part is replaced by the file the device writes there, or removed.
    if (planted.toFile) {
      EXPECT_FALSE(fs::is_symlink(link)) << planted.link;
    }
  }
}

TEST(SimFallbackFile, AFifoInTheFallbackFilesPlaceIsRefusedAtOnce) {
  for (const char* command : {"fallback set VolumeUpSound 40", "fallback remove VolumeUpSound"}) {
    TempDir dir;
    fs::path fifo = dir / "root/var/jb/var/mobile/Library/Preferences/com.tamsel.ravelo.plist";
    fs::create_directories(fifo.parent_path());
    ASSERT_EQ(mkfifo(fifo.c_str(), 0644), 0);
    writeFile(dir / "fifo.txt", std::string(command) + "\n");
    RunResult r = simulate(dir / "fifo.txt", {"--root", (dir / "root").string()});
    EXPECT_EQ(r.exitCode, 1) << command;
    EXPECT_TRUE(contains(r, "fifo.txt:1: the fallback file is a FIFO, not a regular file")) << command << "\n" << r.output;
  }
}

TEST(SimFallbackFile, KeysAndStringsWithANulByteAreKeptInBinaryAndRefusedInXml) {
  TempDir dir;
  const std::string key("\"k\0x\"", 5), text("\"a\0b\"", 5);
  writeFile(dir / "binary.txt", "fallback set k 1\nfallback format binary\nfallback set " + key + " 2\n"
                                "fallback set s string " + text + "\nfallback format binary\n");
  RunResult r = simulate(dir / "binary.txt");
  EXPECT_EQ(r.exitCode, 0) << r.output;
  // Read back from the file by the last format command: both keys, the string whole.
  EXPECT_TRUE(contains(r, "step 5 (" + (dir / "binary.txt").string() + ":5) at 0ms: fallback format binary\n"
                          "  [shell] $ plutil -convert binary1 /var/jb/var/mobile/Library/Preferences/com.tamsel.ravelo.plist\n"
                          "  [shell] file /var/jb/var/mobile/Library/Preferences/com.tamsel.ravelo.plist (binary) = "
                          "{k = 1; \"k\\000x\" = 2; s = \"a\\000b\"}"))
      << r.output;

  writeFile(dir / "xml.txt", "fallback set k 1\nfallback set " + key + " 2\n");
  r = simulate(dir / "xml.txt");
  EXPECT_EQ(r.exitCode, 1);
  EXPECT_TRUE(contains(r, "xml.txt:2: XML cannot hold a NUL character in a key or string: nothing written")) << r.output;
}

TEST(SimStoreWrites, AChangeTheStoreCannotTakeFailsTheStepFromThePaneAsFromAShell) {
  TempDir dir;
  // A folder where the store's file goes: no write can replace it.
  fs::create_directories(dir / "root/var/mobile/Library/Preferences/xyz.dorvu..ravelo.plist");
  writeFile(dir / "pane.txt", "open-settings\nchoose unlockSound 3\ntap-icon\n");
  RunResult r = simulate(dir / "pane.txt", {"--root", (dir / "root").string()});
  EXPECT_EQ(r.exitCode, 1);
  EXPECT_TRUE(contains(r, "pane.txt:2: the pane's change was not saved: the preferences store could not be written: "
                          "cannot write /var/mobile/Library/Preferences/xyz.dorvu..ravelo.plist"))
      << r.output;
  EXPECT_FALSE(contains(r, "tap-icon")) << r.output;

  writeFile(dir / "shell.txt", "set enabled true\n");
  r = simulate(dir / "shell.txt", {"--root", (dir / "root").string()});
  EXPECT_EQ(r.exitCode, 1);
  EXPECT_TRUE(contains(r, "shell.txt:1: the preferences store could not be written: cannot write ")) << r.output;
}

TEST(SimLongPaths, ADeviceRootBelowA200CharacterTmpdirRunsWithItsSockets) {
  TempDir dir;
  fs::path tmpdir = dir.path();
  while (tmpdir.string().size() < 200) tmpdir /= std::string(40, 't');
  fs::create_directories(tmpdir);
  // The notification reaches SpringBoard; killall's line comes through the console socket.
  writeFile(dir / "long.txt", "set enabled true\nnotify\nexpect \"[SpringBoard] notify deliver\"\n"
                              "respring\nexpect \"[killall] -9 backboardd: sent SIGKILL to backboardd\"\n");
  RunResult r = simulate(dir / "long.txt", {}, {"TMPDIR=" + tmpdir.string()});
  EXPECT_EQ(r.exitCode, 0) << r.output;
}

TEST(SimLongPaths, ACaptureFolderNameTooLongIsAClearError) {
  TempDir dir;
  writeFile(dir / "s.txt", "open-settings\n");
  RunResult r = simulate(dir / "s.txt", {"--capture-dir", (dir / std::string(300, 'c')).string()});
  EXPECT_EQ(r.exitCode, 2);
  EXPECT_TRUE(contains(r, "for the pictures: File name too long")) << r.output;
}
