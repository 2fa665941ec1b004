// The jailbroken iPhone of package/tests/fake-phone, reached through real OpenSSH and Dropbear
// servers, for install-device's tests: one phone per object, made when a command runs next to it
// and kept afterwards, so that what the command did there can be inspected.
#pragma once

#include <filesystem>
#include <string>
#include <vector>

#include "support/run.h"
#include "support/temp_dir.h"
#include "terminal.h"

// One of the phone's ssh servers.
struct SshServer {
  const char* name;
  const char* port;
};
inline constexpr SshServer kOpenSsh{"OpenSSH", "2222"};
inline constexpr SshServer kDropbear{"Dropbear", "2022"};

class FakePhone {
 public:
  // Empty when this machine can run the phone; otherwise why not (asked once per process).
  static const std::string& cannotRun();

  // Makes the phone with fake-phone's `options` and runs `command` next to it, with no terminal.
  testing_support::RunResult run(const std::vector<std::string>& options, const std::vector<std::string>& command);
  // The same in a terminal, typing `answers` at the prompts that contain `prompt`.
  TerminalRun runInTerminal(const std::vector<std::string>& options, const std::vector<std::string>& command,
                            const std::string& prompt, const std::vector<std::string>& answers);

  // The package's state in the jailbreak's dpkg database as dpkg abbreviates it ("ii": installed),
  // or "" where dpkg does not know it.
  std::string packageState(const std::string& package) const;
  std::string installedVersion(const std::string& package) const;
  // What is left in the phone's temporary folders (/var/tmp, /var/jb/tmp), by path on the phone.
  std::vector<std::string> leftInTemporaryFolders() const;
  // Where a path on the phone (below /var) is here.
  std::filesystem::path here(const std::string& pathOnPhone) const;
  // What the stand-ins for sbreload and killall logged: a line per respring, naming who asked.
  std::string respringLog() const;
  // fake-phone's own folder, where it keeps attacker.log.
  std::filesystem::path folder() const { return dir_.path(); }

 private:
  std::vector<std::string> argv(const std::vector<std::string>& options, const std::vector<std::string>& command) const;
  testing_support::TempDir dir_;
};
