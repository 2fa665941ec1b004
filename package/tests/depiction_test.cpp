// The package's depictions in the repository make-repo makes: the native depiction checked against
// the structure its format documents (Sileo's native depictions: every view a known class with its
// required keys, its pictures at the URLs it gives), both forms showing what a user decides by, and
// the HTML page rendered by Debian's Chromium with its pictures loaded.
#include <nlohmann/json.hpp>

#include <filesystem>
#include <map>
#include <regex>
#include <string>
#include <vector>

#include "device_build.h"
#include "repository.h"
#include "support/run.h"
#include "support/temp_dir.h"

namespace fs = std::filesystem;
using nlohmann::json;
using repository::kPackage;
using testing_support::readFile;
using testing_support::run;
using testing_support::RunResult;
using testing_support::TempDir;
using testing_support::writeFile;

namespace {

enum class Kind { String, Number, Array };

// The views of a native depiction and the keys each requires, as the format documents them
// (Sileo/DeveloperDocumentation, _docs/native-depictions.md).
const std::map<std::string, std::map<std::string, Kind>> kViews{
    {"DepictionTabView", {{"tabs", Kind::Array}}},
    {"DepictionStackView", {{"views", Kind::Array}}},
    {"DepictionAutoStackView", {{"views", Kind::Array}, {"horizontalSpacing", Kind::Number}}},
    {"DepictionLayerView", {{"views", Kind::Array}}},
    {"DepictionHeaderView", {{"title", Kind::String}}},
    {"DepictionSubheaderView", {{"title", Kind::String}}},
    {"DepictionLabelView", {{"text", Kind::String}}},
    {"DepictionMarkdownView", {{"markdown", Kind::String}}},
    {"DepictionVideoView", {{"URL", Kind::String}, {"width", Kind::Number}, {"height", Kind::Number},
                            {"cornerRadius", Kind::Number}}},
    {"DepictionImageView", {{"URL", Kind::String}, {"width", Kind::Number}, {"height", Kind::Number},
                            {"cornerRadius", Kind::Number}}},
    {"DepictionScreenshotsView", {{"screenshots", Kind::Array}, {"itemCornerRadius", Kind::Number},
                                  {"itemSize", Kind::String}}},
    {"DepictionTableTextView", {{"title", Kind::String}, {"text", Kind::String}}},
    {"DepictionTableButtonView", {{"title", Kind::String}, {"action", Kind::String}}},
    {"DepictionButtonView", {{"action", Kind::String}}},
    {"DepictionSeparatorView", {}},
    {"DepictionSpacerView", {{"spacing", Kind::Number}}},
    {"DepictionRatingView", {{"rating", Kind::Number}, {"alignment", Kind::Number}}},
    {"DepictionReviewView", {{"title", Kind::String}, {"author", Kind::String}, {"markdown", Kind::String}}},
};

bool is(const json& value, Kind kind) {
  return kind == Kind::String ? value.is_string() : kind == Kind::Number ? value.is_number() : value.is_array();
}

// What a native depiction gets wrong by the documented structure, and the screenshots' URLs.
struct Checked {
  std::vector<std::string> problems;
  std::vector<std::string> screenshotUrls;
};

void check(const json& view, const std::string& where, Checked& out) {
  if (!view.is_object() || !view.contains("class") || !view["class"].is_string()) {
    out.problems.push_back(where + ": a view without a class");
    return;
  }
  std::string name = view["class"];
  auto known = kViews.find(name);
  if (known == kViews.end()) {
    out.problems.push_back(where + ": unknown class " + name);
    return;
  }
  for (const auto& [key, kind] : known->second) {
    if (!view.contains(key) || !is(view[key], kind)) out.problems.push_back(where + " (" + name + "): no valid " + key);
  }
  for (const char* children : {"tabs", "views"}) {
    if (!view.contains(children) || !view[children].is_array()) continue;
    for (size_t i = 0; i < view[children].size(); ++i) {
      const json& child = view[children][i];
      if (std::string(children) == "tabs" &&
          (child.value("class", "") != "DepictionStackView" || !child.contains("tabname"))) {
        out.problems.push_back(where + ": tab " + std::to_string(i) + " is not a DepictionStackView with a tabname");
      }
      check(child, where + "." + children + "[" + std::to_string(i) + "]", out);
    }
  }
  if (name == "DepictionScreenshotsView" && view["screenshots"].is_array()) {
    if (!std::regex_match(view.value("itemSize", ""), std::regex(R"(\{[0-9.]+, *[0-9.]+\})"))) {
      out.problems.push_back(where + ": itemSize is not {width, height}");
    }
    for (const json& shot : view["screenshots"]) {
      if (!shot.contains("url") || !shot.contains("accessibilityText")) {
        out.problems.push_back(where + ": a screenshot without url or accessibilityText");
      } else {
        out.screenshotUrls.push_back(shot["url"]);
      }
    }
  }
}

// The pixel size in a PNG file's header.
std::pair<int, int> pngSize(const fs::path& file) {
  std::string head = readFile(file).substr(0, 24);
  auto word = [&](size_t at) {
    return (static_cast<unsigned char>(head[at]) << 24) | (static_cast<unsigned char>(head[at + 1]) << 16) |
           (static_cast<unsigned char>(head[at + 2]) << 8) | static_cast<unsigned char>(head[at + 3]);
  };
  return head.size() == 24 && head.rfind("\x89PNG", 0) == 0 ? std::pair{word(16), word(20)} : std::pair{0, 0};
}

// Debian's Chromium, headless, with a fresh profile and nothing fetched from the network.
RunResult chromium(const std::vector<std::string>& arguments) {
  TempDir profile;
  std::vector<std::string> command{"/usr/bin/chromium", "--headless", "--no-sandbox", "--disable-gpu",
                                   "--disable-quic", "--no-first-run", "--disable-background-networking",
                                   "--disable-component-update", "--disable-sync",
                                   "--user-data-dir=" + profile.path().string()};
  command.insert(command.end(), arguments.begin(), arguments.end());
  return run(command);
}

class Depiction : public testing::Test {
 protected:
  void SetUp() override {
    SKIP_WITHOUT_DEVICE_BUILD();
    ASSERT_EQ(published().made.exitCode, 0) << published().made.output;
  }
  const repository::Published& published() const { return repository::devicePackage(); }
  fs::path folder() const { return published().root() / "depictions" / kPackage; }
  json native() const { return json::parse(readFile(folder() / "depiction.json")); }
};

TEST_F(Depiction, NativeDepictionHasOnlyDocumentedViewsAndItsPicturesAreAtItsUrls) {
  json depiction = native();
  EXPECT_EQ(depiction.value("class", ""), "DepictionTabView");
  EXPECT_TRUE(depiction.contains("minVersion") && depiction["minVersion"].is_string());
  Checked checked;
  check(depiction, "depiction", checked);
  EXPECT_TRUE(checked.problems.empty()) << testing::PrintToString(checked.problems);

  // The pane at two iPhones' widths, at their scales, cut to their screens.
  ASSERT_EQ(checked.screenshotUrls.size(), 2u);
  EXPECT_EQ(pngSize(published().fileAt(checked.screenshotUrls[0])), (std::pair{375 * 2, 667 * 2}));
  EXPECT_EQ(pngSize(published().fileAt(checked.screenshotUrls[1])), (std::pair{428 * 3, 926 * 3}));
  EXPECT_NE(pngSize(published().fileAt(depiction.value("headerImage", ""))).first, 0) << depiction["headerImage"];
  EXPECT_NE(pngSize(published().root() / "CydiaIcon.png").first, 0);
}

TEST_F(Depiction, BothFormsShowTheDescriptionIosVersionsCpusOfThePackedSlicesAndTheChangelog) {
  std::string cpus = repository::deviceSlices() == std::vector<std::string>{"arm64"}
                         ? "arm64 only: A11 and older iPhones"
                         : "arm64 and arm64e: every iPhone";
  std::string page = readFile(folder() / "index.html");
  std::string json = native().dump();
  for (const std::string& shown : {std::string("Choose each sound from 45 built-in effects"),
                                   std::string("iOS 15.0 and later; every event checked in the simulator on iOS 15, 16, 17 and 18"),
                                   std::string("not tried on a device"), cpus, std::string("1.0.1"), std::string("1.0.0"),
                                   std::string("First release: a sound of your choice")}) {
    EXPECT_NE(page.find(shown), std::string::npos) << "the page lacks: " << shown;
    EXPECT_NE(json.find(shown), std::string::npos) << "the native depiction lacks: " << shown;
  }
}

TEST_F(Depiction, PageRendersInChromiumWithThePaneScreenshots) {
  if (!fs::exists("/usr/bin/chromium")) GTEST_SKIP() << "Debian's chromium is not installed (.ci/install-deps)";
  TempDir work;
  fs::path shot = work / "page.png";
  auto drawn = chromium({"--window-size=430,1400", "--hide-scrollbars", "--screenshot=" + shot.string(),
                         "file://" + (folder() / "index.html").string()});
  ASSERT_TRUE(fs::exists(shot)) << drawn.output;
  EXPECT_EQ(pngSize(shot), (std::pair{430, 1400}));

  // A page beside it loads the depiction and lists its pictures as the browser decoded them.
  writeFile(work / "pictures.html",
            "<iframe id=\"page\" src=\"file://" + (folder() / "index.html").string() + "\"></iframe><pre id=\"out\"></pre>"
            "<script>document.getElementById('page').addEventListener('load', () => {"
            "  const images = document.getElementById('page').contentDocument.images;"
            "  document.getElementById('out').textContent = [...images].map("
            "    image => image.getAttribute('src') + ' ' + image.naturalWidth + 'x' + image.naturalHeight).join(';');"
            "});</script>");
  auto dom = chromium({"--allow-file-access-from-files", "--virtual-time-budget=10000", "--dump-dom",
                       "file://" + (work / "pictures.html").string()});
  std::smatch listed;
  ASSERT_TRUE(std::regex_search(dom.output, listed, std::regex("<pre id=\"out\">([^<]*)</pre>"))) << dom.output;
  std::string pictures = listed[1];
  EXPECT_NE(pictures.find("screenshot-375.png 750x1334"), std::string::npos) << pictures;
  EXPECT_NE(pictures.find("screenshot-428.png 1284x2778"), std::string::npos) << pictures;
  EXPECT_NE(pictures.find("banner.png 640x320"), std::string::npos) << pictures;
  EXPECT_EQ(pictures.find(" 0x0"), std::string::npos) << "a picture did not load: " << pictures;
}

TEST_F(Depiction, AChangelogsMarkupReachesSileoAsTextNeverAsHtmlOrALink) {
  TempDir work;
  writeFile(work / "CHANGELOG.md",
            "## " PACKAGE_VERSION "\n\n- <script>alert(1)</script> and <img src=x onerror=alert(2)>\n"
            "- [tap](javascript:alert(3)), <javascript:alert(4)> and [ref]\n\n[ref]: javascript:alert(5)\n"
            "- `<kept as code>` \\<already\n");
  auto made = repository::makeRepo(work / "repo", {"--deb", DEVICE_DEB, "--changelog", (work / "CHANGELOG.md").string()});
  ASSERT_EQ(made.exitCode, 0) << made.output;
  json depiction = json::parse(readFile(work / "repo/depictions" / kPackage / "depiction.json"));
  std::string markdown;
  for (const json& view : depiction["tabs"][1]["views"])
    if (view.value("class", "") == "DepictionMarkdownView") markdown += view.value("markdown", "");
  EXPECT_NE(markdown.find("alert(5)"), std::string::npos) << markdown;  // all of it shown, as text
  EXPECT_NE(markdown.find("`<kept as code>`"), std::string::npos) << markdown;
  // Outside code spans every '<', '[' and ']' is escaped, so nothing opens HTML, an autolink or a link.
  std::string outside = std::regex_replace(markdown, std::regex("`[^`]+`"), "");
  for (size_t i = 0; i < outside.size(); ++i) {
    if (outside[i] != '<' && outside[i] != '[' && outside[i] != ']') continue;
    size_t slashes = 0;
    while (slashes < i && outside[i - 1 - slashes] == '\\') ++slashes;
    EXPECT_EQ(slashes % 2, 1u) << "unescaped '" << outside[i] << "' at " << i << " in " << outside;
  }
}

}  // namespace
