// The package repository make-repo makes, read by a real client: Debian's apt, with a private
// configuration and state, lists the package from a file: source and downloads it; and its index
// files, kept versions and refusals.
#include <filesystem>
#include <map>
#include <set>
#include <sstream>
#include <string>

#include "device_build.h"
#include "repository.h"
#include "support/run.h"
#include "support/temp_dir.h"
#include "support/synthetic_macho.h"

namespace fs = std::filesystem;
using repository::kBaseUrl;
using repository::kPackage;
using testing_support::lines;
using testing_support::readFile;
using testing_support::run;
using testing_support::RunResult;
using testing_support::TempDir;
using testing_support::writeFile;

namespace {

// apt on this machine, reading only its own configuration, sources and state (APT_CONFIG), never
// the machine's, with iphoneos-arm64 as its architecture.
class Apt {
 public:
  explicit Apt(const fs::path& repository) {
    for (const char* folder : {"state/lists/partial", "cache/archives/partial", "parts", "log"}) {
      fs::create_directories(dir_ / folder);
    }
    writeFile(dir_ / "status", "");
    writeFile(dir_ / "sources.list", "deb [trusted=yes] file:" + repository.string() + " ./\n");
    std::string d = dir_.path().string();
    writeFile(dir_ / "apt.conf",
              "Dir::Etc::Parts \"" + d + "/parts\";\nDir::Etc::Main \"/dev/null\";\n"
              "Dir::Etc::SourceList \"" + d + "/sources.list\";\nDir::Etc::SourceParts \"" + d + "/parts\";\n"
              "Dir::Etc::Preferences \"/dev/null\";\nDir::Etc::PreferencesParts \"" + d + "/parts\";\n"
              "Dir::State \"" + d + "/state\";\nDir::State::status \"" + d + "/status\";\n"
              "Dir::Cache \"" + d + "/cache\";\nDir::Log \"" + d + "/log\";\n"
              "APT::Architecture \"iphoneos-arm64\";\nAPT::Architectures { \"iphoneos-arm64\"; };\n"
              "Acquire::Languages \"none\";\nAPT::Sandbox::User \"root\";\nDebug::NoLocking \"true\";\n");
  }
  RunResult operator()(const std::vector<std::string>& command, const fs::path& in = {}) const {
    std::vector<std::string> argv{"/bin/sh", "-c", "cd \"$0\" && exec \"$@\"",
                                  (in.empty() ? dir_.path() : in).string()};
    argv.insert(argv.end(), command.begin(), command.end());
    return run(argv, {"APT_CONFIG=" + (dir_ / "apt.conf").string()});
  }

 private:
  TempDir dir_;
};

std::map<std::string, std::string> fieldsOf(const std::string& stanza) {
  std::map<std::string, std::string> fields;
  for (const std::string& line : lines(stanza)) {
    size_t colon = line.find(": ");
    if (!line.empty() && line[0] != ' ' && colon != std::string::npos) fields[line.substr(0, colon)] = line.substr(colon + 2);
  }
  return fields;
}

std::string firstWordOf(const RunResult& result) { return result.output.substr(0, result.output.find(' ')); }

class Repository : public testing::Test {
 protected:
  void SetUp() override {
    SKIP_WITHOUT_DEVICE_BUILD();
    ASSERT_EQ(published().made.exitCode, 0) << published().made.output;
  }
  const repository::Published& published() const { return repository::devicePackage(); }
};

TEST_F(Repository, AptListsThePackageWithItsFieldsAndDownloadsTheDebWhoseChecksumMatches) {
  Apt apt(published().root());
  auto updated = apt({"/usr/bin/apt-get", "update"});
  ASSERT_EQ(updated.exitCode, 0) << updated.output;
  EXPECT_EQ(updated.output.find("W: "), std::string::npos) << updated.output;

  auto shown = apt({"/usr/bin/apt-cache", "show", kPackage});
  ASSERT_EQ(shown.exitCode, 0) << shown.output;
  auto fields = fieldsOf(shown.output);
  std::string depictions = kBaseUrl + "depictions/" + kPackage + "/";
  EXPECT_EQ(fields["Name"], "Ravelo");
  EXPECT_EQ(fields["Version"], "1.0.1");
  EXPECT_EQ(fields["Architecture"], "iphoneos-arm64");
  EXPECT_EQ(fields["Author"], "Dorvu <ravelo@dorvu.xyz>");
  EXPECT_EQ(fields["Maintainer"], "Dorvu <ravelo@dorvu.xyz>");
  EXPECT_EQ(fields["Section"], "Tweaks");
  EXPECT_EQ(fields["Icon"], depictions + "icon.png");
  EXPECT_EQ(fields["Depiction"], depictions + "index.html");
  EXPECT_EQ(fields["SileoDepiction"], depictions + "depiction.json");
  EXPECT_EQ(fields.count("Homepage"), 0u);
  for (const char* field : {"Icon", "Depiction", "SileoDepiction"}) {
    EXPECT_TRUE(fs::is_regular_file(published().fileAt(fields[field]))) << field << ": " << fields[field];
  }

  // apt checks the download against the index's SHA-256 and fails on a mismatch.
  TempDir downloads;
  auto downloaded = apt({"/usr/bin/apt-get", "download", kPackage}, downloads.path());
  ASSERT_EQ(downloaded.exitCode, 0) << downloaded.output;
  fs::path deb = downloads / "xyz.dorvu.ravelo_1.0.1_iphoneos-arm64.deb";
  ASSERT_TRUE(fs::exists(deb)) << downloaded.output;
  EXPECT_TRUE(readFile(deb) == readFile(DEVICE_DEB)) << "not the package build-deb made";
  auto read = run({DPKG_DEB, "--field", deb.string(), "Package"});
  EXPECT_EQ(read.exitCode, 0) << read.output;
  EXPECT_EQ(read.output, kPackage + "\n");
}

TEST_F(Repository, ReleaseGivesEachIndexsSizeAndSumsAndEveryCompressedCopyHoldsThePackagesFile) {
  const fs::path root = published().root();
  const std::map<std::string, std::string> sum{{"MD5Sum", "/usr/bin/md5sum"}, {"SHA1", "/usr/bin/sha1sum"},
                                               {"SHA256", "/usr/bin/sha256sum"}};
  std::map<std::string, std::set<std::string>> listed;  // section -> files
  std::string section;
  for (const std::string& line : lines(readFile(root / "Release"))) {
    if (!line.empty() && line[0] != ' ') {
      section = line.substr(0, line.find(':'));
      continue;
    }
    if (!sum.count(section)) continue;
    std::istringstream words(line);
    std::string hash, name;
    uintmax_t size = 0;
    words >> hash >> size >> name;
    listed[section].insert(name);
    ASSERT_TRUE(fs::exists(root / name)) << name;
    EXPECT_EQ(size, fs::file_size(root / name)) << name;
    EXPECT_EQ(hash, firstWordOf(run({sum.at(section), (root / name).string()}))) << section << " " << name;
  }
  const std::set<std::string> indexes{"Packages", "Packages.gz", "Packages.bz2", "Packages.xz", "Packages.zst"};
  for (const auto& [name, tool] : sum) EXPECT_EQ(listed[name], indexes) << name;

  std::string packages = readFile(root / "Packages");
  for (const auto& [file, tool] : std::map<std::string, std::string>{{"Packages.gz", "/usr/bin/gzip"},
                                                                      {"Packages.bz2", "/usr/bin/bzip2"},
                                                                      {"Packages.xz", "/usr/bin/xz"},
                                                                      {"Packages.zst", "/usr/bin/zstd"}}) {
    auto unpacked = run({tool, "-dc", (root / file).string()});
    EXPECT_EQ(unpacked.exitCode, 0) << file;
    EXPECT_TRUE(unpacked.output == packages) << file << " does not hold Packages";
  }
}

TEST_F(Repository, ANewVersionIsListedBesideTheEarlierOnesUnlessLatestOnly) {
  // Version 1.0.2, the universal build: the same package with arm64 + arm64e binaries.
  TempDir work;
  fs::path newer = work / "xyz.dorvu.ravelo_1.0.2_iphoneos-arm64.deb";
  repository::repack(DEVICE_DEB, newer, [](const fs::path& root) {
    std::string control = readFile(root / "DEBIAN/control");
    control.replace(control.find("Version: 1.0.1"), 14, "Version: 1.0.2");
    writeFile(root / "DEBIAN/control", control);
    std::string universal = synthetic::universal({{synthetic::kArm64, 0}, {synthetic::kArm64, synthetic::kArm64e}});
    writeFile(root / "var/jb/Library/MobileSubstrate/DynamicLibraries/Ravelo.dylib", universal);
    writeFile(root / "var/jb/Library/PreferenceBundles/RaveloPrefs.bundle/RaveloPrefs", universal);
  });
  fs::path changelog = work / "CHANGELOG.md";
  writeFile(changelog, "## 1.0.2 — 2024-06-01\n\n- Every iPhone: arm64e.\n\n" + readFile(RAVELO_CHANGELOG));
  fs::path root = work / "repo";
  fs::copy(published().root(), root, fs::copy_options::recursive);

  auto kept = repository::makeRepo(root, {"--deb", newer.string(), "--changelog", changelog.string()});
  ASSERT_EQ(kept.exitCode, 0) << kept.output;
  std::string packages = readFile(root / "Packages");
  EXPECT_NE(packages.find("Version: 1.0.1"), std::string::npos) << packages;
  EXPECT_NE(packages.find("Version: 1.0.2"), std::string::npos) << packages;
  EXPECT_LT(packages.find("Version: 1.0.1"), packages.find("Version: 1.0.2")) << "not oldest first";
  std::string depiction = readFile(root / "depictions" / kPackage / "depiction.json");
  EXPECT_NE(depiction.find("\"text\": \"arm64 and arm64e: every iPhone"), std::string::npos) << depiction;
  EXPECT_NE(depiction.find("\"title\": \"1.0.2 (2024-06-01)\""), std::string::npos) << depiction;
  EXPECT_LT(depiction.find("\"title\": \"1.0.2"), depiction.find("\"title\": \"1.0.1")) << "not newest first";

  auto latest = repository::makeRepo(root, {"--deb", newer.string(), "--changelog", changelog.string(), "--latest-only"});
  ASSERT_EQ(latest.exitCode, 0) << latest.output;
  packages = readFile(root / "Packages");
  EXPECT_EQ(packages.find("Version: 1.0.1"), std::string::npos) << packages;
  EXPECT_NE(packages.find("Version: 1.0.2"), std::string::npos) << packages;
  EXPECT_EQ(std::distance(fs::directory_iterator(root / "pool"), fs::directory_iterator()), 1);
}

TEST_F(Repository, SaysWhatIsWrongInsteadOfPublishing) {
  TempDir work;
  fs::path root = work / "repo";
  auto missing = repository::makeRepo(root, {"--deb", (work / "none.deb").string()});
  EXPECT_EQ(missing.exitCode, 1);
  EXPECT_NE(missing.output.find("no package at"), std::string::npos) << missing.output;

  writeFile(work / "CHANGELOG.md", "## 0.9\n\n- Before.\n");
  auto unlisted = repository::makeRepo(root, {"--deb", DEVICE_DEB, "--changelog", (work / "CHANGELOG.md").string()});
  EXPECT_EQ(unlisted.exitCode, 1);
  EXPECT_NE(unlisted.output.find("has no entry for version 1.0.1"), std::string::npos) << unlisted.output;
  EXPECT_FALSE(fs::exists(root / "pool")) << "published without a changelog entry";

  auto badUrl = run({MAKE_REPO, "--deb", DEVICE_DEB, "--base-url", "repo.example.invalid", root.string()});
  EXPECT_EQ(badUrl.exitCode, 2);
  EXPECT_NE(badUrl.output.find("--base-url must be an http(s):// or file: URL"), std::string::npos) << badUrl.output;

  auto help = run({MAKE_REPO, "--help"});
  EXPECT_EQ(help.exitCode, 0);
  EXPECT_NE(help.output.find("--latest-only"), std::string::npos) << help.output;
}

// A refusal: status 2, make-repo's own message naming the value, no traceback, nothing published.
void expectRefused(const RunResult& result, const std::string& named, const fs::path& root, const std::string& what) {
  EXPECT_EQ(result.exitCode, 2) << what << "\n" << result.output;
  EXPECT_NE(result.output.find("make-repo: error: " + named), std::string::npos) << what << "\n" << result.output;
  EXPECT_EQ(result.output.find("Traceback"), std::string::npos) << what << "\n" << result.output;
  EXPECT_FALSE(fs::exists(root / "Packages")) << what;
}

TEST_F(Repository, RefusesEveryLineBreakOrControlCharacterInEveryValueThatReachesTheIndex) {
  // What Python's str.splitlines() or dpkg ends a line at, and other control characters: each through
  // --homepage; every value checked the same way with two of them (VT, and U+2028) below.
  const std::vector<std::string> breaks{"\n", "\r", "\v", "\f", "\x1c", "\x1d", "\x1e", "\xC2\x85", "\xE2\x80\xA8",
                                        "\xE2\x80\xA9", "\t", "\x01", "\x7f"};
  TempDir work;
  fs::path root = work / "repo";
  for (const std::string& b : breaks) {
    expectRefused(run({MAKE_REPO, "--deb", DEVICE_DEB, "--base-url", kBaseUrl, "--homepage",
                       "https://a.example/" + b + "Pre-Depends: evil-pkg", root.string()}),
                  "--homepage", root, "--homepage" + testing::PrintToString(b));
  }
  for (const std::string b : {"\v", "\xE2\x80\xA8"}) {
    expectRefused(run({MAKE_REPO, "--deb", DEVICE_DEB, "--base-url", "https://a.example/" + b + "Conflicts: apt", root.string()}),
                  "--base-url", root, "--base-url" + testing::PrintToString(b));
    // Without --base-url the folder's own path makes the URLs.
    fs::path folder = work / ("repo" + b + "Essential: yes");
    expectRefused(run({MAKE_REPO, "--deb", DEVICE_DEB, folder.string()}), "the output folder", folder,
                  "OUTDIR" + testing::PrintToString(b));
  }
  // A field of the package itself, which dpkg-deb packs as it is.
  fs::path deb = work / "odd.deb";
  repository::repack(DEVICE_DEB, deb, [](const fs::path& unpacked) {
    std::string control = readFile(unpacked / "DEBIAN/control");
    control.replace(control.find("Maintainer: "), 12, "Maintainer: x\xE2\x80\xA8" "Conflicts: apt\xE2\x80\xA8");
    writeFile(unpacked / "DEBIAN/control", control);
  });
  expectRefused(repository::makeRepo(root, {"--deb", deb.string()}), deb.string() + ": the Maintainer field", root,
                "Maintainer");
  // Bytes that are not UTF-8: in an argument, and in the changelog.
  expectRefused(run({MAKE_REPO, "--deb", DEVICE_DEB, "--base-url", "https://a.example/\x85/", root.string()}),
                "--base-url is not valid UTF-8 (byte 0x85)", root, "raw 0x85");
  writeFile(work / "CHANGELOG.md", "## 1.0.0\n\n- caf\xE9\n");
  expectRefused(repository::makeRepo(root, {"--deb", DEVICE_DEB, "--changelog", (work / "CHANGELOG.md").string()}),
                "the changelog " + (work / "CHANGELOG.md").string() + " is not UTF-8 text: byte 0xe9", root, "changelog");
}

}  // namespace
