// install-device against stand-in ssh and scp that record what they are asked to run and answer as
// a phone would: reachable or not, installing or refusing the package.
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

class InstallDevice : public testing::Test {
 protected:
  // The phone answers the reachability probe with `probe` and the install step with `install` (ssh's
  // exit statuses: 255 unreachable; the install step's 4 is a refusal by the preinst).
  RunResult installOn(const std::string& target, int probe = 0, int install = 0) {
    std::string log = (tools_ / "calls.log").string();
    fake::tool(tools_.path(), "scp", "echo \"scp $*\" >> '" + log + "'\n");
    fake::tool(tools_.path(), "ssh",
               "echo \"ssh $*\" >> '" + log + "'\n"
               "case \"$*\" in\n"
               "  *'-O exit'*) exit 0 ;;\n"
               "  *'dpkg -i'*) exit " + std::to_string(install) + " ;;\n"
               "  *) exit " + std::to_string(probe) + " ;;\n"
               "esac\n");
    writeFile(deb_, "a package");
    return run({INSTALL_DEVICE, "--deb", deb_.string(), target}, {fake::pathFirst(tools_.path())});
  }
  std::string calls() const { return fs::exists(tools_ / "calls.log") ? readFile(tools_ / "calls.log") : ""; }

  TempDir tools_;
  fs::path deb_ = tools_ / "xyz.dorvu.ravelo_1.0.0_iphoneos-arm64.deb";
};

TEST_F(InstallDevice, CopiesThePackageInstallsItWithTheJailbreaksDpkgAndResprings) {
  auto result = installOn("mobile@phone.local");
  EXPECT_EQ(result.exitCode, 0) << result.output;
  EXPECT_NE(result.output.find("installed xyz.dorvu.ravelo_1.0.0_iphoneos-arm64.deb on phone.local"),
            std::string::npos) << result.output;
  std::string log = calls();
  EXPECT_NE(log.find("test -x /var/jb/usr/bin/dpkg"), std::string::npos) << log;
  EXPECT_NE(log.find(deb_.string() + " mobile@phone.local:/var/tmp/xyz.dorvu.ravelo_1.0.0_iphoneos-arm64.deb"),
            std::string::npos) << log;
  EXPECT_NE(log.find("ssh -t"), std::string::npos) << log;
  EXPECT_NE(log.find("/var/jb/bin/sh -c"), std::string::npos) << log;
  EXPECT_NE(log.find("$root dpkg -i \"$deb\""), std::string::npos) << log;
  EXPECT_NE(log.find("sbreload"), std::string::npos) << log;
  EXPECT_LT(log.find("scp "), log.find("dpkg -i")) << "installed before the copy";
}

TEST_F(InstallDevice, StopsWhenThePhoneCannotBeReached) {
  auto result = installOn("phone.local", 255);
  EXPECT_EQ(result.exitCode, 1);
  EXPECT_NE(result.output.find("cannot reach phone.local over ssh"), std::string::npos) << result.output;
  EXPECT_EQ(calls().find("scp "), std::string::npos) << "copied to an unreachable phone";
}

TEST_F(InstallDevice, SaysWhenThePreinstRefusedThePackage) {
  auto result = installOn("phone.local", 0, 4);
  EXPECT_EQ(result.exitCode, 1);
  EXPECT_NE(result.output.find("phone.local refused the package: its preinst stopped the installation"),
            std::string::npos) << result.output;
  EXPECT_NE(result.output.find("no arm64e slice"), std::string::npos) << result.output;
}

TEST_F(InstallDevice, StopsWithoutABuiltPackage) {
  auto result = run({INSTALL_DEVICE, "--deb", (tools_ / "none.deb").string(), "phone.local"},
                    {fake::pathFirst(tools_.path())});
  EXPECT_EQ(result.exitCode, 1);
  EXPECT_NE(result.output.find("build it first with package/build-deb"), std::string::npos) << result.output;
  EXPECT_EQ(calls(), "") << "contacted the phone without a package";
}

}  // namespace
