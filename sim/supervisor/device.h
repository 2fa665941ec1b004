// The simulated device as the simulator runs it: its processes (backboardd, SpringBoard, the
// Settings app, a shell), started, told the clock, given commands, kept in step, and restarted the
// way iOS restarts them.
//
// After every command the device settles: each running process handles whatever is ready (a
// notification another process posted...) until a whole round reports nothing new; then the
// console is read and ended processes are dealt with. An ended backboardd is a respring: the apps and
// SpringBoard end with it, then backboardd and SpringBoard start again. Any other process that ends
// on its own is reported as an unexpected end; SpringBoard is then started again, as iOS does.
#pragma once

#include <filesystem>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "protocol/console.h"
#include "supervisor/device_process.h"
#include "supervisor/layout.h"
#include "supervisor/recorder.h"
#include "supervisor/transcript.h"

namespace sim {

struct DeviceSetup {
  DeviceFolders folders;
  std::filesystem::path programs;  // where ravelo-springboard and the others are
  bool privateView = false;        // run the processes where /var/jb is the jailbreak root
  std::vector<std::string> missingClasses;  // classes SpringBoard or the Settings app runs without
  std::string deviceBinaries;      // "arm64"/"arm64e": SpringBoard and Settings run the device binaries
  int iosVersion = 15;             // the iOS whose SpringBoard runs
};

class Device {
 public:
  Device(const DeviceSetup& setup, Transcript& transcript, Recorder& recorder);
  ~Device();
  Device(const Device&) = delete;
  Device& operator=(const Device&) = delete;

  // The scenario clock; setting it tells every running process.
  long clock() const { return clock_; }
  void setClock(long ms);

  // Whether backboardd and SpringBoard have been started.
  bool isOn() const { return on_; }
  void switchOn();
  // Ends every process (the end of a run).
  void switchOff();

  // Runs a command in one process; "" when it was carried out, else the process's reason. A process
  // that ends meanwhile is dealt with by settle(), not reported here.
  std::string inShell(const std::vector<std::string>& words);
  std::string inSpringBoard(const std::vector<std::string>& words);
  std::string inSettings(const std::vector<std::string>& words);

  bool springBoardRunning() const { return running(springBoard_); }
  bool settingsRunning() const { return running(settings_); }
  void launchSettings();
  // The Settings app's screen width, from its next launch.
  void setScreenWidth(long points);
  // A class (protocol/classes.h) SpringBoard or the Settings app runs without, from its next launch.
  void leaveOutClass(const std::string& name);

  const DeviceFolders& folders() const { return setup_.folders; }

  // The device's run folder, as the simulator names it and as the device's processes name it.
  std::filesystem::path runFolder() const { return setup_.folders.run(); }
  std::string deviceRunFolder() const { return setup_.privateView ? "/var/run" : setup_.folders.run().string(); }

  // Sends `signal` to a process from outside ("SpringBoard", "Settings", "backboardd") and waits (a
  // bounded time) for it to end; "" when it ended, else why not (not running, or still running).
  std::string signalProcess(const std::string& name, int signal);

  void settle();

  // Resprings since the last call.
  int takeResprings();
  // Processes that ended on their own (crashes), over the whole run.
  int unexpectedEnds() const { return unexpectedEnds_; }

 private:
  using Slot = std::unique_ptr<DeviceProcess>;
  static bool running(const Slot& slot) { return slot && !slot->hasEnded(); }

  Slot start(const std::string& name, const std::string& program, std::vector<std::string> arguments,
             bool inPrivateView);
  // The arguments SpringBoard and the Settings app share: "--device-binaries ARCH" when they run the
  // device binaries, and "--without-class NAME" for each missing class `belongs` places in the process.
  std::vector<std::string> appArguments(bool (*belongs)(const std::string&)) const;
  void startSpringBoard();
  // Reads `process`'s messages, reporting trace lines, until one of kind `until`; nullopt at its end.
  std::optional<Message> readUntil(DeviceProcess& process, const char* until);
  std::string command(Slot& slot, const std::vector<std::string>& words);
  // Sends one message; "" when sent, "gone" when the process has gone (its end then collected), else
  // why it could not be sent to a process that is still there.
  std::string deliver(DeviceProcess& process, const char* kind, const std::string& body = {});
  void sync();
  void readConsole();
  void checkEnds();
  void respring(int backboarddStatus);
  void stopForRespring(Slot& slot, const char* why);
  void report(const std::string& text) { transcript_.report("sim", text); }

  DeviceSetup setup_;
  std::string jbroot_;  // the jailbreak root as the device processes name it
  Transcript& transcript_;
  Recorder& recorder_;
  console::Listener console_;
  Slot backboardd_, springBoard_, settings_, shell_;
  std::map<const DeviceProcess*, int> serials_;
  int nextSerial_ = 1;
  long clock_ = 0;
  long screenWidth_ = 390;
  bool on_ = false;
  bool springBoardFailedLaunch_ = false;
  int resprings_ = 0;
  int unexpectedEnds_ = 0;
};

}  // namespace sim
