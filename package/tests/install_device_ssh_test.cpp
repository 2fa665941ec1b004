// install-device against real ssh servers, Debian's OpenSSH and Dropbear, on a fake jailbroken
// iPhone (package/tests/fake-phone): Debian's dpkg installs the package build-deb packed, with
// the real sudo, as the phone's would; each case on a fresh phone.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "fake_phone.h"
#include "support/run.h"
#include "support/temp_dir.h"

namespace fs = std::filesystem;
using testing_support::contains;
using testing_support::run;
using testing_support::RunResult;
using testing_support::TempDir;
using testing_support::writeFile;

namespace {

const std::string kPackage = "xyz.dorvu.ravelo";
const std::string kTweakOnPhone = "/var/jb/Library/MobileSubstrate/DynamicLibraries/Ravelo.dylib";
const std::string kPasswordPrompt = "password for mobile on";

// The packages build-deb packed from synthetic binaries: arm64 and arm64e, or arm64 alone.
const fs::path kUniversal = UNIVERSAL_DEB;
const fs::path kArm64Only = ARM64_DEB;

// A package of the same name, 16 MiB: over the slow link of fake-phone --cut-copy its copy takes
// over a second, and is caught half-way.
const fs::path& largePackage() {
  static TempDir dir;
  static const fs::path deb = [] {
    writeFile(dir / "stage/DEBIAN/control",
              "Package: " + kPackage + "\nVersion: " PACKAGE_VERSION "\nArchitecture: iphoneos-arm64\n"
              "Maintainer: nobody <nobody@example.com>\nDescription: large\n");
    writeFile(dir / "stage/var/jb/Library/large", "");
    fs::resize_file(dir / "stage/var/jb/Library/large", 16 << 20);
    fs::path out = dir / (kPackage + "_" PACKAGE_VERSION "_iphoneos-arm64.deb");
    RunResult built = run({"/usr/bin/dpkg-deb", "-Znone", "--root-owner-group", "--build",
                           (dir / "stage").string(), out.string()});
    EXPECT_EQ(built.exitCode, 0) << built.output;
    return out;
  }();
  return deb;
}

class InstallDeviceOverSsh : public testing::TestWithParam<SshServer> {
 protected:
  void SetUp() override {
    if (!FakePhone::cannotRun().empty()) GTEST_SKIP() << FakePhone::cannotRun();
  }

  // install-device's command line for `deb` (default: the universal build) to `target` on this
  // case's server.
  std::vector<std::string> installDevice(const std::string& target, const fs::path& deb = kUniversal) const {
    return {INSTALL_DEVICE, "--deb", deb.string(), "--port", GetParam().port, target};
  }

  // Runs install-device to `target` on a phone made with `options`.
  RunResult install(FakePhone& phone, const std::string& target, const std::vector<std::string>& options = {},
                    const fs::path& deb = kUniversal) {
    return phone.run(options, installDevice(target, deb));
  }

  static void expectInstalled(const FakePhone& phone, const RunResult& result) {
    EXPECT_EQ(result.exitCode, 0) << result.output;
    EXPECT_TRUE(contains(result, "install-device: installed xyz.dorvu.ravelo_" PACKAGE_VERSION "_iphoneos-arm64.deb")) << result.output;
    EXPECT_EQ(phone.packageState(kPackage), "ii");
    EXPECT_EQ(phone.installedVersion(kPackage), PACKAGE_VERSION);
    EXPECT_TRUE(fs::exists(phone.here(kTweakOnPhone))) << "not unpacked below the jailbreak's root";
    EXPECT_EQ(phone.respringLog(), "sbreload by root\n");
    EXPECT_EQ(phone.leftInTemporaryFolders(), std::vector<std::string>{});
  }

  static void expectNothingInstalled(const FakePhone& phone, const RunResult& result) {
    EXPECT_EQ(result.exitCode, 1) << result.output;
    EXPECT_NE(phone.packageState(kPackage), "ii") << result.output;
    EXPECT_FALSE(fs::exists(phone.here(kTweakOnPhone)));
    EXPECT_EQ(phone.respringLog(), "");
    EXPECT_EQ(phone.leftInTemporaryFolders(), std::vector<std::string>{});
  }
};

TEST_P(InstallDeviceOverSsh, InstallsAsRootAndResprings) {
  FakePhone phone;
  auto result = install(phone, "root@127.0.0.1");
  expectInstalled(phone, result);
  EXPECT_TRUE(contains(result, "Setting up xyz.dorvu.ravelo")) << "dpkg's output not shown: " << result.output;
}

TEST_P(InstallDeviceOverSsh, InstallsAsMobileThroughSudo) {
  FakePhone phone;
  expectInstalled(phone, install(phone, "mobile@127.0.0.1"));
}

TEST_P(InstallDeviceOverSsh, WithoutATerminalSaysThatSudoNeedsTheLoginUsersPassword) {
  FakePhone phone;
  // The user comes from ~/.ssh/config: the message names the one the phone says is logged in.
  auto result = phone.run({"--sudo", "password"},
                          {INSTALL_DEVICE, "--deb", kUniversal.string(), std::string("mobile-at-") + GetParam().port});
  expectNothingInstalled(phone, result);
  EXPECT_TRUE(contains(result, "sudo on mobile-at-" + std::string(GetParam().port) +
                                   " needs mobile's password, and with no terminal here")) << result.output;
}

TEST_P(InstallDeviceOverSsh, InATerminalAsksForTheSudoPasswordOnce) {
  FakePhone phone;
  auto typed = phone.runInTerminal({"--sudo", "password"}, installDevice("mobile@127.0.0.1"), kPasswordPrompt, {"alpine"});
  expectInstalled(phone, typed.result);
  EXPECT_EQ(typed.prompts, 1) << typed.result.output;
  EXPECT_FALSE(contains(typed.result, "alpine")) << "the password was shown";
}

TEST_P(InstallDeviceOverSsh, NamesAWrongSudoPasswordAsSuch) {
  FakePhone phone;
  auto typed = phone.runInTerminal({"--sudo", "password"}, installDevice("mobile@127.0.0.1"), kPasswordPrompt,
                                   {"wrong", "Alpine", "alpine "});
  expectNothingInstalled(phone, typed.result);
  EXPECT_EQ(typed.prompts, 3) << typed.result.output;
  EXPECT_TRUE(contains(typed.result, "did not accept the password for mobile: wrong password, three times"))
      << typed.result.output;
}

TEST_P(InstallDeviceOverSsh, NothingLoggedInAsMobileCanSwapThePackage) {
  // Logged in as mobile the package is installed through sudo, as root the attacker cannot even
  // read the copy; either way only the package built here is installed.
  for (const char* login : {"mobile@127.0.0.1", "root@127.0.0.1"}) {
    SCOPED_TRACE(login);
    FakePhone phone;
    auto result = install(phone, login, {"--attacker"});
    EXPECT_FALSE(fs::exists(phone.here("/var/jb/pwned"))) << "the attacker's package ran as root";
    EXPECT_EQ(testing_support::readFile(phone.folder() / "attacker.log"), "") << "the attacker wrote into a copy";
    EXPECT_EQ(result.exitCode, 0) << result.output;
    EXPECT_EQ(phone.installedVersion(kPackage), PACKAGE_VERSION);
    // The file it planted under the name older versions used (fake-phone's) stays its own, untouched.
    std::vector<std::string> planted{"/var/tmp/xyz.dorvu.ravelo_1.0.0_iphoneos-arm64.deb"};
    EXPECT_EQ(phone.leftInTemporaryFolders(), planted);
  }
}

TEST_P(InstallDeviceOverSsh, ACopyCutOffHalfWayIsNeverInstalledAndLeavesNothing) {
  FakePhone phone;
  auto result = install(phone, "mobile@127.0.0.1", {"--cut-copy"}, largePackage());
  expectNothingInstalled(phone, result);
  EXPECT_TRUE(contains(result, "lost the connection to 127.0.0.1 before dpkg started there: nothing was installed"))
      << result.output;
}

TEST_P(InstallDeviceOverSsh, APackageThatChangedSinceItWasMeasuredIsRefused) {
  // As when build-deb rewrites it meanwhile: the phone receives bytes other than those measured.
  FakePhone phone;
  TempDir here;
  fs::path deb = here / kUniversal.filename().string();
  fs::copy_file(kUniversal, deb);
  auto result = install(phone, "root@127.0.0.1", {"--change-package", deb.string()}, deb);
  expectNothingInstalled(phone, result);
  EXPECT_TRUE(contains(result, "the copy on 127.0.0.1 differs from")) << result.output;
}

TEST_P(InstallDeviceOverSsh, AConnectionLostWhileDpkgRunsLetsItFinishAndSaysHowToCheck) {
  for (const char* login : {"mobile@127.0.0.1", "root@127.0.0.1"}) {
    SCOPED_TRACE(login);
    FakePhone phone;
    auto result = install(phone, login, {"--drop-in-dpkg"});
    EXPECT_EQ(result.exitCode, 1);
    EXPECT_TRUE(contains(result, "lost the connection to 127.0.0.1 after dpkg started there")) << result.output;
    EXPECT_TRUE(contains(result, "/var/jb/usr/bin/dpkg -s xyz.dorvu.ravelo")) << result.output;
    EXPECT_TRUE(contains(result, "/var/jb/usr/bin/dpkg --configure -a")) << result.output;
    EXPECT_EQ(phone.packageState(kPackage), "ii");
    EXPECT_EQ(phone.respringLog(), "sbreload by root\n");
    EXPECT_EQ(phone.leftInTemporaryFolders(), std::vector<std::string>{});
  }
}

TEST_P(InstallDeviceOverSsh, TakesIpv6LiteralsWithAndWithoutBrackets) {
  for (const char* target : {"root@::1", "root@[::1]"}) {
    SCOPED_TRACE(target);
    FakePhone phone;
    expectInstalled(phone, install(phone, target));
  }
}

TEST_P(InstallDeviceOverSsh, OnFirstContactWithoutATerminalSaysHowToAcceptTheHostKey) {
  FakePhone phone;
  auto result = install(phone, "root@localhost");  // known here only as 127.0.0.1
  expectNothingInstalled(phone, result);
  std::string port = GetParam().port;
  EXPECT_TRUE(contains(result, "localhost's host key is not known here yet")) << result.output;
  EXPECT_TRUE(contains(result, "Run ssh -p " + port + " root@localhost once from a terminal")) << result.output;
  EXPECT_TRUE(contains(result, "ssh-keyscan -p " + port + " localhost >> ~/.ssh/known_hosts")) << result.output;
}

INSTANTIATE_TEST_SUITE_P(Servers, InstallDeviceOverSsh, testing::Values(kOpenSsh, kDropbear),
                         [](const testing::TestParamInfo<SshServer>& info) { return std::string(info.param.name); });

// What does not depend on the server: each case on one of them.
class InstallDeviceOnOnePhone : public InstallDeviceOverSsh {};

TEST_P(InstallDeviceOnOnePhone, RefusesTheArm64OnlyBuildOnAnArm64ePhoneThroughItsPreinst) {
  FakePhone phone;
  auto result = install(phone, "root@127.0.0.1", {"--cpu", "2"}, kArm64Only);
  expectNothingInstalled(phone, result);
  EXPECT_TRUE(contains(result, "Ravelo was not installed: this build cannot work on this iPhone")) << result.output;
  EXPECT_TRUE(contains(result, "127.0.0.1 refused the package: its preinst stopped the installation")) << result.output;
}

TEST_P(InstallDeviceOnOnePhone, SendsThePackageWithoutScpThroughTheSystemsCat) {
  FakePhone phone;
  expectInstalled(phone, install(phone, "mobile@127.0.0.1", {"--no-scp", "--no-jb-cat"}));
}

TEST_P(InstallDeviceOnOnePhone, KeepsItsControlSocketOutOfATmpdirThatSshWouldMisread) {
  for (const char* name : {"a b", "100%done"}) {
    SCOPED_TRACE(name);
    TempDir tmpdir;
    fs::create_directory(tmpdir / name);
    FakePhone phone;
    std::vector<std::string> command{"/usr/bin/env", "TMPDIR=" + (tmpdir / name).string()};
    for (const std::string& word : installDevice("root@127.0.0.1")) command.push_back(word);
    expectInstalled(phone, phone.run({}, command));
    EXPECT_TRUE(fs::is_empty(tmpdir / name)) << "left in TMPDIR";
  }
}

TEST_P(InstallDeviceOnOnePhone, TakesAPackagePathStartingWithADash) {
  FakePhone phone;
  TempDir here;
  fs::copy_file(kUniversal, here / "-ravelo.deb");
  auto result = phone.run({}, {"/bin/sh", "-c", "cd \"$0\" && exec \"$@\"", here.path().string(), INSTALL_DEVICE,
                               "--deb", "-ravelo.deb", "--port", GetParam().port, "root@127.0.0.1"});
  EXPECT_EQ(result.exitCode, 0) << result.output;
  EXPECT_EQ(phone.packageState(kPackage), "ii");
}

TEST_P(InstallDeviceOnOnePhone, SaysWhenNoServerAnswers) {
  FakePhone phone;
  auto result = phone.run({}, {INSTALL_DEVICE, "--deb", kUniversal.string(), "--port", "2999", "root@127.0.0.1"});
  expectNothingInstalled(phone, result);
  EXPECT_TRUE(contains(result, "cannot reach 127.0.0.1 over ssh")) << result.output;
}

INSTANTIATE_TEST_SUITE_P(Server, InstallDeviceOnOnePhone, testing::Values(kOpenSsh),
                         [](const testing::TestParamInfo<SshServer>& info) { return std::string(info.param.name); });

}  // namespace
