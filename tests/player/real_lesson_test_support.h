#pragma once

#include <gtest/gtest.h>

#include <cmath>
#include <memory>
#include <string>

#include "common/documents_folder.h"
#include "demo/server/content_catalog.h"
#include "demo/server/sample_server.h"
#include "platform/foundation/clock.h"
#include "platform/foundation/run_loop.h"
#include "platform/media/player.h"
#include "platform/media/system_volume.h"
#include "platform/ui/alert_view.h"
#include "platform/ui/application.h"
#include "platform/ui/font.h"
#include "platform/ui/image.h"
#include "platform/ui/navigation_controller.h"
#include "platform/ui/screen.h"
#include "platform/ui/window.h"
#include "player/detail_view_controller.h"

namespace lorvane::testing {

// The lesson page on the real media layer, playing a sample lesson from the
// sample server, driven by a finger through the window.
//
// Two clocks run: the UI's (touch times, gesture velocities, animations,
// the bars' auto-hide) is a manual clock, and the media layer plays in real
// time. pump() moves both together, so a finger reported at 60 Hz meets a
// player that decodes and answers as it would in a user's hand; wait() lets
// only real time pass, for things that take what they take (a seek, a
// connection), with the UI's clock standing still.
class RealLessonTest : public ::testing::Test {
 protected:
  static constexpr double kReportInterval = 1.0 / 60;

  void SetUp() override {
    clock_ = std::make_unique<ScopedManualClock>();
    Screen::mainScreen().reset();
    Device::currentDevice().reset();
    Application::sharedApplication().reset();
    FontBackend::install(nullptr);
    Image::setResourcesFolder(LORVANE_SOURCE_DIR "/resources");
    SystemVolume::shared().setVolume(0.5f);
    dismissAlerts();
    window = std::make_shared<Window>();
    window->makeKeyAndVisible();
    std::string error;
    ASSERT_TRUE(catalog.load(demo::defaultSourceDirectory(), &error)) << error;
  }

  void TearDown() override {
    navigation.reset();
    page.reset();
    if (window) window->setRootViewController(nullptr);
    RunLoop::main().runUntilIdle();
    dismissAlerts();
    window.reset();
    if (server) server->stop();
    RunLoop::main().advance(30);
    Device::currentDevice().reset();
    Application::sharedApplication().reset();
    clock_.reset();
  }

  static void dismissAlerts() {
    for (auto& alert : AlertView::visibleAlerts()) alert->dismissWithClickedButtonIndex(0, false);
  }

  // The sample server, on a port of its own or the one given.
  void startServer(std::uint16_t port = 0) {
    demo::ServerOptions options;
    options.sourceDirectory = demo::defaultSourceDirectory();
    options.contentDirectory = demo::defaultContentDirectory();
    options.port = port;
    server = std::make_unique<demo::SampleServer>(options);
    std::string error;
    ASSERT_TRUE(server->start(&error)) << error;
  }

  // The first lesson of the topic feed, as the grid hands it on.
  JSONRef<JSONDictionary> firstLesson() {
    JSONValueRef feed = objectFromJSONString(catalog.topicFeed(server->baseURL()));
    JSONValue* records = feed->asArray()->objectAtIndex(0)->asDictionary()->objectForKey("data");
    return JSONRef<JSONDictionary>::retain(records->asArray()->objectAtIndex(0)->asDictionary());
  }

  // Pushes the page for a record, as a feed screen does; the video starts
  // loading at once.
  void open(JSONRef<JSONDictionary> record, PlayerOptions options = {}) {
    options.clockDrivenAudio = true;
    page = std::make_shared<DetailViewController>();
    page->setPlayerFactory(std::make_shared<MediaPlayerFactory>(options));
    page->setVideoInfoDictionary(std::move(record));
    navigation = std::make_shared<NavigationController>(std::make_shared<ViewController>());
    navigation->setNavigationBarHidden(true, false);
    window->setRootViewController(navigation);
    navigation->pushViewController(page, false);
    player = page->playVideoViewController();
  }

  VideoControlView& overlay() { return *player->videoControlView(); }
  double position() const {
    auto media = player->videoPlayer();
    return media ? media->currentTime().seconds() : 0;
  }
  double streamLength() const { return player->playerItemDuration().seconds(); }

  // Only real time passes; true once `predicate` holds.
  bool wait(const std::function<bool()>& predicate, double seconds) {
    return RunLoop::main().runUntil(predicate, seconds);
  }
  // Both clocks move by `seconds`, a report interval at a time.
  void pump(double seconds) {
    for (double left = seconds; left > 1e-9; left -= kReportInterval) {
      double step = std::min(kReportInterval, left);
      RunLoop::main().advance(step);
      RunLoop::main().runUntil([] { return false; }, step);
    }
  }
  // Playing, some way into the lesson.
  void waitUntilPlayingPast(double seconds) {
    ASSERT_TRUE(wait([&] { return player->isPlaying() && position() > seconds; }, 30))
        << "playing " << player->isPlaying() << " at " << position();
  }

  // A finger at 60 reports a second. `each` runs after every move.
  void fingerDown(Point p) {
    finger_ = p;
    window->touchDown(p);
  }
  void fingerMove(Point to, double seconds, const std::function<void()>& each = {}) {
    int reports = std::max(1, static_cast<int>(std::lround(seconds / kReportInterval)));
    Point from = finger_;
    for (int i = 1; i <= reports; ++i) {
      pump(kReportInterval);
      double t = static_cast<double>(i) / reports;
      finger_ = {from.x + (to.x - from.x) * t, from.y + (to.y - from.y) * t};
      window->touchMove(finger_);
      if (each) each();
    }
  }
  void fingerUp() {
    pump(kReportInterval);
    window->touchUp(finger_);
  }
  void tap(Point p) {
    fingerDown(p);
    fingerUp();
  }
  Point finger() const { return finger_; }

  static Point inWindow(const View& view, Point local) {
    return view.convertPointToView(local, nullptr);
  }
  static Point centreInWindow(const View& view) {
    Rect b = view.bounds();
    return inWindow(view, {b.midX(), b.midY()});
  }

  std::shared_ptr<Window> window;
  std::shared_ptr<NavigationController> navigation;
  std::shared_ptr<DetailViewController> page;
  std::shared_ptr<PlayVideoViewController> player;
  std::unique_ptr<demo::SampleServer> server;
  demo::ContentCatalog catalog;

 private:
  // Where lessons were left (and what was kept) stays with the test.
  ScopedDocumentsFolder documents_;
  std::unique_ptr<ScopedManualClock> clock_;
  Point finger_;
};

}  // namespace lorvane::testing
