// install-device against a stand-in phone: ssh and scp stand-ins that run what they are sent in a
// folder standing in for the phone's /var (its /var/jb holding a stand-in dpkg, sudo and sbreload
// that record their calls), so the commands install-device sends are themselves run.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "fake_tools.h"
#include "support/run.h"
#include "support/temp_dir.h"

namespace fs = std::filesystem;
using testing_support::readFile;
using testing_support::run;
using testing_support::RunResult;
using testing_support::TempDir;
using testing_support::writeFile;

namespace {

struct Phone {
  bool reachable = true;
  bool rootUser = false;            // logged in as root: no sudo
  bool sudoNeedsPassword = true;
  bool preinstRefuses = false;
  bool scpHasLegacyOption = true;   // OpenSSH 9's scp (-O); else an scp without it
};

class InstallDevice : public testing::Test {
 protected:
  // Runs install-device with standard input not a terminal (as from a script), or inside a
  // terminal (`script`), against `phone`.
  RunResult installOn(const Phone& phone, const std::string& target = "mobile@phone.local",
                      const std::vector<std::string>& extraEnv = {}, bool terminal = false,
                      const std::vector<std::string>& options = {}) {
    makePhone(phone);
    writeFile(deb_, "a package");
    std::string command = "exec '" INSTALL_DEVICE "'";
    for (const std::string& option : options) command += " " + option;
    command += " --deb '" + deb_.string() + "' " + target;
    std::vector<std::string> env = extraEnv;
    env.push_back(fake::pathFirst(tools_ / "bin"));
    if (terminal) return run({"/usr/bin/script", "-qec", command, "/dev/null"}, env);
    return run({"/bin/sh", "-c", command + " </dev/null"}, env);
  }

  std::string calls() const { return fs::exists(log_) ? readFile(log_) : ""; }
  fs::path onPhone(const std::string& path) const { return phone_ / fs::path(path).relative_path(); }

  TempDir tools_;
  fs::path phone_ = tools_ / "phone";  // the phone's root: var/jb, var/tmp
  fs::path log_ = tools_ / "calls.log";
  fs::path deb_ = tools_ / "xyz.dorvu.ravelo_1.0.0_iphoneos-arm64.deb";
  fs::path received_ = tools_ / "received.deb";  // what the phone's dpkg was given

 private:
  void makePhone(const Phone& phone) {
    // Each stand-in records its call, the phone's as "phone$ COMMAND" with the paths the phone has.
    std::string log = "echo \"$(basename \"$0\") $*\" >> '" + log_.string() + "'\n";
    std::string phoneLog = "echo \"phone$ $(basename \"$0\") $*\" | sed -e 's|" + phone_.string() + "||g' >> '" +
                           log_.string() + "'\n";
    fs::create_directories(onPhone("/var/tmp"));
    fs::create_directories(onPhone("/var/jb/bin"));
    fs::create_directories(onPhone("/var/jb/usr/bin"));
    fs::create_symlink("/bin/sh", onPhone("/var/jb/bin/sh"));
    fs::create_symlink("/bin/cat", onPhone("/var/jb/usr/bin/cat"));
    fake::tool(onPhone("/var/jb/usr/bin"), "id", std::string("echo ") + (phone.rootUser ? "0" : "501") + "\n");
    fake::tool(onPhone("/var/jb/usr/bin"), "sudo",
               phoneLog + "if [ \"$1\" = -n ]; then shift; " +
                   (phone.sudoNeedsPassword ? "echo 'sudo: a password is required' >&2; exit 1; " : "") + "fi\n"
                   "exec \"$@\"\n");
    fake::tool(onPhone("/var/jb/usr/bin"), "dpkg",
               phoneLog + "cp \"$2\" '" + received_.string() + "'\n" + (phone.preinstRefuses
                          ? "echo \"dpkg: error processing archive $2 (--install):\"\n"
                            "echo ' new xyz.dorvu.ravelo package pre-installation script subprocess returned error "
                            "exit status 1'\nexit 1\n"
                          : "echo \"Unpacking xyz.dorvu.ravelo (1.0.0) ...\"\n"));
    fake::tool(onPhone("/var/jb/usr/bin"), "sbreload", phoneLog);
    // ssh runs the command it is sent (its last argument) with the phone's /var in this folder,
    // through a control socket whose folder must exist; scp copies there.
    std::string toPhone = "sed -e 's|/var/|" + phone_.string() + "/var/|g'";
    fake::tool(tools_ / "bin", "ssh",
               log + (phone.reachable ? "" : "exit 255\n") +
                   "for command; do\n"
                   "  case $command in ControlPath=*) [ -d \"$(dirname \"${command#*=}\")\" ] || exit 97 ;; esac\n"
                   "done\n"
                   "case \"$*\" in *'-O exit'*) exit 0 ;; esac\n"
                   "exec sh -c \"$(printf '%s' \"$command\" | " + toPhone + ")\"\n");
    fake::tool(tools_ / "bin", "scp",
               std::string("if [ $# = 0 ]; then echo 'usage: scp [-346ABC") + (phone.scpHasLegacyOption ? "O" : "") +
                   "pqRrsTv] [-c cipher] source ... target' >&2; exit 1; fi\n" + log +
                   "for to; do :; done\n"
                   "while [ $# -gt 1 ]; do from=$1; shift; done\n"
                   "cp \"$from\" \"$(printf '%s' \"${to#*:}\" | " + toPhone + ")\"\n");
  }
};

TEST_F(InstallDevice, CopiesThePackageInstallsItWithTheJailbreaksDpkgThroughSudoAndResprings) {
  auto result = installOn({.sudoNeedsPassword = false});
  EXPECT_EQ(result.exitCode, 0) << result.output;
  EXPECT_NE(result.output.find("installed xyz.dorvu.ravelo_1.0.0_iphoneos-arm64.deb on phone.local"),
            std::string::npos) << result.output;
  std::string log = calls();
  EXPECT_NE(log.find("scp -q -O"), std::string::npos) << log;
  EXPECT_NE(log.find("phone$ sudo -n /var/jb/usr/bin/dpkg -i /var/tmp/xyz.dorvu.ravelo_1.0.0_iphoneos-arm64.deb"),
            std::string::npos) << log;
  EXPECT_NE(log.find("phone$ sudo -n /var/jb/usr/bin/sbreload"), std::string::npos) << log;
  EXPECT_LT(log.find("scp "), log.find("phone$ sudo -n /var/jb/usr/bin/dpkg")) << "installed before the copy";
  EXPECT_FALSE(fs::exists(onPhone("/var/tmp/xyz.dorvu.ravelo_1.0.0_iphoneos-arm64.deb"))) << "left on the phone";
}

TEST_F(InstallDevice, StreamsThePackageOverSshWhereScpHasNoLegacyProtocolOption) {
  auto result = installOn({.rootUser = true, .scpHasLegacyOption = false});
  EXPECT_EQ(result.exitCode, 0) << result.output;
  std::string log = calls();
  EXPECT_EQ(log.find("scp -q"), std::string::npos) << log;
  EXPECT_NE(log.find("/var/jb/usr/bin/cat > /var/tmp/xyz.dorvu.ravelo_1.0.0_iphoneos-arm64.deb"), std::string::npos)
      << log;
  EXPECT_NE(log.find("phone$ dpkg -i /var/tmp/xyz.dorvu.ravelo_1.0.0_iphoneos-arm64.deb"), std::string::npos) << log;
  EXPECT_EQ(log.find("phone$ sudo"), std::string::npos) << "sudo as root: " << log;
  EXPECT_EQ(readFile(received_), "a package");
}

TEST_F(InstallDevice, KeepsItsSshControlSocketShortUnderA200CharacterTmpdir) {
  fs::path tmpdir = tools_ / std::string(200 - tools_.path().string().size() - 1, 't');
  fs::create_directories(tmpdir);
  auto result = installOn({.sudoNeedsPassword = false}, "mobile@phone.local", {"TMPDIR=" + tmpdir.string()});
  EXPECT_EQ(result.exitCode, 0) << result.output;
  std::string log = calls();
  size_t at = log.find("ControlPath=");
  ASSERT_NE(at, std::string::npos) << log;
  std::string socket = log.substr(at + 12, log.find(' ', at) - at - 12);
  // ssh binds it with a 17-character suffix; macOS allows 104 bytes in a socket's path.
  EXPECT_LT(socket.size() + 17, 104u) << socket;
  EXPECT_FALSE(fs::exists(fs::path(socket).parent_path())) << "control folder left behind";
}

TEST_F(InstallDevice, WithoutATerminalSaysThatSudoCannotAskForThePassword) {
  auto result = installOn({.sudoNeedsPassword = true});
  EXPECT_EQ(result.exitCode, 1);
  EXPECT_NE(result.output.find("sudo on phone.local needs mobile's password, and with no terminal here"),
            std::string::npos) << result.output;
  EXPECT_EQ(calls().find("phone$ sudo -n /var/jb/usr/bin/dpkg"), std::string::npos) << calls();
}

TEST_F(InstallDevice, InATerminalLetsSudoAskForThePassword) {
  auto result = installOn({.sudoNeedsPassword = true}, "mobile@phone.local", {}, /*terminal=*/true);
  EXPECT_EQ(result.exitCode, 0) << result.output;
  std::string log = calls();
  EXPECT_NE(log.find("ssh -t"), std::string::npos) << log;
  EXPECT_NE(log.find("phone$ sudo /var/jb/usr/bin/dpkg -i"), std::string::npos) << log;
}

TEST_F(InstallDevice, SaysWhenThePreinstRefusedThePackage) {
  auto result = installOn({.rootUser = true, .preinstRefuses = true});
  EXPECT_EQ(result.exitCode, 1);
  EXPECT_NE(result.output.find("pre-installation script subprocess returned error"), std::string::npos)
      << result.output;
  EXPECT_NE(result.output.find("phone.local refused the package: its preinst stopped the installation"),
            std::string::npos) << result.output;
  EXPECT_NE(result.output.find("no arm64e slice"), std::string::npos) << result.output;
}

TEST_F(InstallDevice, StopsWhenThePhoneCannotBeReached) {
  auto result = installOn({.reachable = false}, "phone.local");
  EXPECT_EQ(result.exitCode, 1);
  EXPECT_NE(result.output.find("cannot reach phone.local over ssh"), std::string::npos) << result.output;
  EXPECT_EQ(calls().find("scp "), std::string::npos) << "copied to an unreachable phone";
}

TEST_F(InstallDevice, DryRunPrintsTheCommandsWithoutRunningThem) {
  auto result = installOn({}, "mobile@phone.local", {}, false, {"--dry-run"});
  EXPECT_EQ(result.exitCode, 0) << result.output;
  EXPECT_EQ(calls(), "") << "ran a command";
  EXPECT_NE(result.output.find("scp -q -O"), std::string::npos) << result.output;
  EXPECT_NE(result.output.find("/var/jb/usr/bin/dpkg"), std::string::npos) << result.output;
  EXPECT_NE(result.output.find("-O exit"), std::string::npos) << result.output;
}

TEST_F(InstallDevice, StopsWithoutABuiltPackage) {
  auto result = run({INSTALL_DEVICE, "--deb", (tools_ / "none.deb").string(), "phone.local"},
                    {fake::pathFirst(tools_ / "bin")});
  EXPECT_EQ(result.exitCode, 1);
  EXPECT_NE(result.output.find("build it first with package/build-deb"), std::string::npos) << result.output;
  EXPECT_EQ(calls(), "") << "contacted the phone without a package";
}

}  // namespace
