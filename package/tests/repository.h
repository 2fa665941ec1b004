// Package repositories made by package/make-repo for the tests: the device build's package
// published once per test process, and packages made from it for other cases.
#pragma once

#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "support/run.h"
#include "support/temp_dir.h"

namespace repository {

inline const std::string kBaseUrl = "https://repo.example.invalid/ravelo/";
inline const std::string kPackage = "xyz.dorvu.ravelo";

// Runs make-repo with `arguments` (then --base-url and OUTDIR), with this build's ravelo-sim and
// macho-slices.
testing_support::RunResult makeRepo(const std::filesystem::path& outdir, const std::vector<std::string>& arguments);

// The device build's package published into a fresh repository, once per test process.
struct Published {
  testing_support::TempDir dir;
  testing_support::RunResult made;
  std::filesystem::path root() const { return dir / "repo"; }
  // The file a URL under kBaseUrl names in the repository ("" for another URL).
  std::filesystem::path fileAt(const std::string& url) const;
};
const Published& devicePackage();

// `deb` unpacked into a folder, changed there by `edit`, and packed again as `out`.
void repack(const std::filesystem::path& deb, const std::filesystem::path& out,
            const std::function<void(const std::filesystem::path& root)>& edit);

// The slices of the device build's binaries, by architecture name ("arm64", "arm64e").
std::vector<std::string> deviceSlices();

}  // namespace repository
