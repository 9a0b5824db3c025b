#include <gtest/gtest.h>

#include <filesystem>

#include "common/documents_folder.h"
#include "demo/server/content_catalog.h"
#include "demo/server/sample_server.h"
#include "platform/foundation/clock.h"
#include "platform/foundation/run_loop.h"
#include "platform/media/player.h"
#include "platform/media/system_volume.h"
#include "platform/render/display.h"
#include "platform/services/share_sns_service.h"
#include "platform/ui/alert_view.h"
#include "platform/ui/application.h"
#include "platform/ui/image.h"
#include "platform/ui/navigation_controller.h"
#include "platform/ui/window.h"
#include "player/detail_view_controller.h"

// The detail page drawn by the offscreen renderer while a sample lesson
// plays, in portrait and in landscape. The pictures are left in the build
// folder for a person to look at.

namespace lorvane {
namespace {

bool isDark(const Color& c) {
  return c.red < 0.08 && c.green < 0.08 && c.blue < 0.08;
}

TEST(PlayerScreenshotTest, ThePlayingLessonShowsInBothOrientations) {
  testing::ScopedDocumentsFolder documents;
  Clock::resetShared();
  Screen::mainScreen().reset();
  Device::currentDevice().reset();
  Application::sharedApplication().reset();
  Image::setResourcesFolder(LORVANE_SOURCE_DIR "/resources");
  SystemVolume::shared().setVolume(0.5f);
  std::string error;
  auto display = Display::create({.headless = true, .scale = 1}, &error);
  ASSERT_TRUE(display) << error;

  demo::ServerOptions options;
  options.sourceDirectory = demo::defaultSourceDirectory();
  options.contentDirectory = demo::defaultContentDirectory();
  demo::SampleServer server(options);
  ASSERT_TRUE(server.start(&error)) << error;
  demo::ContentCatalog catalog;
  ASSERT_TRUE(catalog.load(options.sourceDirectory, &error)) << error;
  JSONValueRef feed = objectFromJSONString(catalog.showFeed(server.baseURL()));
  ASSERT_TRUE(feed && feed->asArray());
  JSONValue* records = feed->asArray()->objectAtIndex(0)->asDictionary()->objectForKey("data");
  auto record =
      JSONRef<JSONDictionary>::retain(records->asArray()->objectAtIndex(0)->asDictionary());

  auto window = std::make_shared<Window>();
  window->makeKeyAndVisible();
  auto navigation = std::make_shared<NavigationController>(std::make_shared<ViewController>());
  navigation->setNavigationBarHidden(true, false);
  window->setRootViewController(navigation);
  auto page = std::make_shared<DetailViewController>();
  PlayerOptions playerOptions;
  playerOptions.clockDrivenAudio = true;
  page->setPlayerFactory(std::make_shared<MediaPlayerFactory>(playerOptions));
  page->setVideoInfoDictionary(record);
  navigation->pushViewController(page, false);
  auto player = page->playVideoViewController();
  ASSERT_TRUE(RunLoop::main().runUntil(
      [&] { return player->isPlaying() && player->videoPlayer()->currentTime().seconds() > 1.0; },
      20));

  std::filesystem::path folder = LORVANE_BINARY_DIR;
  display->drawFrame();
  EXPECT_TRUE(display->saveScreenshot(folder / "player-portrait.png"));
  // The middle of the picture is lesson video, not the black of an empty layer.
  auto middle = display->pixelAt(160, 64 + 70);
  ASSERT_TRUE(middle);
  EXPECT_FALSE(isDark(*middle));

  // The seek indicator of a sideways pan, then the share sheet.
  double before = player->videoPlayer()->currentTime().seconds();
  player->handlePan(GestureRecognizerState::Began, {300, 0}, {0, 0});
  player->handlePan(GestureRecognizerState::Changed, {300, 0}, {30, 0});
  display->drawFrame();
  EXPECT_TRUE(display->saveScreenshot(folder / "player-seek.png"));
  ASSERT_TRUE(player->progHUD());
  EXPECT_EQ(player->progHUD()->label().text(),
            PlayVideoViewController::stringTimeFromSeconds(before + 3));
  player->handlePan(GestureRecognizerState::Ended, {0, 0}, {30, 0});
  // The level a volume swipe shows in portrait.
  player->handlePan(GestureRecognizerState::Began, {0, -300}, {0, 0});
  player->handlePan(GestureRecognizerState::Changed, {0, -300}, {0, -30});
  display->drawFrame();
  EXPECT_TRUE(display->saveScreenshot(folder / "player-volume.png"));
  ASSERT_TRUE(player->volumeLevelView());
  EXPECT_EQ(player->volumeLevelView()->levelText(), "70%");
  player->handlePan(GestureRecognizerState::Ended, {0, 0}, {0, -30});
  page->shareAction();
  display->drawFrame();
  EXPECT_TRUE(display->saveScreenshot(folder / "player-share.png"));
  auto sheet = ShareSnsService::visibleSheet();
  ASSERT_TRUE(sheet);
  sheet->cancelButton()->sendActionsForControlEvents(ControlEventTouchUpInside);

  page->fullScreenVideo();
  RunLoop::main().runUntil([] { return false; }, 1.0);
  display->drawFrame();
  EXPECT_TRUE(display->saveScreenshot(folder / "player-landscape.png"));
  // The phone turned, and the screen with it: a landscape picture with the
  // page upright in it, the lesson filling it from edge to edge.
  EXPECT_TRUE(isLandscape(Application::sharedApplication().statusBarOrientation()));
  EXPECT_EQ(display->pixelWidth(), 568);
  EXPECT_EQ(display->pixelHeight(), 320);
  EXPECT_EQ(player->view()->frame(), (Rect{0, 0, 568, 320}));
  // The picture's view covers the whole turned screen.
  auto videoView = player->videoControlView();
  ASSERT_TRUE(videoView && videoView->layer().videoFrameSource());
  Rect shown = videoView->convertRectToView(videoView->bounds(), nullptr);
  Point topLeft = display->windowPointFromShown({0, 0});
  Point bottomRight = display->windowPointFromShown({568, 320});
  EXPECT_TRUE(nearlyEqual(shown, Rect{std::min(topLeft.x, bottomRight.x),
                                      std::min(topLeft.y, bottomRight.y), 320, 568}))
      << toString(shown);
  int lit = 0;
  for (int x = 4; x < 568; x += 40) {
    auto pixel = display->pixelAt(x, 160);
    ASSERT_TRUE(pixel);
    lit += !isDark(*pixel);
  }
  EXPECT_GT(lit, 10) << "the picture runs across the whole width";

  page->minimizeVideo();
  RunLoop::main().runUntil([] { return false; }, 0.6);
  display->drawFrame();
  EXPECT_EQ(display->pixelWidth(), 320);
  EXPECT_EQ(display->pixelHeight(), 568);
  EXPECT_TRUE(display->saveScreenshot(folder / "player-portrait-again.png"));
  navigation.reset();
  window->setRootViewController(nullptr);
  RunLoop::main().runUntilIdle();
  for (auto& alert : AlertView::visibleAlerts()) alert->dismissWithClickedButtonIndex(0, false);
  window.reset();
  server.stop();
  Application::sharedApplication().reset();
}

}  // namespace
}  // namespace lorvane
