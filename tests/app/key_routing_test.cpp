// The keys of a playing lesson as the desktop keyboard sends them: SDL key
// events through the display's own handling into the app's window, the
// whole app on the sample server, the lesson (with its lines) on the real
// media layer. Screens presented over the lesson do not take its keys from
// it, and the device turns with "r" and Ctrl plus an arrow while the plain
// arrows move playback.

#include <gtest/gtest.h>

#include <memory>

#include "app/app_delegate.h"
#include "feeds/cool_topic_view_controller.h"
#include "feeds/feeds_test_support.h"
#include "platform/render/display.h"
#include "platform/ui/application.h"
#include "platform/ui/screen.h"
#include "player/detail_view_controller.h"

namespace lorvane {
namespace {

constexpr double kStep = 1.0 / 60;

// A screen that takes one key for itself and leaves the rest.
class KeyTakingScreen : public ViewController {
 public:
  explicit KeyTakingScreen(std::string key) : key_(std::move(key)) {}
  bool pressKey(const KeyPress& key) override {
    if (key.key != key_ || key.control) return false;
    ++taken_;
    return true;
  }
  int taken() const { return taken_; }

 private:
  std::string key_;
  int taken_ = 0;
};

class KeyRoutingTest : public testing::AppScreenTest {
 protected:
  void SetUp() override {
    AppScreenTest::SetUp();
    startServer();
    std::string error;
    display = Display::create({.headless = true, .scale = 1}, &error);
    ASSERT_TRUE(display) << error;
    delegate = std::make_shared<AppDelegate>();
    ASSERT_TRUE(Application::sharedApplication().launch(delegate));
    root = delegate->rootVC();
    ASSERT_EQ(Window::keyWindow(), delegate->window().get());
    auto grid = std::dynamic_pointer_cast<CoolTopicViewController>(root->controllersArray()[0]);
    ASSERT_TRUE(grid);
    ASSERT_TRUE(pumpUntil([&] { return !grid->tiles().empty(); }));
    // The first lesson, by a click on its tile.
    display->injectTouchDown({80, 100});
    display->injectTouchUp({80, 100});
    ASSERT_TRUE(pumpUntil([&] { return page() != nullptr; }));
    player = page()->playVideoViewController();
    ASSERT_TRUE(pumpUntil([&] {
      return player->isPlaying() && position() > 0.5 && !player->captionTrack().empty();
    })) << "playing "
        << player->isPlaying() << " at " << position();
  }

  void tearDownScreens() override {
    ViewController* screens[] = {root.get(), pageOrNull()};
    for (ViewController* screen : screens) {
      if (screen && screen->presentedViewController()) screen->dismissViewControllerAnimated(false);
    }
    player.reset();
    root.reset();
    delegate.reset();
    Application::sharedApplication().reset();
    CustomTarBar::sharedInstance()->setDelegate(nullptr);
    NavigationController::setAutorotationRule(nullptr);
    NavigationController::setForwardsRotationCallbacks(true);
    display.reset();
  }

  DetailViewController* pageOrNull() const {
    return root && root->navController()
               ? dynamic_cast<DetailViewController*>(root->navController()->topViewController())
               : nullptr;
  }
  DetailViewController* page() const { return pageOrNull(); }
  double position() const {
    auto media = player ? player->videoPlayer() : nullptr;
    return media ? media->currentTime().seconds() : 0;
  }

  // The UI's clock and real time move together, the display turning its
  // loop, until `done` (at most `limit` real seconds).
  bool pumpUntil(const std::function<bool()>& done, double limit = 30) {
    for (double taken = 0; taken < limit; taken += kStep) {
      if (done()) return true;
      advance(kStep);
      RunLoop::main().runUntil([] { return false; }, kStep);
      display->runOnce(0);
    }
    return done();
  }
  void key(const std::string& name) {
    ASSERT_TRUE(display->injectKey(name)) << name;
    display->runOnce(0);
  }
  void settleSeeks() {
    ASSERT_TRUE(pumpUntil([&] { return !player->isSeeking(); }));
  }
  static DeviceOrientation orientation() { return Device::currentDevice().orientation(); }
  static bool interfaceIsLandscape() {
    return isLandscape(Application::sharedApplication().statusBarOrientation());
  }

  std::unique_ptr<Display> display;
  std::shared_ptr<AppDelegate> delegate;
  std::shared_ptr<RootViewController> root;
  std::shared_ptr<PlayVideoViewController> player;
};

TEST_F(KeyRoutingTest, ALessonKeepsItsKeysUnderAScreenPresentedOverIt) {
  auto cover = std::make_shared<ViewController>();
  page()->presentViewController(cover, false);
  ASSERT_EQ(root->navController()->visibleViewController(), cover.get()) << "the lesson is covered";

  // Covered, the page has paused the lesson (and cannot play it off
  // screen); the rest of its keys still work it.
  double before = position();
  std::size_t seeks = player->seekCount();
  key("right");
  EXPECT_EQ(player->seekCount(), seeks + 1);
  settleSeeks();
  EXPECT_GT(position(), before + 4);
  key("c");
  EXPECT_EQ(player->captionMode(), CaptionMode::EnglishOnly);
  key("]");
  EXPECT_EQ(player->playbackSpeed(), 1.25f);
  key("l");
  EXPECT_EQ(player->lineTools().tool(), LineTool::Loop);
  page()->dismissViewControllerAnimated(false);

  // A screen over the whole app leaves the lesson its keys as well.
  auto overAll = std::make_shared<ViewController>();
  root->presentViewController(overAll, false);
  ASSERT_EQ(root->presentedViewController(), overAll);
  key("[");
  EXPECT_EQ(player->playbackSpeed(), 1.0f);
  key("c");
  EXPECT_EQ(player->captionMode(), CaptionMode::ListenFirst);
  root->dismissViewControllerAnimated(false);
}

TEST_F(KeyRoutingTest, APresentedScreenThatTakesAKeyHasItFirst) {
  auto taker = std::make_shared<KeyTakingScreen>("c");
  page()->presentViewController(taker, false);
  key("c");
  EXPECT_EQ(taker->taken(), 1);
  EXPECT_EQ(player->captionMode(), CaptionMode::EnglishAndChinese)
      << "the presented screen took it";
  key("]");
  EXPECT_EQ(player->playbackSpeed(), 1.25f) << "what it leaves works the lesson";
  EXPECT_EQ(taker->taken(), 1);
  page()->dismissViewControllerAnimated(false);
  key("c");
  EXPECT_EQ(taker->taken(), 1);
  EXPECT_EQ(player->captionMode(), CaptionMode::EnglishOnly) << "uncovered, it is the lesson's";
}

TEST_F(KeyRoutingTest, RAndCtrlArrowsTurnTheDeviceWhilePlainArrowsMovePlayback) {
  ASSERT_EQ(orientation(), DeviceOrientation::Portrait);
  std::size_t seeks = player->seekCount();
  key("right");
  EXPECT_EQ(player->seekCount(), seeks + 1) << "a plain arrow is the player's";
  EXPECT_EQ(orientation(), DeviceOrientation::Portrait);
  settleSeeks();
  key("left");
  EXPECT_EQ(player->seekCount(), seeks + 2);
  EXPECT_EQ(orientation(), DeviceOrientation::Portrait);
  settleSeeks();
  key("up");
  key("down");
  EXPECT_EQ(orientation(), DeviceOrientation::Portrait) << "up and down are the volume's";

  seeks = player->seekCount();
  CaptionMode mode = player->captionMode();
  key("r");
  EXPECT_EQ(orientation(), DeviceOrientation::LandscapeLeft);
  ASSERT_TRUE(pumpUntil([] { return interfaceIsLandscape(); }, 5)) << "the lesson page turned";
  // Landscape: the plain arrows still move playback.
  key("right");
  EXPECT_EQ(player->seekCount(), seeks + 1);
  EXPECT_EQ(orientation(), DeviceOrientation::LandscapeLeft);
  settleSeeks();
  key("r");
  EXPECT_EQ(orientation(), DeviceOrientation::Portrait);
  ASSERT_TRUE(pumpUntil([] { return !interfaceIsLandscape(); }, 5));

  key("ctrl+right");
  EXPECT_EQ(orientation(), DeviceOrientation::LandscapeRight);
  key("ctrl+up");
  EXPECT_EQ(orientation(), DeviceOrientation::Portrait);
  key("ctrl+left");
  EXPECT_EQ(orientation(), DeviceOrientation::LandscapeLeft);
  key("ctrl+up");
  EXPECT_EQ(orientation(), DeviceOrientation::Portrait);
  EXPECT_EQ(player->seekCount(), seeks + 1) << "turning moved no playback";
  EXPECT_EQ(player->captionMode(), mode);

  // Under a presented screen "r" still turns the device, and "c" is the
  // lesson's.
  page()->presentViewController(std::make_shared<ViewController>(), false);
  key("r");
  EXPECT_EQ(orientation(), DeviceOrientation::LandscapeLeft);
  key("c");
  EXPECT_NE(player->captionMode(), mode);
  EXPECT_EQ(player->seekCount(), seeks + 1);
}

}  // namespace
}  // namespace lorvane
