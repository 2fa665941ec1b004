#include "fake_phone.h"

#include <algorithm>

namespace fs = std::filesystem;
using testing_support::readFile;
using testing_support::RunResult;

const std::string& FakePhone::cannotRun() {
  static const std::string reason = [] {
    RunResult check = testing_support::run({FAKE_PHONE, "--check"});
    return check.exitCode == 0 ? std::string() : "no real ssh servers here: " + check.output;
  }();
  return reason;
}

std::vector<std::string> FakePhone::argv(const std::vector<std::string>& options,
                                         const std::vector<std::string>& command) const {
  std::vector<std::string> out{FAKE_PHONE, dir_.path().string()};
  out.insert(out.end(), options.begin(), options.end());
  out.push_back("--");
  out.insert(out.end(), command.begin(), command.end());
  return out;
}

RunResult FakePhone::run(const std::vector<std::string>& options, const std::vector<std::string>& command) {
  return testing_support::run(argv(options, command));
}

TerminalRun FakePhone::runInTerminal(const std::vector<std::string>& options, const std::vector<std::string>& command,
                                     const std::string& prompt, const std::vector<std::string>& answers) {
  std::vector<std::string> withTerminal = options;
  withTerminal.push_back("--terminal");
  return ::runInTerminal(argv(withTerminal, command), {}, prompt, answers);
}

std::string FakePhone::packageState(const std::string& package) const {
  RunResult query = testing_support::run({"/usr/bin/dpkg-query", "--admindir=" + here("/var/jb/Library/dpkg").string(),
                                          "-W", "-f=${db:Status-Abbrev}", package});
  if (query.exitCode != 0) return "";
  std::string state = query.output;
  state.erase(std::remove(state.begin(), state.end(), ' '), state.end());
  return state;
}

std::string FakePhone::installedVersion(const std::string& package) const {
  RunResult query = testing_support::run({"/usr/bin/dpkg-query", "--admindir=" + here("/var/jb/Library/dpkg").string(),
                                          "-W", "-f=${Version}", package});
  return query.exitCode == 0 ? query.output : "";
}

std::vector<std::string> FakePhone::leftInTemporaryFolders() const {
  std::vector<std::string> left;
  for (const char* folder : {"/var/tmp", "/var/jb/tmp"}) {
    if (!fs::exists(here(folder))) continue;
    for (const auto& entry : fs::directory_iterator(here(folder))) {
      left.push_back(std::string(folder) + "/" + entry.path().filename().string());
    }
  }
  return left;
}

fs::path FakePhone::here(const std::string& pathOnPhone) const {
  return dir_.path() / fs::path(pathOnPhone).relative_path();
}

std::string FakePhone::respringLog() const {
  fs::path log = here("/var/log/respring.log");
  return fs::exists(log) ? readFile(log) : "";
}
