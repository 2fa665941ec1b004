#include "supervisor/device.h"

#include <errno.h>
#include <signal.h>
#include <sys/wait.h>

#include <cstring>
#include <stdexcept>

#include "host/file_changes.h"
#include "protocol/classes.h"
#include "protocol/protocol.h"

namespace sim {
namespace {

constexpr int kMaxSyncRounds = 8;
// A device process that gives no answer for this long is taken for hung and killed (no step of a
// working device takes more than a fraction of a second).
constexpr int kAnswerTimeoutMs = 60000;
// What deliver() answers for a process that has gone.
constexpr const char* kGone = "gone";

// The device's run folder, opened without following links (the console's socket is made in it).
host::files::Folder runFolderOf(const DeviceFolders& folders) {
  std::string problem;
  host::files::Folder folder = host::files::openFolder(folders.run().string(), false, &problem);
  if (!folder) throw std::runtime_error("the device's run folder: " + problem);
  return folder;
}

}  // namespace

Device::Device(const DeviceSetup& setup, Transcript& transcript, Recorder& recorder)
    : setup_(setup),
      jbroot_(setup.privateView ? "/var/jb" : setup.folders.jbroot.string()),
      transcript_(transcript),
      recorder_(recorder),
      console_(runFolderOf(setup.folders).fd()) {}

Device::~Device() {
  // Without reports: the transcript has ended (or the run was interrupted).
  for (Slot* slot : {&settings_, &springBoard_, &shell_, &backboardd_})
    if (*slot) (*slot)->kill();
}

Device::Slot Device::start(const std::string& name, const std::string& program, std::vector<std::string> arguments,
                           bool inPrivateView) {
  Launch launch;
  launch.name = name;
  launch.executable = (setup_.programs / program).string();
  launch.arguments = std::move(arguments);
  if (inPrivateView && setup_.privateView) launch.privateViewRoot = setup_.folders.root.string();
#if defined(__SANITIZE_ADDRESS__)
  // AddressSanitizer's dlopen interceptor makes the dynamic loader take the sanitizer's runtime for
  // the caller, so a deliverable's own run paths (@loader_path/.jbroot/usr/lib) are not searched. In
  // sanitized builds the library folder they name is given through the environment instead; without
  // the libroot stand-in it holds nothing, as before.
  if (!setup_.privateView) launch.environment.emplace_back("LD_LIBRARY_PATH", (setup_.folders.jbroot / "usr/lib").string());
#endif
  report("start " + name);
  auto process = std::make_unique<DeviceProcess>(launch);
  serials_[process.get()] = nextSerial_++;
  if (!readUntil(*process, "ready")) {
    int status = process->finish();
    report(name + " ended during its start (" + describeEnd(status) + ")");
    ++unexpectedEnds_;
    return nullptr;
  }
  return process;
}

std::vector<std::string> Device::appArguments(bool (*belongs)(const std::string&)) const {
  std::vector<std::string> arguments;
  if (!setup_.deviceBinaries.empty()) arguments.insert(arguments.end(), {"--device-binaries", setup_.deviceBinaries});
  for (const std::string& name : setup_.missingClasses)
    if (belongs(name)) arguments.insert(arguments.end(), {"--without-class", name});
  return arguments;
}

void Device::startSpringBoard() {
  std::vector<std::string> arguments{"--jbroot", jbroot_, "--clock", std::to_string(clock_), "--ios",
                                     std::to_string(setup_.iosVersion)};
  for (std::string& argument : appArguments(classes::inSpringBoard)) arguments.push_back(std::move(argument));
  springBoard_ = start("SpringBoard", "ravelo-springboard", std::move(arguments), true);
  springBoardFailedLaunch_ = springBoard_ == nullptr;
}

std::optional<Message> Device::readUntil(DeviceProcess& process, const char* until) {
  for (;;) {
    bool timedOut = false;
    auto message = process.channel().receive(kAnswerTimeoutMs, &timedOut);
    if (timedOut) {
      report(process.name() + " gave no answer for " + std::to_string(kAnswerTimeoutMs / 1000) + " s: killing it");
      process.kill();
      return std::nullopt;
    }
    if (!message) {
      // Its end of the channel closed: it is exiting. Collect its end now, so that settle() reports it
      // within this step whatever the timing.
      process.finish();
      return std::nullopt;
    }
    if (message->kind == "trace") {
      transcript_.report(process.name(), message->body);
      recorder_.feed(serials_[&process], message->body);
    } else if (message->kind == until || message->kind == "fail") {
      return message;
    }
  }
}

void Device::setClock(long ms) {
  clock_ = ms;
  recorder_.advanceTo(ms);
  for (Slot* slot : {&backboardd_, &springBoard_, &settings_, &shell_}) {
    if (!running(*slot)) continue;
    if (deliver(**slot, "clock", std::to_string(ms)).empty()) readUntil(**slot, "ok");
  }
}

void Device::switchOn() {
  if (on_) return;
  on_ = true;
  backboardd_ = start("backboardd", "backboardd", {}, false);
  startSpringBoard();
}

void Device::switchOff() {
  for (Slot* slot : {&settings_, &springBoard_, &shell_, &backboardd_}) {
    if (!running(*slot)) continue;
    report("stop " + (*slot)->name());
    (*slot)->channel().send("quit");
    if (!(*slot)->waitEnded(kEndTimeoutMs)) {
      report((*slot)->name() + " did not quit within " + std::to_string(kEndTimeoutMs / 1000) + " s: killing it");
      (*slot)->kill();
    }
  }
  readConsole();
  on_ = false;
}

std::string Device::command(Slot& slot, const std::vector<std::string>& words) {
  if (!running(slot)) return "not running";
  std::string problem = deliver(*slot, "run", protocol::encodeWords(words));
  if (!problem.empty()) return problem == kGone ? std::string() : problem;
  auto answer = readUntil(*slot, "done");
  if (answer && answer->kind == "fail") return answer->body.empty() ? "failed" : answer->body;
  return {};
}

std::string Device::inShell(const std::vector<std::string>& words) {
  if (!running(shell_)) shell_ = start("shell", "ravelo-shell", {"--jbroot", jbroot_}, true);
  if (!shell_) return "the shell could not start";
  return command(shell_, words);
}

std::string Device::inSpringBoard(const std::vector<std::string>& words) {
  if (!running(springBoard_)) {
    return springBoardFailedLaunch_ ? "SpringBoard is not running: it ended during its launch (respring to try again)"
                                    : "SpringBoard is not running";
  }
  return command(springBoard_, words);
}

std::string Device::inSettings(const std::vector<std::string>& words) {
  if (!running(settings_)) return "Settings is not running: open-settings first";
  return command(settings_, words);
}

void Device::launchSettings() {
  if (running(settings_)) return;
  std::vector<std::string> arguments{"--jbroot", jbroot_, "--clock", std::to_string(clock_), "--screen-width",
                                     std::to_string(screenWidth_)};
  for (std::string& argument : appArguments(classes::inSettings)) arguments.push_back(std::move(argument));
  settings_ = start("Settings", "ravelo-settings", std::move(arguments), true);
}

void Device::leaveOutClass(const std::string& name) {
  for (const std::string& missing : setup_.missingClasses)
    if (missing == name) return;
  setup_.missingClasses.push_back(name);
}

void Device::setScreenWidth(long points) {
  screenWidth_ = points;
  // A device's screen does not change under a running app: the width is the next launch's.
  report("the Settings app's screen is " + std::to_string(points) + " points wide" +
         (running(settings_) ? " from its next launch" : ""));
}

std::string Device::signalProcess(const std::string& name, int signal) {
  for (Slot* slot : {&backboardd_, &springBoard_, &settings_, &shell_}) {
    if (!running(*slot) || (*slot)->name() != name) continue;
    const char* abbrev = sigabbrev_np(signal);
    std::string signalName = "SIG" + std::string(abbrev != nullptr ? abbrev : std::to_string(signal));
    report("send " + signalName + " to " + name);
    // Its end is reported by settle(), as the system notices it.
    if ((*slot)->stop(signal, kEndTimeoutMs)) return {};
    report(name + " did not end within " + std::to_string(kEndTimeoutMs / 1000) + " s of " + signalName);
    return name + " did not end within " + std::to_string(kEndTimeoutMs / 1000) + " s of " + signalName;
  }
  return name + " is not running";
}

std::string Device::deliver(DeviceProcess& process, const char* kind, const std::string& body) {
  int error = 0;
  if (process.channel().send(kind, body, &error)) return {};
  if (error == EPIPE || error == ECONNRESET || error == ENOTCONN || error == EBADF) {
    process.finish();  // gone: settle() reports its end
    return kGone;
  }
  // It is still there, but the message cannot reach it (too long for the channel, or out of buffers):
  // no answer will come, so nothing is waited for.
  std::string problem = "cannot send the command to the " + process.name() + " process: " + std::strerror(error);
  if (error == EMSGSIZE) problem += " (" + std::to_string(body.size()) + " bytes; the device takes lines of at most about 200 KB)";
  return problem;
}

void Device::sync() {
  for (int round = 0; round < kMaxSyncRounds; ++round) {
    size_t before = transcript_.stepLines().size();
    for (Slot* slot : {&shell_, &springBoard_, &settings_}) {
      if (!running(*slot)) continue;
      if (deliver(**slot, "sync").empty()) readUntil(**slot, "idle");
    }
    if (transcript_.stepLines().size() == before) return;
  }
}

void Device::readConsole() {
  while (auto line = console_.next()) transcript_.report(line->first, line->second);
}

void Device::settle() {
  sync();
  readConsole();
  checkEnds();
}

void Device::stopForRespring(Slot& slot, const char* why) {
  if (!running(slot)) return;
  int status = slot->kill();
  report(slot->name() + " ended (" + describeEnd(status) + "): " + why);
  slot.reset();
}

void Device::respring(int backboarddStatus) {
  ++resprings_;
  report("backboardd ended (" + describeEnd(backboarddStatus) + "): respring");
  stopForRespring(settings_, "apps end with a respring");
  stopForRespring(springBoard_, "SpringBoard ends with backboardd");
  backboardd_ = start("backboardd", "backboardd", {}, false);
  startSpringBoard();
  sync();
  readConsole();
}

void Device::checkEnds() {
  // The processes' own ends, as the system notices them. A killed backboardd must also be waited for:
  // whoever killed it has seen it end, so its end is there to collect.
  for (int pass = 0; pass < 4; ++pass) {
    bool any = false;
    if (backboardd_ && backboardd_->checkEnded()) {
      int status = *backboardd_->checkEnded();
      backboardd_.reset();
      respring(status);
      any = true;
    }
    for (Slot* slot : {&springBoard_, &settings_, &shell_}) {
      if (!*slot || !(*slot)->checkEnded()) continue;
      int status = *(*slot)->checkEnded();
      std::string name = (*slot)->name();
      slot->reset();
      ++unexpectedEnds_;
      report(name + " ended unexpectedly (" + describeEnd(status) + ")");
      any = true;
      if (slot == &springBoard_ && on_) {
        report("the system starts SpringBoard again");
        startSpringBoard();
        sync();
        readConsole();
      }
    }
    if (!any) return;
  }
}

int Device::takeResprings() {
  int count = resprings_;
  resprings_ = 0;
  return count;
}

}  // namespace sim
