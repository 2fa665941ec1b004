#include <gtest/gtest.h>

#include <filesystem>

#include "support/run.h"
#include "support/temp_dir.h"

namespace fs = std::filesystem;
using testing_support::lines;
using testing_support::run;
using testing_support::TempDir;

namespace {

enum class Library { None, Full, PrefixOnly, PathsOnly };

// A deliverable installed in a fresh folder, with libroot.dylib (or not) where its run paths look.
class Deliverable {
 public:
  explicit Deliverable(Library library) {
    fs::copy_file(PROBE_PATH, dir_ / "probe");
    if (library != Library::None) {
      fs::path lib = dir_ / ".jbroot/usr/lib";
      fs::create_directories(lib);
      const char* built = library == Library::Full         ? LIBROOT_FULL
                          : library == Library::PrefixOnly ? LIBROOT_PREFIX_ONLY
                                                           : LIBROOT_PATHS_ONLY;
      fs::copy_file(built, lib / "libroot.dylib");
    }
  }
  std::vector<std::string> ask(std::vector<std::string> args, std::vector<std::string> env = {}) const {
    args.insert(args.begin(), (dir_ / "probe").string());
    std::string libraryPath = PLATFORM_LIB_DIR;  // the stand-in libSystem
#if defined(RAVELO_SANITIZE)
    // The sanitizer's dlopen hides the probe's run paths (see host/device.h); name the folder directly.
    libraryPath += ":" + (dir_ / ".jbroot/usr/lib").string();
#endif
    env.push_back("LD_LIBRARY_PATH=" + libraryPath);
    auto result = run(args, env);
    EXPECT_EQ(result.exitCode, 0) << result.output;
    return lines(result.output);
  }
  fs::path jbroot() const { return fs::canonical(dir_ / ".jbroot"); }

 private:
  TempDir dir_;
};

using Lines = std::vector<std::string>;

TEST(ResolverWithoutLibrary, JoinsAbsolutePathsBelowVarJb) {
  Deliverable d(Library::None);
  EXPECT_EQ(d.ask({"jbroot", "/Library/Sounds/"}), Lines{"/var/jb/Library/Sounds/"});
  EXPECT_EQ(d.ask({"jbroot", "relative/x"}), Lines{"relative/x"});
  EXPECT_EQ(d.ask({"jbroot", "-null"}), Lines{"(null)"});
}

TEST(ResolverWithoutLibrary, UsesBuiltInPrefixes) {
  Deliverable d(Library::None);
  EXPECT_EQ(d.ask({"prefixes"}), (Lines{"", "/var/jb", "00000000-0000-0000-0000-000000000000"}));
}

TEST(ResolverWithoutLibrary, RootfsPathStripsThePlainBytePrefix) {
  Deliverable d(Library::None);
  EXPECT_EQ(d.ask({"rootfs", "/var/jb/usr/bin"}), Lines{"/usr/bin"});
  EXPECT_EQ(d.ask({"rootfs", "/usr/bin"}), Lines{"/usr/bin"});
  EXPECT_EQ(d.ask({"rootfs", "/var/jbx"}), Lines{"x"});  // no check that a '/' follows the prefix
  EXPECT_EQ(d.ask({"rootfs", "rel/path"}), Lines{"rel/path"});
  EXPECT_EQ(d.ask({"rootfs", "-null"}), Lines{"(null)"});
}

TEST(ResolverWithoutLibrary, TruncatesLongJoinsTo1023Bytes) {
  Deliverable d(Library::None);
  // "/var/jb" (7) + "/" + 1015 'a' = 1023 bytes fits exactly; one more byte is cut.
  EXPECT_EQ(d.ask({"long", "1015"}), Lines{"1023"});
  EXPECT_EQ(d.ask({"long", "1016"}), Lines{"1023"});
  EXPECT_EQ(d.ask({"long", "5000"}), Lines{"1023"});
  EXPECT_EQ(d.ask({"long", "10"}), Lines{"18"});
}

TEST(ResolverWithFullLibrary, AsksTheLibrary) {
  Deliverable d(Library::Full);
  std::string jb = d.jbroot().string();
  EXPECT_EQ(d.ask({"jbroot", "/Library/Sounds/"}), Lines{jb + "/Library/Sounds/"});
  EXPECT_EQ(d.ask({"prefixes"}), (Lines{"", jb, "6B1F3C7E-2D94-4A58-9E0B-57C3A1D8F240"}));
  EXPECT_EQ(d.ask({"rootfs", jb + "/usr/bin"}), Lines{"/usr/bin"});
  EXPECT_EQ(d.ask({"jbroot", "-null"}), Lines{"(null)"});
}

TEST(ResolverWithFullLibrary, FollowsTheLibrarysChosenPrefix) {
  Deliverable d(Library::Full);
  EXPECT_EQ(d.ask({"jbroot", "/usr/bin/killall"}, {"RAVELO_JBROOT=/private/preboot/ABC/jb"}),
            Lines{"/private/preboot/ABC/jb/usr/bin/killall"});
}

TEST(ResolverWithPartialLibrary, JoinsWithTheLibrarysPrefixAndFallsBackForTheRest) {
  Deliverable d(Library::PrefixOnly);
  std::vector<std::string> env = {"RAVELO_JBROOT=/private/preboot/XYZ/jb"};
  EXPECT_EQ(d.ask({"jbroot", "/Library/Sounds/"}, env), Lines{"/private/preboot/XYZ/jb/Library/Sounds/"});
  EXPECT_EQ(d.ask({"prefixes"}, env),
            (Lines{"", "/private/preboot/XYZ/jb", "00000000-0000-0000-0000-000000000000"}));
  EXPECT_EQ(d.ask({"rootfs", "/private/preboot/XYZ/jb/usr/bin"}, env), Lines{"/usr/bin"});
}

// Without the prefix functions, the fallbacks would join "/var/jb": the real root in an answer can
// only come from the library's own path functions, so a resolver that never binds them fails here.
TEST(ResolverWithPartialLibrary, TakesThePathsFromTheLibrarysOwnPathFunctions) {
  Deliverable d(Library::PathsOnly);
  std::vector<std::string> env = {"RAVELO_JBROOT=/private/preboot/XYZ/jb"};
  EXPECT_EQ(d.ask({"jbroot", "/Library/Sounds/"}, env), Lines{"/private/preboot/XYZ/jb/Library/Sounds/"});
  EXPECT_EQ(d.ask({"rootfs", "/private/preboot/XYZ/jb/usr/bin"}, env), Lines{"/usr/bin"});
  EXPECT_EQ(d.ask({"prefixes"}, env), (Lines{"", "/var/jb", "00000000-0000-0000-0000-000000000000"}));
}

TEST(ResolverBinding, ManyThreadsMakingTheFirstCallAllGetTheLibrarysAnswer) {
  Deliverable d(Library::Full);
  std::string expected = d.jbroot().string() + "/Library/Sounds/";
  for (int round = 0; round < 5; ++round) {
    Lines results = d.ask({"threads", "16", "/Library/Sounds/"});
    ASSERT_EQ(results.size(), 16u);
    for (const auto& r : results) EXPECT_EQ(r, expected);
  }
}

}  // namespace
