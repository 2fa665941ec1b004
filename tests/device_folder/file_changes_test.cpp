// Changing files below the simulated device's folder: links are refused on the way, replaced or
// removed as the last part, and never followed by a removal.
#include <gtest/gtest.h>

#include <cerrno>
#include <filesystem>
#include <string>

#include "host/device.h"
#include "host/file_changes.h"
#include "support/temp_dir.h"

namespace fs = std::filesystem;
using testing_support::TempDir;
using testing_support::readFile;
using testing_support::writeFile;

namespace {

struct Device {
  TempDir dir;
  fs::path root = dir / "root", outside = dir / "outside";
  Device() {
    fs::create_directories(root);
    writeFile(outside / "kept", "kept");
    host::device::setRoot(root.string());
  }
};

}  // namespace

TEST(DeviceFileChanges, FoldersAreMadeOnTheWayAndWhatIsInTheWayIsNamed) {
  Device device;
  std::string error;
  ASSERT_TRUE(host::files::replaceFile((device.root / "a/b/c.txt").string(), "text", 0600, false, &error)) << error;
  EXPECT_EQ(readFile(device.root / "a/b/c.txt"), "text");
  EXPECT_EQ(fs::status(device.root / "a/b/c.txt").permissions(), fs::perms::owner_read | fs::perms::owner_write);

  EXPECT_FALSE(host::files::replaceFile((device.root / "a/b/c.txt/d").string(), "x", 0644, false, &error));
  EXPECT_EQ(error, (device.root / "a/b/c.txt").string() + " is not a folder");
  fs::create_directory_symlink(device.outside, device.root / "a/link");
  EXPECT_FALSE(host::files::openFolder((device.root / "a/link/new").string(), true, &error));
  EXPECT_EQ(errno, ELOOP);
  EXPECT_NE(error.find((device.root / "a/link").string() + " is a symbolic link"), std::string::npos) << error;
  EXPECT_FALSE(fs::exists(device.outside / "new"));
}

TEST(DeviceFileChanges, ARemovalTakesLinksAwayAndNeverWhatTheyPointTo) {
  Device device;
  fs::create_directories(device.root / "bundle/inner");
  fs::create_directory_symlink(device.outside, device.root / "bundle/inner/out");
  fs::create_symlink(device.outside / "kept", device.root / "file-link");
  std::string error;
  EXPECT_TRUE(host::files::removeEntry((device.root / "bundle").string(), true, &error)) << error;
  EXPECT_TRUE(host::files::removeEntry((device.root / "file-link").string(), false, &error)) << error;
  EXPECT_TRUE(host::files::removeEntry((device.root / "never/there").string(), false, &error)) << error;
  EXPECT_FALSE(fs::exists(device.root / "bundle"));
  EXPECT_FALSE(fs::is_symlink(device.root / "file-link"));
  EXPECT_EQ(readFile(device.outside / "kept"), "kept");
}
