// install-device's arguments and its own folder, with a stand-in ssh that records how it was
// called and answers as an unreachable phone. What it does with a phone is shown against real ssh
// servers (install_device_ssh_test.cpp).
#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "fake_tools.h"
#include "support/run.h"
#include "support/temp_dir.h"

namespace fs = std::filesystem;
using testing_support::contains;
using testing_support::readFile;
using testing_support::run;
using testing_support::RunResult;
using testing_support::TempDir;
using testing_support::writeFile;

namespace {

class InstallDevice : public testing::Test {
 protected:
  void SetUp() override {
    writeFile(deb_, "a package");
    fake::tool(tools_ / "bin", "ssh", "echo \"ssh $*\" >> '" + log_.string() + "'\nexit 255\n");
  }

  RunResult installDevice(const std::vector<std::string>& arguments, const std::vector<std::string>& env = {}) {
    std::vector<std::string> argv{INSTALL_DEVICE};
    argv.insert(argv.end(), arguments.begin(), arguments.end());
    std::vector<std::string> withPath = env;
    withPath.push_back(fake::pathFirst(tools_ / "bin"));
    return run(argv, withPath);
  }

  std::string calls() const { return fs::exists(log_) ? readFile(log_) : ""; }

  TempDir tools_;
  fs::path log_ = tools_ / "calls.log";
  fs::path deb_ = tools_ / "xyz.dorvu.ravelo_1.0.0_iphoneos-arm64.deb";
};

TEST_F(InstallDevice, DryRunPrintsTheCommandsWithoutRunningThem) {
  auto result = installDevice({"--dry-run", "--deb", deb_.string(), "--port", "2222", "mobile@[fe80::1%en0]"});
  EXPECT_EQ(result.exitCode, 0) << result.output;
  EXPECT_EQ(calls(), "") << "ran a command";
  EXPECT_TRUE(contains(result, "-p 2222 -- mobile@fe80::1%en0 ")) << "the brackets are not ssh's: " << result.output;
  EXPECT_TRUE(contains(result, "/var/jb/usr/bin/dpkg -i")) << result.output;
  EXPECT_TRUE(contains(result, "' sh 9 ")) << "the package's size and SHA-256 go with it: " << result.output;
  EXPECT_TRUE(contains(result, "< " + deb_.string())) << result.output;
  EXPECT_TRUE(contains(result, "-O exit")) << result.output;
}

TEST_F(InstallDevice, RunsNothingForAHostUserOrPortThatCouldBeReadAsSomethingElse) {
  fs::path marker = tools_ / "ran";
  std::string touch = "touch " + marker.string();
  for (const std::vector<std::string>& arguments : std::vector<std::vector<std::string>>{
           {"--", "-oProxyCommand=" + touch},
           {"root@-oProxyCommand=" + touch},
           {"-oProxyCommand=" + touch + "@phone.local"},
           {"phone.local;" + touch},
           {"$(" + touch + ")"},
           {"--port", "22;" + touch, "phone.local"},
           {"--port", "0", "phone.local"},
           {"--port", "65536", "phone.local"}}) {
    std::vector<std::string> withDeb{"--deb", deb_.string()};
    withDeb.insert(withDeb.end(), arguments.begin(), arguments.end());
    auto result = installDevice(withDeb);
    EXPECT_EQ(result.exitCode, 2) << arguments.back() << ": " << result.output;
  }
  EXPECT_EQ(calls(), "") << "ran ssh";
  EXPECT_FALSE(fs::exists(marker));
}

TEST_F(InstallDevice, KeepsItsSshControlSocketShortUnderA200CharacterTmpdirAndRemovesItsFolder) {
  fs::path tmpdir = tools_ / std::string(200 - tools_.path().string().size() - 1, 't');
  fs::create_directories(tmpdir);
  auto result = installDevice({"--deb", deb_.string(), "phone.local"}, {"TMPDIR=" + tmpdir.string()});
  EXPECT_EQ(result.exitCode, 1);
  EXPECT_TRUE(contains(result, "cannot reach phone.local over ssh")) << result.output;
  std::string log = calls();
  size_t at = log.find("ControlPath=");
  ASSERT_NE(at, std::string::npos) << log;
  std::string socket = log.substr(at + 12, log.find(' ', at) - at - 12);
  // ssh binds it with a 17-character suffix; macOS allows 104 bytes in a socket's path.
  EXPECT_LT(socket.size() + 17, 104u) << socket;
  EXPECT_FALSE(fs::exists(fs::path(socket).parent_path())) << "control folder left behind";
}

TEST_F(InstallDevice, StopsWithoutABuiltPackage) {
  auto result = installDevice({"--deb", (tools_ / "none.deb").string(), "phone.local"});
  EXPECT_EQ(result.exitCode, 1);
  EXPECT_TRUE(contains(result, "build it first with package/build-deb")) << result.output;
  EXPECT_EQ(calls(), "") << "contacted the phone without a package";
}

}  // namespace
