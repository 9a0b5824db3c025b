#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>
#include <fstream>
#include <sstream>

#include "feeds_test_support.h"
#include "platform/services/desktop_url_opener.h"
#include "platform/services/mail_compose_view_controller.h"
#include "settings/app_recommend_view_controller.h"
#include "settings/setting_view_controller.h"

namespace lorvane {
namespace {

// The desktop opener is a real program here: a script standing in for
// xdg-open that writes down each argument it was started with.
class OpenLinksTest : public testing::AppScreenTest {
 protected:
  void SetUp() override {
    AppScreenTest::SetUp();
    MailComposeViewController::setAvailable(true);
    MailComposeViewController::setCanSendMail(true);
    AppConfiguration configuration = AppConfiguration::current();
    configuration.feedbackAddress = "feedback@lorvane.test";
    configuration.storeAppURL = "https://store.test/app/id1";
    configuration.storeReviewURL = "https://store.test/review/id1";
    AppConfiguration::setCurrent(configuration);

    folder = documents() + "/../opener";
    std::filesystem::create_directories(folder);
    script = folder + "/fake-xdg-open";
    log = folder + "/opened.txt";
    std::ofstream out(script);
    out << "#!/bin/sh\nprintf '%s\\n' \"$1\" >> '" << log << "'\n";
    out.close();
    chmod(script.c_str(), 0755);
  }
  void tearDownScreens() override { screen.reset(); }
  void TearDown() override {
    AppScreenTest::TearDown();
    MailComposeViewController::setAvailable(true);
    MailComposeViewController::setCanSendMail(true);
  }

  std::vector<std::string> opened() const {
    std::ifstream in(log);
    std::vector<std::string> lines;
    for (std::string line; std::getline(in, line);) lines.push_back(line);
    return lines;
  }
  // The opener runs on its own; wait (in real time) for it to write.
  bool waitForOpened(std::size_t count) {
    return waitUntil([&] { return opened().size() >= count; }, 10);
  }
  void pressRow(TableView& table, IndexPath path) {
    table.layoutIfNeeded();
    auto cell = table.cellForRowAtIndexPath(path);
    ASSERT_TRUE(cell) << "row " << path.section << "/" << path.row << " is not on screen";
    press(*cell);
  }

  std::string folder;
  std::string script;
  std::string log;
  std::shared_ptr<SettingViewController> screen;
};

TEST_F(OpenLinksTest, RatingMailtoAndRecommendedAppsReachTheDesktopOpener) {
  startServer();
  installDesktopURLOpener(script);
  screen = std::make_shared<SettingViewController>();
  show(screen);

  // The rating row.
  pressRow(*screen->tableView(), {1, 0});
  ASSERT_TRUE(waitForOpened(1));
  EXPECT_EQ(opened(), (std::vector<std::string>{"https://store.test/app/id1"}));

  // Feedback without a mail account goes to the desktop's mail program.
  MailComposeViewController::setCanSendMail(false);
  pressRow(*screen->tableView(), {0, 0});
  ASSERT_TRUE(waitForOpened(2));
  EXPECT_EQ(opened().back(), "mailto:feedback@lorvane.test");
  EXPECT_FALSE(screen->presentedViewController());

  // A recommended app's store link, from the list the server sent.
  pressRow(*screen->tableView(), {0, 1});
  auto* page = dynamic_cast<AppRecommendViewController*>(navigation->topViewController());
  ASSERT_TRUE(page);
  advance(0.5);
  ASSERT_TRUE(waitUntil([&] { return page->itunesID().size() == 7; }));
  pressRow(*page->AppTableView(), {0, 2});
  ASSERT_TRUE(waitForOpened(3));
  EXPECT_EQ(opened().back(), page->itunesID()[2]);
  EXPECT_TRUE(DesktopURLOpener::handles(page->itunesID()[2]));

  // Every link was recorded as well, in the order it was opened.
  EXPECT_EQ(Application::sharedApplication().openedURLs(),
            (std::vector<std::string>{"https://store.test/app/id1", "mailto:feedback@lorvane.test",
                                      page->itunesID()[2]}));
}

TEST_F(OpenLinksTest, TheLinkIsOneArgumentWithNoShellInBetween) {
  installDesktopURLOpener(script);
  // Through a shell this would start a second command that leaves a file.
  const std::string tricky = "https://x.test/a?b=1&c=2;touch$IFS" + folder + "/pwned;d='e'";
  EXPECT_TRUE(Application::sharedApplication().openURL(tricky));
  ASSERT_TRUE(waitForOpened(1));
  EXPECT_EQ(opened(), (std::vector<std::string>{tricky}));
  EXPECT_FALSE(std::filesystem::exists(folder + "/pwned"));
}

TEST_F(OpenLinksTest, OtherSchemesAndAMissingOpenerAreRecordedButNotOpened) {
  installDesktopURLOpener(script);
  Application& app = Application::sharedApplication();
  // The store's own scheme has no handler on a desktop.
  EXPECT_FALSE(app.openURL("itms-apps://itunes.apple.com/app/id1"));
  EXPECT_FALSE(app.openURL("file:///etc/passwd"));
  EXPECT_TRUE(app.openURL("MAILTO:someone@lorvane.test"));
  ASSERT_TRUE(waitForOpened(1));
  EXPECT_EQ(opened(), (std::vector<std::string>{"MAILTO:someone@lorvane.test"}));

  installDesktopURLOpener(folder + "/no-such-program");
  EXPECT_FALSE(app.openURL("https://store.test/app/id1"));
  installDesktopURLOpener("lorvane-no-such-opener-on-path");
  EXPECT_FALSE(app.openURL("https://store.test/app/id1"));
  EXPECT_EQ(app.openedURLs().size(), 5u);
  EXPECT_EQ(opened().size(), 1u);
}

TEST_F(OpenLinksTest, WithoutAnOpenerLinksAreOnlyRecorded) {
  // Headless and in tests nothing is installed: the link is kept, nothing runs.
  Application& app = Application::sharedApplication();
  EXPECT_TRUE(app.openURL("https://store.test/app/id1"));
  EXPECT_EQ(app.openedURLs(), (std::vector<std::string>{"https://store.test/app/id1"}));
  EXPECT_FALSE(std::filesystem::exists(log));
}

}  // namespace
}  // namespace lorvane
