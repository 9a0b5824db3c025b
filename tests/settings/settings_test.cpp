#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "feeds_test_support.h"
#include "platform/foundation/log.h"
#include "platform/services/share_sns_service.h"
#include "settings/about_us_view_controller.h"
#include "settings/app_recommend_view_controller.h"
#include "settings/feedback_view_controller.h"
#include "settings/orvel_view_controller.h"
#include "settings/setting_view_controller.h"
#include "support/mail/mail_message.h"

namespace lorvane {
namespace {

class SettingsTest : public testing::AppScreenTest {
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
    screen = std::make_shared<SettingViewController>();
  }
  void tearDownScreens() override { screen.reset(); }
  void TearDown() override {
    AppScreenTest::TearDown();
    MailComposeViewController::setAvailable(true);
    MailComposeViewController::setCanSendMail(true);
  }

  void choose(int section, int row) {
    screen->tableView()->selectRowAtIndexPath(IndexPath{section, row}, false);
    screen->didSelectRowAtIndexPath(*screen->tableView(), {section, row});
  }
  std::shared_ptr<MailComposeViewController> composer() {
    return std::dynamic_pointer_cast<MailComposeViewController>(screen->presentedViewController());
  }

  std::shared_ptr<SettingViewController> screen;
};

TEST_F(SettingsTest, FourRowsInTwoSectionsAndTheOfflineRowWithTheirLook) {
  show(screen);
  TableView& table = *screen->tableView();
  EXPECT_EQ(table.style(), TableViewStyle::Grouped);
  EXPECT_EQ(table.numberOfSections(), 3);
  EXPECT_EQ(screen->numberOfRowsInSection(table, 0), 2);
  EXPECT_EQ(screen->numberOfRowsInSection(table, 1), 2);
  EXPECT_EQ(screen->numberOfRowsInSection(table, 2), 1);
  EXPECT_EQ(screen->numberOfRowsInSection(table, 3), 0);
  EXPECT_EQ(screen->numberOfRowsInSection(table, -1), 0);
  EXPECT_EQ(screen->dataArray(),
            (std::vector<std::string>{"firstSection", "secondSection", "offlineSection"}));
  auto offline = screen->modelAtIndexPath({2, 0});
  ASSERT_TRUE(offline);
  EXPECT_EQ(offline->title(), "离线课程");
  EXPECT_EQ(offline->tag(), SettingModel::kOfflineLessons);
  const char* titles[2][2] = {{"意见反馈", "应用推荐"},
                              {"喜欢Lorvane？打分鼓励下吧^_^", "关于我们"}};
  unsigned tag = 1;
  for (int s = 0; s < 2; ++s) {
    for (int r = 0; r < 2; ++r) {
      auto model = screen->modelAtIndexPath({s, r});
      ASSERT_TRUE(model);
      EXPECT_EQ(model->title(), titles[s][r]);
      EXPECT_EQ(model->tag(), tag++);
      auto cell = screen->cellForRowAtIndexPath(table, {s, r});
      EXPECT_EQ(cell->textLabel().text(), titles[s][r]);
      EXPECT_EQ(cell->textLabel().textColor(), Color::whiteColor());
      EXPECT_EQ(cell->textLabel().highlightedTextColor(), Color::rgb255(222, 18, 104));
      EXPECT_EQ(cell->textLabel().font(), Font::boldSystemFontOfSize(16));
      EXPECT_EQ(cell->reuseIdentifier(), "cell");
      auto background = std::dynamic_pointer_cast<ImageView>(cell->backgroundView());
      ASSERT_TRUE(background);
      EXPECT_EQ(background->image()->name(), "Lorvane-设置-a-原大-01");
      auto selected = std::dynamic_pointer_cast<ImageView>(cell->selectedBackgroundView());
      ASSERT_TRUE(selected);
      EXPECT_EQ(selected->image()->name(), "Lorvane-设置-a-原大-02");
    }
  }
  EXPECT_FALSE(screen->modelAtIndexPath({3, 0}));
  EXPECT_FALSE(screen->modelAtIndexPath({2, 1}));
  EXPECT_FALSE(screen->modelAtIndexPath({0, 2}));
  EXPECT_EQ(screen->heightForRowAtIndexPath(table, {0, 0}), 44);
  EXPECT_EQ(screen->heightForHeaderInSection(table, 1), 0);
  // A grouped table's header of no height is still the standard gap: the
  // two groups stand apart.
  EXPECT_EQ(table.rectForRowAtIndexPath({0, 0}).y(), 10);
  EXPECT_EQ(table.rectForRowAtIndexPath({1, 0}).y(),
            table.rectForRowAtIndexPath({0, 1}).maxY() + 10);
  EXPECT_FALSE(screen->canEditRowAtIndexPath({0, 0}));
  EXPECT_FALSE(screen->shouldAutorotate());
  EXPECT_EQ(screen->supportedInterfaceOrientations(), kOrientationMaskPortrait);
}

TEST_F(SettingsTest, TableAndVersionAreaFollowTheSystemAndTheScreen) {
  show(screen);
  EXPECT_EQ(screen->tableView()->frame(), (Rect{0, 20, 320, 503}));
  EXPECT_FALSE(screen->tableView()->bounces());
  EXPECT_EQ(screen->versionImageView()->frame(), (Rect{50, 380, 220, 40}));
  EXPECT_EQ(screen->versionImageView()->image()->name(), "版权高清");
  EXPECT_EQ(screen->versionLabel()->frame(), (Rect{60, 340, 200, 30}));
  EXPECT_EQ(screen->versionLabel()->text(), "版本:1.2");
  EXPECT_EQ(screen->versionLabel()->textAlignment(), TextAlignment::Center);
  // Appearing again does not pile up copies.
  screen->viewWillAppear(false);
  int copies = 0;
  for (const auto& v : screen->view()->subviews()) copies += v.get() == screen->versionLabel();
  EXPECT_EQ(copies, 1);

  window->setRootViewController(nullptr);
  Device::currentDevice().setSystemVersion("6.1");
  Screen::mainScreen().configure({320, 480}, 2);
  screen = std::make_shared<SettingViewController>();
  show(screen);
  EXPECT_EQ(screen->tableView()->frame(), (Rect{0, 0, 320, 415}));
  EXPECT_EQ(screen->backgroundView()->frame().y(), 0);
  EXPECT_EQ(screen->versionImageView()->frame().y(), 300);
  EXPECT_EQ(screen->versionLabel()->frame().y(), 270);
}

TEST_F(SettingsTest, RecommendationAndAboutRowsPushAndHideTheTabBarRatingOpensTheStore) {
  startServer();
  show(screen);
  auto bar = CustomTarBar::sharedInstance();

  choose(1, 0);
  EXPECT_EQ(Application::sharedApplication().openedURLs(),
            (std::vector<std::string>{"https://store.test/app/id1"}));
  EXPECT_EQ(bar->frame().y(), 523);
  EXPECT_FALSE(screen->tableView()->indexPathForSelectedRow());

  choose(0, 1);
  EXPECT_TRUE(dynamic_cast<AppRecommendViewController*>(navigation->topViewController()));
  EXPECT_EQ(bar->frame().y(), 568);
  EXPECT_FALSE(screen->tableView()->indexPathForSelectedRow());
  advance(0.5);
  navigation->popViewControllerAnimated(false);
  bar->hideTabBar(false, false);

  choose(1, 1);
  EXPECT_TRUE(dynamic_cast<AboutUsViewController*>(navigation->topViewController()));
  EXPECT_EQ(bar->frame().y(), 568);
  advance(0.5);

  Device::currentDevice().setSystemVersion("6.1");
  EXPECT_EQ(SettingViewController::storeURL(), "https://store.test/review/id1");
}

TEST_F(SettingsTest, FeedbackMailWithoutComposerDoesNothingWithoutAccountOpensMailto) {
  show(screen);
  MailComposeViewController::setAvailable(false);
  choose(0, 0);
  EXPECT_FALSE(screen->presentedViewController());
  EXPECT_TRUE(Application::sharedApplication().openedURLs().empty());

  MailComposeViewController::setAvailable(true);
  MailComposeViewController::setCanSendMail(false);
  choose(0, 0);
  EXPECT_FALSE(screen->presentedViewController());
  EXPECT_EQ(Application::sharedApplication().openedURLs(),
            (std::vector<std::string>{"mailto:feedback@lorvane.test"}));
}

TEST_F(SettingsTest, SendingWritesTheMessageToTheOutboxAndAlertsSent) {
  show(screen);
  choose(0, 0);
  auto page = composer();
  ASSERT_TRUE(page);
  EXPECT_EQ(page->toRecipients(), (std::vector<std::string>{"feedback@lorvane.test"}));
  EXPECT_EQ(page->recipientsLabel()->text(), "收件人: feedback@lorvane.test");
  advance(0.5);
  page->bodyView()->insertText("视频很好，谢谢！");
  press(*page->sendButton());

  auto alerts = AlertView::visibleAlerts();
  ASSERT_EQ(alerts.size(), 1u);
  EXPECT_EQ(alerts[0]->title(), "已发送");
  EXPECT_EQ(alerts[0]->message(), "邮件已成功发送");
  EXPECT_EQ(alerts[0]->numberOfButtons(), 1);
  EXPECT_EQ(alerts[0]->buttonTitleAtIndex(0), "确定");
  EXPECT_EQ(alerts[0]->delegate(), screen.get());
  advance(0.5);
  EXPECT_FALSE(screen->presentedViewController());

  auto files = FileManager::defaultManager().contentsOfDirectory(
      MailComposeViewController::outboxDirectory());
  ASSERT_EQ(files.size(), 1u);
  auto message = FileManager::defaultManager().stringContentsAtPath(page->lastWrittenPath());
  ASSERT_TRUE(message);
  EXPECT_NE(message->find("\r\nTo: feedback@lorvane.test\r\n"), std::string::npos);
  EXPECT_NE(message->find("MIME-Version: 1.0\r\n"), std::string::npos);
  EXPECT_NE(message->find("Content-Type: text/plain; charset=utf-8\r\n"), std::string::npos);
  EXPECT_NE(message->find("Content-Transfer-Encoding: base64\r\n"), std::string::npos);
  EXPECT_TRUE(message->starts_with("Date: "));
}

TEST_F(SettingsTest, CancelSaveAndFailureEachGetTheirAlert) {
  show(screen);
  struct Case {
    std::function<void(MailComposeViewController&)> act;
    const char* title;
    const char* message;
  };
  std::vector<Case> cases = {
      {[](MailComposeViewController& c) { c.cancel(); }, "已取消", "您取消了邮件发送"},
      {[](MailComposeViewController& c) { c.save(); }, "已保存", "您保存了邮件"},
      {[&](MailComposeViewController& c) {
         // The outbox cannot be made: a file stands where it would go.
         std::filesystem::create_directories(documents());
         std::ofstream(MailComposeViewController::outboxDirectory()) << "in the way";
         c.send();
       },
       "发送失败", "未发送成功,请再次发送"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.title);
    choose(0, 0);
    auto page = composer();
    ASSERT_TRUE(page);
    advance(0.5);
    c.act(*page);
    auto alerts = AlertView::visibleAlerts();
    ASSERT_EQ(alerts.size(), 1u);
    EXPECT_EQ(alerts[0]->title(), c.title);
    EXPECT_EQ(alerts[0]->message(), c.message);
    alerts[0]->dismissWithClickedButtonIndex(0, false);
    advance(0.5);
    EXPECT_FALSE(screen->presentedViewController());
  }
  EXPECT_EQ(FileManager::defaultManager()
                .contentsOfDirectory(MailComposeViewController::draftsDirectory())
                .size(),
            1u);
  EXPECT_EQ(SettingViewController::alertTextForResult(9),
            (std::pair<std::string, std::string>{"", ""}));
}

TEST(MailMessage, HeadersAreOneLineAndTheBodyIsEncodedWhenNotAscii) {
  std::string plain = MailComposeViewController::composeMessage(
      "me@here", {"a@b", "c@d"}, "Hi\r\nBcc: evil@x", "line one\nline two", false, 0);
  EXPECT_TRUE(plain.starts_with("Date: Thu, 01 Jan 1970 00:00:00 +0000\r\n"));
  EXPECT_NE(plain.find("\r\nTo: a@b, c@d\r\n"), std::string::npos);
  EXPECT_EQ(plain.find("\r\nBcc:"), std::string::npos);
  EXPECT_NE(plain.find("Content-Transfer-Encoding: 7bit\r\n\r\nline one\r\nline two\r\n"),
            std::string::npos);

  std::string chinese =
      MailComposeViewController::composeMessage("me@here", {"a@b"}, "反馈", "好", false, 0);
  EXPECT_NE(chinese.find("Subject: =?UTF-8?B?5Y+N6aaI?=\r\n"), std::string::npos);
  EXPECT_NE(chinese.find("Content-Transfer-Encoding: base64\r\n\r\n5aW9\r\n"), std::string::npos);
}

TEST(MailMessage, ALongSubjectBecomesShortEncodedWordsOfWholeCharacters) {
  std::string subject;
  for (int i = 0; i < 40; ++i) subject += "课";  // 120 bytes
  std::string message =
      MailComposeViewController::composeMessage("me@here", {"a@b"}, subject, "x", false, 0);
  std::size_t start = message.find("Subject: ");
  std::size_t end = message.find("\r\nMessage-ID:");
  ASSERT_NE(start, std::string::npos);
  std::string header = message.substr(start + 9, end - start - 9);
  std::string decoded;
  std::size_t words = 0;
  for (std::size_t at = 0; (at = header.find("=?UTF-8?B?", at)) != std::string::npos; ++words) {
    std::size_t close = header.find("?=", at + 10);
    ASSERT_NE(close, std::string::npos);
    EXPECT_LE(close + 2 - at, 75u);  // the longest word a reader must take
    std::string piece = testing::decodeBase64(header.substr(at + 10, close - at - 10));
    EXPECT_EQ(piece.size() % 3, 0u) << "a character was split";
    decoded += piece;
    at = close + 2;
  }
  EXPECT_GE(words, 3u);
  EXPECT_EQ(decoded, subject);
  // Folded: every further word on a continuation line.
  EXPECT_EQ(header.find("?==?"), std::string::npos);
  EXPECT_NE(header.find("?=\r\n =?UTF-8?B?"), std::string::npos);
}

TEST(MailMessage, SharesAndMailKeepFoldersThatStayApartInAnyCase) {
  auto lower = [](std::string s) {
    for (char& c : s) c = char(std::tolower(static_cast<unsigned char>(c)));
    return s;
  };
  EXPECT_NE(lower(ShareSnsService::outboxDirectory()),
            lower(MailComposeViewController::outboxDirectory()));
  EXPECT_NE(lower(ShareSnsService::outboxDirectory()),
            lower(MailComposeViewController::draftsDirectory()));
}

class AppRecommendTest : public testing::AppScreenTest {
 protected:
  void tearDownScreens() override { page.reset(); }
  void open() {
    page = std::make_shared<AppRecommendViewController>();
    show(page);
  }
  bool waitForList() {
    return waitUntil(
        [&] { return page->runningRequestCount() == 0 && page->iconLoader().runningCount() == 0; });
  }
  std::shared_ptr<AppRecommendCell> cell(int row) {
    page->AppTableView()->layoutIfNeeded();
    return std::dynamic_pointer_cast<AppRecommendCell>(
        page->AppTableView()->cellForRowAtIndexPath({0, row}));
  }
  std::shared_ptr<AppRecommendViewController> page;
};

TEST_F(AppRecommendTest, ListsTheAppsWithTheirIconsAndOpensAnAppsLink) {
  startServer();
  open();
  ASSERT_TRUE(waitUntil([&] { return page->itunesID().size() == 7; }));
  ASSERT_TRUE(waitForList());
  RunLoop::main().runUntilIdle();
  EXPECT_EQ(
      server->requestCount(
          "/api/app/resourcelist_ng.json?appId=243&categoryName=recommendation&resourceType=5"),
      1u);
  EXPECT_EQ(page->numberOfRowsInSection(*page->AppTableView(), 0), 7);
  auto first = cell(0);
  ASSERT_TRUE(first);
  EXPECT_EQ(first->titleLabel().text(), page->appTitle()[0]);
  EXPECT_EQ(first->subTitleLabel().text(), page->appSubTitle()[0]);
  EXPECT_EQ(first->iconView().frame(), (Rect{10, 9, 57, 57}));
  ASSERT_TRUE(first->iconView().image());
  EXPECT_NE(first->iconView().image()->name(), "应用推荐图标-原大");  // the downloaded icon
  EXPECT_GT(requests("/icons/"), 0u);
  EXPECT_EQ(page->AppTableView()->frame(), (Rect{0, 44, 320, 504}));
  EXPECT_EQ(page->bgImageView()->frame().y(), 20);

  page->didSelectRowAtIndexPath(*page->AppTableView(), {0, 2});
  EXPECT_EQ(Application::sharedApplication().openedURLs(),
            (std::vector<std::string>{page->itunesID()[2]}));
  page->didSelectRowAtIndexPath(*page->AppTableView(), {0, 40});
  EXPECT_EQ(Application::sharedApplication().openedURLs().size(), 1u);
}

TEST_F(AppRecommendTest, EmptyLongAndIncompleteListsAndUndecodableAnswers) {
  startServer();
  auto body = std::make_shared<std::string>("{\"data\":{\"resourceList\":[]}}");
  auto mutex = std::make_shared<std::mutex>();
  auto htmlLeft = std::make_shared<int>(0);
  server->setAnswerHook([=](const demo::RequestRecord& r) -> std::optional<demo::CannedResponse> {
    if (!r.target.starts_with("/api/")) return std::nullopt;
    std::lock_guard lock(*mutex);
    if (*htmlLeft > 0) {
      --*htmlLeft;
      return demo::CannedResponse{503, "text/html", "<html><body>busy</body></html>"};
    }
    return demo::CannedResponse{200, "application/json", *body};
  });
  open();
  ASSERT_TRUE(
      waitUntil([&] { return requests("/api/") == 1 && page->runningRequestCount() == 0; }));
  EXPECT_EQ(page->numberOfRowsInSection(*page->AppTableView(), 0), 0);

  std::string apps;
  for (int i = 0; i < 12; ++i) {
    apps += std::string(i ? "," : "") + "{\"title\":\"App " + std::to_string(i) +
            "\",\"subtitle\":\"s\",\"thumbnail\":\"" + server->baseURL() +
            "/icons/app-01.png\",\"action\":\"https://store.test/" + std::to_string(i) + "\"}";
  }
  apps += ",{\"title\":\"no link\",\"subtitle\":\"s\",\"thumbnail\":\"t\"}";
  {
    std::lock_guard lock(*mutex);
    *body = "{\"data\":{\"resourceList\":[" + apps + "]}}";
    *htmlLeft = 2;  // two error pages, each fetched again after a wait
  }
  page->urlRequest();
  ASSERT_TRUE(
      waitUntil([&] { return requests("/api/") == 2 && page->runningRequestCount() == 0; }));
  EXPECT_TRUE(page->retry().isPending());
  RunLoop::main().runOnce(0.05);
  EXPECT_EQ(requests("/api/"), 2u);
  advanceWithAnswers(1, [&] { return page->runningRequestCount(); });
  EXPECT_EQ(requests("/api/"), 3u);
  advanceWithAnswers(2, [&] { return page->runningRequestCount(); });
  ASSERT_TRUE(
      waitUntil([&] { return requests("/api/") == 4 && page->runningRequestCount() == 0; }));
  EXPECT_FALSE(page->retry().isPending());
  EXPECT_EQ(page->numberOfRowsInSection(*page->AppTableView(), 0), 12);
  EXPECT_EQ(page->appTitle().size(), page->imageURL().size());
  EXPECT_EQ(page->itunesID()[11], "https://store.test/11");
  ASSERT_TRUE(waitForList());
}

TEST_F(AppRecommendTest, BackRestoresTheTabBarAndFailuresAreOnlyLogged) {
  startServer();
  pointAtClosedPort();
  auto settings = std::make_shared<SettingViewController>();
  show(settings);
  LogCapture log;
  settings->didSelectRowAtIndexPath(*settings->tableView(), {0, 1});
  page = std::dynamic_pointer_cast<AppRecommendViewController>(
      std::shared_ptr<ViewController>(navigation->viewControllers().back()));
  ASSERT_TRUE(page);
  advance(0.5);
  EXPECT_EQ(CustomTarBar::sharedInstance()->frame().y(), 568);
  ASSERT_TRUE(waitUntil([&] { return page->runningRequestCount() == 0; }));
  RunLoop::main().runOnce(0.05);
  EXPECT_EQ(errorLines(log), 1u);  // logged once, no retry
  // The line says which failure it was, not only its message.
  EXPECT_TRUE(log.contains("error:Error Domain=HTTPRequestErrorDomain Code=1 "));
  EXPECT_EQ(page->runningRequestCount(), 0u);
  press(*page->backButton());
  advance(0.5);
  EXPECT_EQ(navigation->topViewController(), settings.get());
  EXPECT_EQ(CustomTarBar::sharedInstance()->frame().y(), 523);
  page.reset();
}

TEST_F(AppRecommendTest, CellKeepsItsPlaceholderForAnAbsentIconAndIgnoresRepeats) {
  AppRecommendCell cell(TableViewCellStyle::Default, "cell");
  EXPECT_EQ(cell.iconView().image()->name(), "应用推荐图标-原大");
  cell.setAppImage(nullptr);
  EXPECT_EQ(cell.iconView().image()->name(), "应用推荐图标-原大");
  cell.setAppTitle("Words");
  cell.setAppTitle(std::nullopt);
  EXPECT_EQ(cell.titleLabel().text(), "Words");
  EXPECT_EQ(cell.titleLabel().highlightedTextColor(), Color::rgb255(222, 18, 104));
  EXPECT_EQ(cell.subTitleLabel().textColor(), Color::rgb255(135, 135, 135));
  auto background = std::dynamic_pointer_cast<ImageView>(cell.backgroundView());
  ASSERT_TRUE(background);
  EXPECT_EQ(background->image()->name(), "Lorvane-应用推荐_a_01");
}

class InformationPagesTest : public testing::AppScreenTest {};

TEST_F(InformationPagesTest, AboutPageLayoutAndBack) {
  auto settings = std::make_shared<SettingViewController>();
  show(settings);
  settings->didSelectRowAtIndexPath(*settings->tableView(), {1, 1});
  auto* about = dynamic_cast<AboutUsViewController*>(navigation->topViewController());
  ASSERT_NE(about, nullptr);
  advance(0.5);
  EXPECT_EQ(about->titleBar()->frame(), (Rect{0, 1, 320, 44}));
  EXPECT_EQ(about->textView()->frame(), (Rect{10, 54, 300, 484}));
  EXPECT_FALSE(about->textView()->isEditable());
  EXPECT_EQ(about->textView()->layer().borderWidth(), 1);
  EXPECT_EQ(about->textView()->layer().cornerRadius(), 8);
  EXPECT_EQ(std::count(about->textView()->text().begin(), about->textView()->text().end(), '\t'),
            4);
  EXPECT_FALSE(about->shouldAutorotateToInterfaceOrientation(InterfaceOrientation::LandscapeLeft));
  press(*about->backButton());
  advance(0.5);
  EXPECT_EQ(navigation->topViewController(), settings.get());
  EXPECT_EQ(CustomTarBar::sharedInstance()->frame().y(), 523);

  Device::currentDevice().setSystemVersion("6.1");
  auto older = std::make_shared<AboutUsViewController>();
  older->view();
  EXPECT_EQ(older->titleBar()->frame().y(), 0);
}

TEST_F(InformationPagesTest, TeacherPagePicksTheTallPictureOnTheTallScreen) {
  auto teacher = std::make_shared<OrvelViewController>();
  show(teacher);
  EXPECT_EQ(teacher->testView()->image()->name(), "orvel是谁_加长版");
  EXPECT_EQ(teacher->testView()->frame(), (Rect{10, 30, 300, 484}));
  EXPECT_FALSE(teacher->shouldAutorotate());
  window->setRootViewController(nullptr);

  Screen::mainScreen().configure({320, 480}, 2);
  Device::currentDevice().setSystemVersion("6.1");
  auto shorter = std::make_shared<OrvelViewController>();
  show(shorter);
  EXPECT_EQ(shorter->testView()->image()->name(), "Lorvane-orvel是谁");
  EXPECT_EQ(shorter->testView()->frame(), (Rect{10, 10, 300, 396}));
}

TEST_F(InformationPagesTest, FeedbackPageIsATitleBarAndABackButton) {
  auto feedback = std::make_shared<FeedbackViewController>();
  EXPECT_EQ(feedback->title(), "意见反馈");
  auto root = std::dynamic_pointer_cast<ImageView>(feedback->view());
  ASSERT_TRUE(root);
  EXPECT_EQ(root->image()->name(), "主底大");
  EXPECT_EQ(root->frame(), Screen::mainScreen().applicationFrame());
  ASSERT_EQ(root->subviews().size(), 3u);
  EXPECT_EQ(root->subviews()[1].get(), feedback->backButton());
  EXPECT_EQ(feedback->backButton()->frame(), (Rect{10, 7, 50, 29}));
}

}  // namespace
}  // namespace lorvane
