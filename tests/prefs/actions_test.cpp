// Actions: the Respring button starts the jailbreak's killall on backboardd; the donation and mail rows
// open their links.
#include <gtest/gtest.h>

#include "host/objc.h"
#include "host/uikit.h"
#include "prefs/settings_device.h"
#include "support/fresh_process.h"

using prefs_testing::Layout;
using prefs_testing::SettingsDevice;
using testing_support::inFreshProcess;
using Runs = std::vector<std::string>;

namespace {

TEST(Respring, StartsKillallForBackboarddWithExactlyThreeArguments) {
  inFreshProcess([] {
    SettingsDevice device;
    auto pane = device.open();
    ASSERT_NE(pane, nullptr);
    std::string error;
    ASSERT_TRUE(pane->pressRightBarButton(&error)) << error;
    // argv[0] is the bare tool name; the environment is empty (a null environment pointer).
    EXPECT_EQ(device.waitForKillallRuns(1), Runs{"killall|-9|backboardd|env=0"});
  });
}

TEST(Respring, EachPressStartsItsOwnKillall) {
  inFreshProcess([] {
    SettingsDevice device;
    auto pane = device.open();
    ASSERT_NE(pane, nullptr);
    std::string error;
    ASSERT_TRUE(pane->pressRightBarButton(&error)) << error;
    ASSERT_TRUE(pane->pressRightBarButton(&error)) << error;
    EXPECT_EQ(device.waitForKillallRuns(2), (Runs{"killall|-9|backboardd|env=0", "killall|-9|backboardd|env=0"}));
  });
}

TEST(Respring, WithoutKillallThePageCarriesOn) {
  inFreshProcess([] {
    Layout layout;
    layout.killall = false;
    SettingsDevice device(layout);
    auto pane = device.open();
    ASSERT_NE(pane, nullptr);
    std::string error;
    ASSERT_TRUE(pane->pressRightBarButton(&error)) << error;
    EXPECT_FALSE(pane->show().rows.empty());
  });
}

// ---- links ----

TEST(Links, DonationOpensPayPalsDonationPageWithEmptyOptions) {
  inFreshProcess([] {
    SettingsDevice device;
    auto pane = device.open();
    ASSERT_NE(pane, nullptr);
    host::uikit::clearOpenedURLs();
    std::string error;
    ASSERT_TRUE(pane->pressButton("Donate with PayPal", &error)) << error;
    auto opened = host::uikit::openedURLs();
    ASSERT_EQ(opened.size(), 1u);
    EXPECT_EQ(opened[0].url,
              "https://www.paypal.com/donate/?cmd=_donations&business=ravelo@dorvu.xyz&item_name=Support%20Ravelo");
    EXPECT_TRUE(opened[0].optionsGiven) << "options must be an empty dictionary, not nil";
    EXPECT_EQ(opened[0].optionCount, 0u);
    EXPECT_FALSE(opened[0].completionGiven);
  });
}

TEST(Links, MailOpensAMessageToTheAuthorWithEmptyOptions) {
  inFreshProcess([] {
    SettingsDevice device;
    auto pane = device.open();
    ASSERT_NE(pane, nullptr);
    host::uikit::clearOpenedURLs();
    std::string error;
    ASSERT_TRUE(pane->pressButton("Send an E-mail", &error)) << error;
    auto opened = host::uikit::openedURLs();
    ASSERT_EQ(opened.size(), 1u);
    EXPECT_EQ(opened[0].url, "mailto:ravelo@dorvu.xyz");
    EXPECT_TRUE(opened[0].optionsGiven);
    EXPECT_EQ(opened[0].optionCount, 0u);
    EXPECT_FALSE(opened[0].completionGiven);
  });
}

}  // namespace
