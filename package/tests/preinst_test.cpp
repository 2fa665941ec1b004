// The package's preinst, as build-deb writes it for the slices it packs, run as the jailbreak's dpkg
// runs it: executed by its "#!" line inside a rootless device's file system (no /bin/sh), whose CPU
// a stand-in for the jailbreak's sysctl reports.
#include <filesystem>
#include <memory>
#include <string>

#include "device_build.h"
#include "rootless_device.h"
#include "support/run.h"
#include "support/temp_dir.h"
#include "support/synthetic_macho.h"

namespace fs = std::filesystem;
using testing_support::lines;
using testing_support::run;
using testing_support::RunResult;
using testing_support::TempDir;
using testing_support::writeFile;

namespace {

// A package packed by build-deb from binaries with these slices (synthetic ones: only their slices
// matter here), with its control files extracted.
struct Package {
  TempDir dir;
  std::string buildOutput;
  fs::path preinst() const { return dir / "control/preinst"; }
};

std::unique_ptr<Package> pack(const std::string& binary) {
  auto package = std::make_unique<Package>();
  const TempDir& dir = package->dir;
  writeFile(dir / "device/Ravelo.dylib", binary);
  writeFile(dir / "device/RaveloPrefs", binary);
  auto built = run({BUILD_DEB, "--quiet", "--device", (dir / "device").string(), "--sounds", SOUNDS_DIR, "--out",
                    (dir / "out").string()},
                   {"SOURCE_DATE_EPOCH=1700000000", "MACHO_SLICES=" MACHO_SLICES});
  EXPECT_EQ(built.exitCode, 0) << built.output;
  package->buildOutput = built.output;
  auto extracted = run({DPKG_DEB, "--control", lines(built.output).back(), (dir / "control").string()});
  EXPECT_EQ(extracted.exitCode, 0) << extracted.output;
  return package;
}

// Each packed once per process, when first needed.
const Package& arm64Only() {
  static std::unique_ptr<Package> package = pack(synthetic::thin(synthetic::kArm64, 0));
  return *package;
}
const Package& universal() {
  static std::unique_ptr<Package> package =
      pack(synthetic::universal({{synthetic::kArm64, 0}, {synthetic::kArm64, synthetic::kArm64e}}));
  return *package;
}

class Preinst : public testing::Test {
 protected:
  void SetUp() override {
    SKIP_WITHOUT_DEVICE_BUILD();
    static const std::string cannotRun = RootlessDevice(nullptr).cannotRun();
    if (!cannotRun.empty()) GTEST_SKIP() << cannotRun;
  }

  // Runs the package's preinst for a fresh install on a rootless device whose sysctl answers
  // `cpuSubtype` for hw.cpusubtype, or that has no sysctl (nullptr).
  RunResult install(const Package& package, const char* cpuSubtype) {
    return RootlessDevice(cpuSubtype).runMaintainerScript(package.preinst(), "install");
  }
  // The same, with another sysctl at `otherPath` answering `otherSubtype`.
  RunResult install(const Package& package, const char* cpuSubtype, const std::string& otherPath,
                    const char* otherSubtype) {
    RootlessDevice device(cpuSubtype);
    device.placeSysctl(otherPath, otherSubtype);
    return device.runMaintainerScript(package.preinst(), "install");
  }
};

TEST_F(Preinst, RefusesAnArm64eDeviceWhenThePackageHasNoArm64eSlice) {
  auto result = install(arm64Only(), "2");
  EXPECT_NE(result.exitCode, 0);
  EXPECT_NE(result.output.find("Ravelo was not installed"), std::string::npos) << result.output;
  EXPECT_NE(result.output.find("A12 chip or later"), std::string::npos) << result.output;
  EXPECT_NE(result.output.find("A11 and older"), std::string::npos) << result.output;
  EXPECT_NE(arm64Only().buildOutput.find("slices: arm64 only"), std::string::npos) << arm64Only().buildOutput;
}

TEST_F(Preinst, AsksTheJailbreaksSysctlBeforeAnotherFirstOnPath) {
  auto result = install(arm64Only(), "2", "/usr/bin/sysctl", "1");
  EXPECT_NE(result.exitCode, 0) << "a sysctl found through PATH answered";
  EXPECT_NE(result.output.find("Ravelo was not installed"), std::string::npos) << result.output;
}

TEST_F(Preinst, AsksTheSystemsSysctlWhereTheJailbreakHasNone) {
  auto result = install(arm64Only(), nullptr, "/usr/sbin/sysctl", "2");
  EXPECT_NE(result.exitCode, 0);
  EXPECT_NE(result.output.find("A12 chip or later"), std::string::npos) << result.output;
}

TEST_F(Preinst, InstallsAnArm64OnlyPackageOnAnArm64Device) {
  auto result = install(arm64Only(), "1");
  EXPECT_EQ(result.exitCode, 0) << result.output;
  EXPECT_EQ(result.output, "");
}

TEST_F(Preinst, InstallsAPackageWithBothSlicesOnAnArm64eDevice) {
  auto result = install(universal(), "2");
  EXPECT_EQ(result.exitCode, 0) << result.output;
  EXPECT_NE(universal().buildOutput.find("slices: arm64 + arm64e"), std::string::npos) << universal().buildOutput;
}

TEST_F(Preinst, InstallsWhereThereIsNoSysctlToAsk) {
  auto result = install(arm64Only(), nullptr);
  EXPECT_EQ(result.exitCode, 0) << result.output;
}

}  // namespace
