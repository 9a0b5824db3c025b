#include <gtest/gtest.h>

#include "common/documents_folder.h"
#include "demo/server/content_catalog.h"
#include "demo/server/sample_server.h"
#include "platform/foundation/clock.h"
#include "platform/foundation/run_loop.h"
#include "platform/media/player.h"
#include "platform/ui/alert_view.h"
#include "platform/ui/application.h"
#include "platform/ui/font.h"
#include "platform/ui/image.h"
#include "platform/ui/navigation_controller.h"
#include "platform/ui/window.h"
#include "player/detail_view_controller.h"
#include "player/record_values.h"

// The detail page against the real player and the sample lessons served
// on loopback. Real time: the player's clock runs as it would for a user.

namespace lorvane {
namespace {

class PlaybackTest : public ::testing::Test {
 protected:
  void SetUp() override {
    Clock::resetShared();
    Screen::mainScreen().reset();
    Device::currentDevice().reset();
    Application::sharedApplication().reset();
    FontBackend::install(nullptr);
    Image::setResourcesFolder(LORVANE_SOURCE_DIR "/resources");
    for (auto& alert : AlertView::visibleAlerts()) alert->dismissWithClickedButtonIndex(0, false);
    window = std::make_shared<Window>();
    window->makeKeyAndVisible();

    demo::ServerOptions options;
    options.sourceDirectory = demo::defaultSourceDirectory();
    options.contentDirectory = demo::defaultContentDirectory();
    server = std::make_unique<demo::SampleServer>(options);
    std::string error;
    ASSERT_TRUE(server->start(&error)) << error;
    ASSERT_TRUE(catalog.load(demo::defaultSourceDirectory(), &error)) << error;
    feed = objectFromJSONString(catalog.topicFeed(server->baseURL()));
    ASSERT_TRUE(feed && feed->asArray());
  }
  void TearDown() override {
    navigation.reset();
    if (window) window->setRootViewController(nullptr);
    RunLoop::main().runUntilIdle();
    for (auto& alert : AlertView::visibleAlerts()) alert->dismissWithClickedButtonIndex(0, false);
    window.reset();
    if (server) server->stop();
    Application::sharedApplication().reset();
  }
  // The first lesson of the topic feed, as the grid hands it on.
  JSONRef<JSONDictionary> firstLesson() {
    JSONValue* page = feed->asArray()->objectAtIndex(0);
    JSONValue* records = page->asDictionary()->objectForKey("data");
    return JSONRef<JSONDictionary>::retain(records->asArray()->objectAtIndex(0)->asDictionary());
  }
  std::shared_ptr<DetailViewController> push(JSONRef<JSONDictionary> record) {
    auto page = std::make_shared<DetailViewController>();
    PlayerOptions options;
    options.clockDrivenAudio = true;
    page->setPlayerFactory(std::make_shared<MediaPlayerFactory>(options));
    page->setVideoInfoDictionary(std::move(record));
    navigation = std::make_shared<NavigationController>(std::make_shared<ViewController>());
    window->setRootViewController(navigation);
    navigation->pushViewController(page, false);
    return page;
  }

  // Where lessons were left stays with the test.
  testing::ScopedDocumentsFolder documents;
  std::shared_ptr<Window> window;
  std::shared_ptr<NavigationController> navigation;
  std::unique_ptr<demo::SampleServer> server;
  demo::ContentCatalog catalog;
  JSONValueRef feed;
};

TEST_F(PlaybackTest, ALessonBecomesReadyPlaysAndItsClockMoves) {
  auto page = push(firstLesson());
  auto player = page->playVideoViewController();
  auto& overlay = *player->videoControlView();
  EXPECT_TRUE(overlay.activityIndicator().isAnimating());
  ASSERT_TRUE(RunLoop::main().runUntil([&] { return player->isPlaying(); }, 20));
  EXPECT_FALSE(overlay.activityIndicator().isAnimating());
  EXPECT_TRUE(player->hasTimeObservers());
  ASSERT_TRUE(RunLoop::main().runUntil(
      [&] { return !overlay.timeLabel().text().starts_with("00:00/"); }, 10))
      << overlay.timeLabel().text();
  EXPECT_GT(player->videoPlayer()->currentTime().seconds(), 0.9);
  EXPECT_TRUE(overlay.timeLabel().text().ends_with(PlayVideoViewController::stringTimeFromSeconds(
      double(integerValueOf(page->videoInfoDictionary()->objectForKey("playTime"))))));
  // Pictures reach the overlay's layer.
  ASSERT_TRUE(overlay.layer().videoFrameSource());
  EXPECT_TRUE(overlay.layer().videoFrameSource()->currentFrame());
  // Leaving the page pauses it.
  page->backAction();
  RunLoop::main().runUntil([&] { return !navigation->isTransitioning(); }, 5);
  EXPECT_FALSE(player->isPlaying());
}

TEST_F(PlaybackTest, AMissingURLFailsCleanlyWithTheAlert) {
  auto record = JSONDictionary::mutableDictionary();
  record->setObject(JSONValueRef(JSONStringValue::create("No video")), "title");
  auto page = push(record);
  auto player = page->playVideoViewController();
  ASSERT_TRUE(RunLoop::main().runUntil([] { return !AlertView::visibleAlerts().empty(); }, 15));
  EXPECT_EQ(player->videoPlayer(), nullptr);
  EXPECT_FALSE(player->videoControlView()->activityIndicator().isAnimating());
  EXPECT_EQ(AlertView::visibleAlerts().front()->buttonTitleAtIndex(0), "取消");
  EXPECT_EQ(AlertView::visibleAlerts().front()->buttonTitleAtIndex(1), "重试");
  EXPECT_FALSE(AlertView::visibleAlerts().front()->title().empty());
}

}  // namespace
}  // namespace lorvane
