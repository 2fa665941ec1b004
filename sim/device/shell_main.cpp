// A shell on the simulated device, as a developer logged into it would use one: writes and removes
// settings with the preferences API (as `defaults` does), edits the tweak's fallback file, posts the settings notification (as
// `notifyutil -p` does) and runs the jailbreak's killall.
#include <spawn.h>
#include <sys/wait.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include <CoreFoundation/CoreFoundation.h>

#include "device/fallback_file.h"
#include "device/plist_objects.h"
#include "device/session.h"
#include "host/corefoundation.h"
#include "host/trace.h"

namespace {

constexpr const char* kDomain = "xyz.dorvu..ravelo";
constexpr const char* kNotification = "com.tamsel.ravelo.prefsupdate";

std::string jbroot;

// The tweak's fallback file: /var/mobile/Library/Preferences/com.tamsel.ravelo.plist below the jailbreak root.
std::string fallbackFile() { return jbroot + "/var/mobile/Library/Preferences/com.tamsel.ravelo.plist"; }

// The value of "set KEY TYPE TEXT" (+1); null for a bad one.
CFPropertyListRef valueOf(const std::string& type, const std::string& text) {
  sim::values::Value value;
  sim::values::Value::Kind kind;
  if (!sim::values::kindNamed(type, &kind) || !sim::values::parseTyped(kind, text, &value).empty()) return nullptr;
  return sim::device::newPropertyList(value);
}

// The flag `defaults write` takes for a type ("-int"); containers are written as their literal.
std::string defaultsFlag(const std::string& type) {
  if (type == "real") return "-float";
  if (type == "array" || type == "dict") return "";
  return "-" + type;
}

std::string setValue(const std::string& keyText, CFPropertyListRef value) {
  CFStringRef key = host::cf::makeString(keyText);
  CFStringRef domain = host::cf::makeString(kDomain);
  CFPreferencesSetValue(key, value, domain, kCFPreferencesCurrentUser, kCFPreferencesAnyHost);
  bool saved = CFPreferencesSynchronize(domain, kCFPreferencesCurrentUser, kCFPreferencesAnyHost);
  CFRelease(domain);
  CFRelease(key);
  return saved ? "" : "the preferences store could not be written: " + host::cf::lastPreferencesWriteFailure();
}

std::string runKillall(const std::vector<std::string>& words) {
  std::string tool = jbroot + "/usr/bin/killall";
  std::vector<std::string> args(words.begin(), words.end());
  args[0] = "killall";
  std::vector<char*> argv;
  for (std::string& a : args) argv.push_back(a.data());
  argv.push_back(nullptr);
  char* noEnvironment[] = {nullptr};
  pid_t pid = 0;
  int error = posix_spawn(&pid, tool.c_str(), nullptr, nullptr, argv.data(), noEnvironment);
  std::string line;
  for (size_t i = 0; i + 1 < argv.size(); ++i) line += std::string(i > 0 ? " " : "") + argv[i];
  if (error != 0) return "cannot run " + tool + ": " + std::strerror(error);
  int status = 0;
  while (waitpid(pid, &status, 0) < 0 && errno == EINTR) {
  }
  host::trace("$ %s (exit %d)", line.c_str(), WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status));
  return {};
}

std::string run(const std::vector<std::string>& words) {
  if (words.empty()) return "no command";
  const std::string& command = words[0];
  if (command == "set" && words.size() == 4) {
    CFPropertyListRef value = valueOf(words[2], words[3]);
    if (value == nullptr) return "no value of type " + words[2];
    std::string flag = defaultsFlag(words[2]);
    std::string text = host::cf::describe(value);
    if (flag.empty()) text = "'" + text + "'";  // a container, as a plist literal in one shell word
    else text = flag + " " + text;
    host::trace("$ defaults write %s %s %s", kDomain, sim::device::shownKey(words[1]).c_str(), text.c_str());
    std::string problem = setValue(words[1], value);
    CFRelease(value);
    return problem;
  }
  if (command == "remove" && words.size() == 2) {
    host::trace("$ defaults delete %s %s", kDomain, sim::device::shownKey(words[1]).c_str());
    return setValue(words[1], nullptr);
  }
  if (command == "notify" && words.size() == 1) {
    host::trace("$ notifyutil -p %s", kNotification);
    CFStringRef name = host::cf::makeString(kNotification);
    CFNotificationCenterPostNotification(CFNotificationCenterGetDarwinNotifyCenter(), name, nullptr, nullptr, true);
    CFRelease(name);
    return {};
  }
  if (command == "killall") return runKillall(words);
  if (command == "fallback") return sim::device::editFallbackFile(fallbackFile(), {words.begin() + 1, words.end()});
  if (command == "store" && words.size() == 2 && words[1] == "delete")
    return sim::device::removeFile(host::cf::preferencesFile(kDomain));
  return "the shell has no command '" + command + "'";
}

}  // namespace

int main(int argc, char** argv) {
  if (argc > 1 && (std::strcmp(argv[1], "--help") == 0 || std::strcmp(argv[1], "-h") == 0)) {
    std::puts("usage: ravelo-shell --jbroot DIR\n"
              "A shell on the simulated device; ravelo-sim starts it (channel on fd 3).");
    return 0;
  }
  jbroot = sim::device::option(argc, argv, "--jbroot");
  if (jbroot.empty()) {
    std::fputs("ravelo-shell: --jbroot is required (ravelo-sim starts this program)\n", stderr);
    return 2;
  }
  sim::device::Session session("shell");
  session.ready();
  session.serve(run);
}
