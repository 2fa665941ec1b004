#include "repository.h"

#include <gtest/gtest.h>

#include <memory>

#include "device_build.h"

namespace fs = std::filesystem;
using testing_support::run;
using testing_support::RunResult;

namespace repository {

RunResult makeRepo(const fs::path& outdir, const std::vector<std::string>& arguments) {
  std::vector<std::string> command{MAKE_REPO, "--sim", RAVELO_SIM};
  command.insert(command.end(), arguments.begin(), arguments.end());
  command.insert(command.end(), {"--base-url", kBaseUrl, outdir.string()});
  return run(command, {"MACHO_SLICES=" MACHO_SLICES, "SOURCE_DATE_EPOCH=1700000000"});
}

fs::path Published::fileAt(const std::string& url) const {
  if (url.rfind(kBaseUrl, 0) != 0) return {};
  return root() / url.substr(kBaseUrl.size());
}

const Published& devicePackage() {
  static std::unique_ptr<Published> published = [] {
    auto made = std::make_unique<Published>();
    made->made = makeRepo(made->root(), {"--deb", DEVICE_DEB});
    EXPECT_EQ(made->made.exitCode, 0) << made->made.output;
    return made;
  }();
  return *published;
}

void repack(const fs::path& deb, const fs::path& out, const std::function<void(const fs::path& root)>& edit) {
  testing_support::TempDir work;
  auto unpacked = run({DPKG_DEB, "--raw-extract", deb.string(), (work / "root").string()});
  ASSERT_EQ(unpacked.exitCode, 0) << unpacked.output;
  edit(work / "root");
  auto packed = run({DPKG_DEB, "--root-owner-group", "--build", (work / "root").string(), out.string()});
  ASSERT_EQ(packed.exitCode, 0) << packed.output;
}

std::vector<std::string> deviceSlices() {
  std::vector<std::string> slices;
  for (const macho::Image& image : device::slicesOf(device::kTweak)) slices.push_back(macho::architectureName(image));
  return slices;
}

}  // namespace repository
