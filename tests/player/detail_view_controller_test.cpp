#include <gtest/gtest.h>

#include <unistd.h>

#include <filesystem>

#include "common/app_configuration.h"
#include "common/custom_tar_bar.h"
#include "platform/foundation/file_manager.h"
#include "platform/foundation/log.h"
#include "platform/services/share_sns_service.h"
#include "platform/ui/application.h"
#include "platform/ui/navigation_controller.h"
#include "player/detail_view_controller.h"
#include "player/record_values.h"
#include "player_test_support.h"
#include "support/media/fake_player.h"

namespace lorvane {
namespace {

using testing::makeRecord;
using testing::number;
using testing::text;

JSONRef<JSONDictionary> lessonRecord(JSONValueRef playTime = number(318),
                                     std::string title = "How to order coffee") {
  std::vector<std::pair<std::string, JSONValueRef>> entries = {
      {"title", text(title)},
      {"videoUrl", text("http://lessons.example/videos/咖啡 1.mp4")},
      {"pubTime", text("2013-09-01")},
      {"teachers", text("Orvel")},
      {"cateName", text("生活")}};
  if (playTime) entries.emplace_back("playTime", playTime);
  return makeRecord(entries);
}

class DetailPageTest : public testing::PlayerUiTest {
 protected:
  void SetUp() override {
    PlayerUiTest::SetUp();
    factory = std::make_shared<testing::FakePlayerFactory>();
    home = std::filesystem::temp_directory_path() /
           ("lorvane-detail-test-" + std::to_string(::getpid()));
    std::filesystem::remove_all(home);
    FileManager::defaultManager().setRootDirectory(home.string());
  }
  void TearDown() override {
    navigation.reset();
    window->setRootViewController(nullptr);
    PlayerUiTest::TearDown();
    std::filesystem::remove_all(home);
  }
  std::shared_ptr<DetailViewController> makePage(JSONRef<JSONDictionary> record) {
    auto page = std::make_shared<DetailViewController>();
    page->setPlayerFactory(factory);
    page->setVideoInfoDictionary(std::move(record));
    return page;
  }
  // The page pushed onto a stack, as a feed screen does.
  std::shared_ptr<DetailViewController> pushPage(JSONRef<JSONDictionary> record) {
    auto page = makePage(std::move(record));
    navigation = std::make_shared<NavigationController>(std::make_shared<ViewController>());
    navigation->setNavigationBarHidden(true, false);
    window->setRootViewController(navigation);
    navigation->pushViewController(page, false);
    advance(1);
    return page;
  }

  std::shared_ptr<testing::FakePlayerFactory> factory;
  std::shared_ptr<NavigationController> navigation;
  std::filesystem::path home;
};

TEST(DetailInformationTest, TextListsDateTeacherCategoryAndLength) {
  EXPECT_EQ(DetailViewController::informationText(lessonRecord().get()),
            "\n\n上线:2013-09-01\n主讲:Orvel\n类型:生活\n时长:05:18\n");
  EXPECT_EQ(DetailViewController::informationText(lessonRecord(number(4000)).get()),
            "\n\n上线:2013-09-01\n主讲:Orvel\n类型:生活\n时长:01:06:40\n");
  // Digits in a string count as well; a missing length shows 00:00.
  std::string fromString = DetailViewController::informationText(lessonRecord(text("318")).get());
  EXPECT_TRUE(fromString.ends_with("时长:05:18\n"));
  std::string missing = DetailViewController::informationText(lessonRecord(nullptr).get());
  EXPECT_TRUE(missing.ends_with("时长:00:00\n"));
  EXPECT_EQ(DetailViewController::informationText(nullptr),
            "\n\n上线:\n主讲:\n类型:\n时长:00:00\n");
  EXPECT_EQ(DetailViewController::stringFormattedTimeFromSeconds(3600), "01:00:00");
  // Several teachers, and numbers where text was expected.
  auto names = JSONArray::mutableArray();
  names->addObject(text("Orvel"));
  names->addObject(text("Brisquel"));
  auto record = makeRecord(
      {{"teachers", JSONValueRef(names)}, {"pubTime", number(2013)}, {"playTime", text(" 75s")}});
  EXPECT_EQ(DetailViewController::informationText(record.get()),
            "\n\n上线:2013\n主讲:Orvel、Brisquel\n类型:\n时长:01:15\n");
}

TEST_F(DetailPageTest, TallPhoneLayout) {
  auto page = pushPage(lessonRecord());
  EXPECT_EQ(page->bottomImage()->frame(), (Rect{0, 20, 320, 568}));
  ASSERT_TRUE(page->bottomImage()->image());
  EXPECT_EQ(page->bottomImage()->image()->name(), "主底大");
  EXPECT_TRUE(page->bottomImage()->isUserInteractionEnabled());
  EXPECT_EQ(page->backButton()->frame(), (Rect{10, 7, 50, 29}));
  EXPECT_EQ(page->shareButton()->frame(), (Rect{250, 0, 70, 44}));
  EXPECT_EQ(page->shareButton()->imageForState(ControlStateHighlighted)->name(),
            "分享按钮-原大-02");
  EXPECT_EQ(page->informationBox()->frame(), (Rect{10, 250, 300, 308}));
  EXPECT_EQ(page->informationBox()->backgroundColor(), Color::rgba(0.1, 0.1, 0.1, 0.9));
  double line = Font::systemFontOfSize(18).lineHeight();
  EXPECT_EQ(page->titleLabel()->frame(), (Rect{20, 260, 280, line}));
  EXPECT_EQ(page->titleLabel()->text(), "How to order coffee");
  EXPECT_EQ(page->detailTextView()->frame().maxY(), 568 - 20);
  EXPECT_FALSE(page->detailTextView()->isEditable());
  EXPECT_TRUE(page->detailTextView()->text().ends_with("时长:05:18\n"));
  // The label lies above the text view.
  const auto& parts = page->bottomImage()->subviews();
  EXPECT_EQ(parts.back().get(), page->titleLabel());
  EXPECT_EQ(integerValueOf(page->duration().get()), 318);
}

TEST_F(DetailPageTest, ATwoLineTitleMovesTheTextDown) {
  auto oneLine = pushPage(lessonRecord());
  double oneHeight = oneLine->titleLabel()->frame().height();
  double oneTop = oneLine->detailTextView()->frame().y();
  auto twoLines =
      pushPage(lessonRecord(number(318), "A much longer lesson title that needs two lines"));
  EXPECT_DOUBLE_EQ(twoLines->titleLabel()->frame().height(), 2 * oneHeight);
  EXPECT_DOUBLE_EQ(twoLines->detailTextView()->frame().y(), oneTop + oneHeight);
  EXPECT_EQ(twoLines->detailTextView()->frame().maxY(), 548);
}

TEST_F(DetailPageTest, InformationBoxOnOtherScreensAndSystems) {
  Screen::mainScreen().configure({320, 480}, 2);
  auto page = makePage(lessonRecord());
  page->view();
  EXPECT_EQ(page->informationBox()->frame(), (Rect{10, 250, 300, 230}));
  Device::currentDevice().setSystemVersion("6.1");
  auto older = makePage(lessonRecord());
  older->view();
  EXPECT_EQ(older->informationBox()->frame(), (Rect{10, 230, 300, 220}));
  EXPECT_EQ(older->bottomImage()->frame().y(), older->view()->bounds().y());
  EXPECT_EQ(older->playVideoViewController()->view()->frame(), (Rect{0, 44, 320, 176}));
  Screen::mainScreen().reset();
}

TEST_F(DetailPageTest, ThePlayerLoadsTheLessonUnderTheTitleBar) {
  auto page = pushPage(lessonRecord());
  auto player = page->playVideoViewController();
  EXPECT_EQ(player->view()->frame(), (Rect{0, 64, 320, 176}));
  EXPECT_EQ(player->view()->superview(), page->view().get());
  EXPECT_TRUE(player->videoControlView()->headControlBar().isHidden());
  EXPECT_EQ(player->delegate(), page.get());
  EXPECT_EQ(integerValueOf(player->duration().get()), 318);
  ASSERT_EQ(factory->items().size(), 1u);
  EXPECT_EQ(factory->lastItem()->url(), "http://lessons.example/videos/%E5%92%96%E5%95%A1%201.mp4");
  EXPECT_EQ(player->videoTitle(), "How to order coffee");
  EXPECT_TRUE(player->fullScreenModeToggled());
  // Snapshot of the page, the share picture.
  ASSERT_TRUE(page->snapShot());
  EXPECT_EQ(page->snapShot()->size(), (Size{320, 568}));
}

TEST_F(DetailPageTest, AFingerOnTheFullScreenButtonTurnsThePage) {
  auto page = pushPage(lessonRecord());
  auto player = page->playVideoViewController();
  advance(0.5);
  window->layoutIfNeeded();
  Button& button = player->videoControlView()->fullScreenButton();
  const Point centre = button.convertPointToView(
      {button.bounds().width() / 2, button.bounds().height() / 2}, window.get());
  EXPECT_EQ(window->hitTest(centre), &button);
  tap(centre);
  advance(1);
  EXPECT_TRUE(isLandscape(Application::sharedApplication().statusBarOrientation()));
}

TEST_F(DetailPageTest, WithoutARecordNoPlayerIsMade) {
  auto page = makePage(nullptr);
  page->view();
  EXPECT_TRUE(factory->items().empty());
  EXPECT_EQ(page->view()->subviews().size(), 1u);
}

TEST_F(DetailPageTest, TurningToLandscapeLetsThePlayerFillTheScreen) {
  auto page = pushPage(lessonRecord());
  auto player = page->playVideoViewController();
  EXPECT_TRUE(page->shouldAutorotateToInterfaceOrientation(InterfaceOrientation::LandscapeLeft));
  EXPECT_FALSE(
      page->shouldAutorotateToInterfaceOrientation(InterfaceOrientation::PortraitUpsideDown));
  player->videoControlView()->fullScreenButton().sendActionsForControlEvents(
      ControlEventTouchUpInside);
  advance(1);
  EXPECT_TRUE(isLandscape(Application::sharedApplication().statusBarOrientation()));
  EXPECT_TRUE(Application::sharedApplication().isStatusBarHidden());
  EXPECT_EQ(player->view()->frame(), (Rect{0, 0, 568, 320}));
  EXPECT_FALSE(player->videoControlView()->headControlBar().isHidden());
  player->view()->layoutIfNeeded();
  EXPECT_FALSE(player->videoControlView()->volumeButton().isHidden());
  // The back button turns it back.
  player->videoControlView()->backButton().sendActionsForControlEvents(ControlEventTouchUpInside);
  advance(1);
  EXPECT_EQ(Application::sharedApplication().statusBarOrientation(),
            InterfaceOrientation::Portrait);
  EXPECT_FALSE(Application::sharedApplication().isStatusBarHidden());
  EXPECT_EQ(player->view()->frame(), (Rect{0, 64, 320, 176}));
  EXPECT_TRUE(player->videoControlView()->headControlBar().isHidden());
  // Upside down is refused and changes nothing.
  page->resizeViewForInterfaceOrientation(InterfaceOrientation::PortraitUpsideDown);
  EXPECT_EQ(player->view()->frame(), (Rect{0, 64, 320, 176}));
}

TEST_F(DetailPageTest, BackPopsPausesAndShowsTheTabBar) {
  LogCapture logs;
  auto page = pushPage(lessonRecord());
  auto fake = factory->lastPlayer();
  auto tabBar = CustomTarBar::sharedInstance();
  tabBar->hideTabBar(true, false);
  fake->play();
  page->backButton()->sendActionsForControlEvents(ControlEventTouchUpInside);
  advance(1);
  EXPECT_EQ(navigation->viewControllers().size(), 1u);
  EXPECT_EQ(fake->rate(), 0);
  EXPECT_EQ(page->playVideoViewController()->view()->superview(), nullptr);
  EXPECT_EQ(tabBar->frame().y(), 568 - 45);
  EXPECT_TRUE(logs.contains("-[DetailViewController viewWillDisappear:]"));
}

TEST_F(DetailPageTest, APageCoveringItStopsThePlayerForGood) {
  auto page = pushPage(lessonRecord());
  auto fake = factory->lastPlayer();
  fake->play();
  navigation->pushViewController(std::make_shared<ViewController>(), false);
  advance(1);
  EXPECT_EQ(fake->rate(), 0);
  EXPECT_EQ(page->playVideoViewController()->view()->superview(), nullptr);
  navigation->popViewControllerAnimated(false);
  advance(1);
  EXPECT_EQ(page->playVideoViewController()->view()->superview(), nullptr);
  EXPECT_EQ(factory->lastItem()->observerCount(), 0u);
}

TEST_F(DetailPageTest, TheBuildsShareKeyHasItsForm) {
  const std::string key = AppConfiguration::buildDefaults().shareAppKey;
  EXPECT_EQ(key.size(), 24u);
  EXPECT_EQ(key.find_first_not_of("0123456789abcdef"), std::string::npos) << key;
}

TEST_F(DetailPageTest, ShareOpensTheSheetAndRecordsTheRequest) {
  // The key that start-up registers is the one every share carries.
  AppConfiguration saved = AppConfiguration::current();
  AppConfiguration configured = saved;
  configured.shareAppKey = "0123456789abcdef01234567";
  AppConfiguration::setCurrent(configured);
  struct Restore {
    AppConfiguration configuration;
    ~Restore() { AppConfiguration::setCurrent(configuration); }
  } restore{saved};
  auto page = pushPage(lessonRecord());
  page->shareButton()->sendActionsForControlEvents(ControlEventTouchUpInside);
  auto sheet = ShareSnsService::visibleSheet();
  ASSERT_TRUE(sheet);
  EXPECT_EQ(sheet->superview(), page->view().get());
  EXPECT_EQ(sheet->platforms(),
            (std::vector<std::string>{"tencent", "renren", "email", "sms", "wxtimeline"}));
  sheet->layoutIfNeeded();
  Button* choice = sheet->buttonForPlatform("wxtimeline");
  ASSERT_TRUE(choice);
  EXPECT_EQ(choice->titleForState(ControlStateNormal), "微信朋友圈");
  Rect r = choice->frame();
  tap(choice->superview()->convertPointToView({r.midX(), r.midY()}, nullptr));
  EXPECT_FALSE(ShareSnsService::visibleSheet());
  auto alerts = AlertView::visibleAlerts();
  ASSERT_EQ(alerts.size(), 1u);
  EXPECT_EQ(alerts[0]->title(), "分享成功");

  auto entries =
      FileManager::defaultManager().contentsOfDirectory(ShareSnsService::outboxDirectory());
  ASSERT_EQ(entries.size(), 1u);
  EXPECT_TRUE(entries[0].ends_with("-wxtimeline"));
  std::string folder = appendingPathComponent(ShareSnsService::outboxDirectory(), entries[0]);
  auto request = FileManager::defaultManager().stringContentsAtPath(
      appendingPathComponent(folder, "request.json"));
  ASSERT_TRUE(request);
  JSONValueRef decoded = objectFromJSONString(*request);
  ASSERT_TRUE(decoded && decoded->asDictionary());
  const JSONDictionary* fields = decoded->asDictionary();
  EXPECT_EQ(fields->objectForKey("text")->stringValue(), DetailViewController::kShareText);
  EXPECT_EQ(fields->objectForKey("platform")->stringValue(), "wxtimeline");
  EXPECT_EQ(fields->objectForKey("appKey")->stringValue(), "0123456789abcdef01234567");
  auto png =
      FileManager::defaultManager().contentsAtPath(appendingPathComponent(folder, "snapshot.png"));
  ASSERT_TRUE(png);
  ASSERT_GT(png->size(), 8u);
  EXPECT_EQ((*png)[1], 'P');
  EXPECT_EQ((*png)[2], 'N');
  EXPECT_EQ((*png)[3], 'G');
}

TEST_F(DetailPageTest, CancellingTheSheetSharesNothing) {
  auto page = pushPage(lessonRecord());
  page->shareAction();
  auto sheet = ShareSnsService::visibleSheet();
  ASSERT_TRUE(sheet);
  sheet->cancelButton()->sendActionsForControlEvents(ControlEventTouchUpInside);
  EXPECT_FALSE(ShareSnsService::visibleSheet());
  EXPECT_TRUE(AlertView::visibleAlerts().empty());
  EXPECT_TRUE(FileManager::defaultManager()
                  .contentsOfDirectory(ShareSnsService::outboxDirectory())
                  .empty());
}

}  // namespace
}  // namespace lorvane
