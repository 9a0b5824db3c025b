// The feed screens while the content server cannot be reached, as a person
// meets them: the app in a window (SDL's dummy video driver), the server's
// port closed and then served again, the message read off the drawn frame
// and tapped with the mouse through the window's event queue. Then the same
// with the real program playing the offline tour headless.

#include <SDL2/SDL_image.h>
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>

#include "app/app_delegate.h"
#include "feeds/cool_topic_view_controller.h"
#include "feeds/feeds_test_support.h"
#include "feeds/show_view_controller.h"
#include "platform/render/display.h"

namespace lorvane {
namespace {

bool isAccentPink(const Color& c) {
  return c.red > 0.6 && c.green < 0.35 && c.blue > 0.25 && c.blue < 0.6;
}

class FeedsOfflineTest : public testing::AppScreenTest {
 protected:
  void SetUp() override {
    AppScreenTest::SetUp();
    // A port that was just free: nothing listens there until the server
    // comes back on it.
    startServer();
    port = server->port();
    server->stop();
    server.reset();
    setenv("SDL_VIDEODRIVER", "dummy", 1);
    std::string error;
    display = Display::create({.headless = false, .scale = 1}, &error);
    ASSERT_TRUE(display) << error;
    ASSERT_FALSE(display->isHeadless());
  }
  void tearDownScreens() override {
    delegate.reset();
    Application::sharedApplication().reset();
    CustomTarBar::sharedInstance()->setDelegate(nullptr);
    display.reset();
  }

  void launch() {
    delegate = std::make_shared<AppDelegate>();
    ASSERT_TRUE(Application::sharedApplication().launch(delegate));
    turn(1);
  }
  void serverComesBack() {
    demo::ServerOptions options;
    options.port = port;
    startServer(options);
  }
  void click(int x, int y) {
    SDL_Event e{};
    e.type = SDL_MOUSEBUTTONDOWN;
    e.button.button = SDL_BUTTON_LEFT;
    e.button.x = x;
    e.button.y = y;
    ASSERT_EQ(SDL_PushEvent(&e), 1) << SDL_GetError();
    e.type = SDL_MOUSEBUTTONUP;
    ASSERT_EQ(SDL_PushEvent(&e), 1) << SDL_GetError();
    turn();
  }
  void turn(double seconds = 0.05) {
    display->runOnce(0);
    advance(seconds);
    display->runOnce(0);
  }
  // Runs the window (events, network answers, frames) until `done`.
  bool runUntil(const std::function<bool()>& done) {
    return waitUntil([&] {
      display->runOnce(0);
      return done();
    });
  }
  template <typename Screen>
  std::shared_ptr<Screen> screen(std::size_t tab) const {
    return std::dynamic_pointer_cast<Screen>(delegate->rootVC()->controllersArray()[tab]);
  }
  // The message's accent stroke, drawn above its text at the middle of the
  // content area (20 + 503 / 2 points down, 32 up to the panel's top).
  bool messageDrawn() {
    display->drawFrame();
    const int y = int(20 + 503 / 2.0 - FeedErrorView::kPanelHeight / 2 + 13.5);
    auto pixel = display->pixelAt(160, y);
    return pixel && isAccentPink(*pixel);
  }

  std::uint16_t port = 0;
  std::unique_ptr<Display> display;
  std::shared_ptr<AppDelegate> delegate;
};

TEST_F(FeedsOfflineTest, BothFeedsSayTheNetworkFailedAndATapFetchesThemOnceItIsBack) {
  launch();
  auto grid = screen<CoolTopicViewController>(0);
  ASSERT_TRUE(grid);
  ASSERT_TRUE(runUntil([&] { return grid->errorView() && !grid->errorView()->isHidden(); }));
  EXPECT_EQ(grid->runningRequestCount(), 0u);
  EXPECT_FALSE(grid->indicator().isAnimating());
  EXPECT_TRUE(grid->tiles().empty());
  EXPECT_TRUE(messageDrawn());

  // A click while the port is still closed: asked again, failed again.
  {
    LogCapture log;
    click(160, 272);
    ASSERT_TRUE(runUntil([&] { return errorLines(log) == 1 && grid->runningRequestCount() == 0; }));
    EXPECT_FALSE(grid->errorView()->isHidden());
    EXPECT_FALSE(grid->indicator().isAnimating());
    EXPECT_TRUE(messageDrawn());
  }

  // The show list, its first fetch failing the same way.
  click(120, 545);
  auto list = screen<ShowViewController>(1);
  ASSERT_TRUE(list && list->errorView());
  ASSERT_TRUE(runUntil([&] { return !list->errorView()->isHidden(); }));
  EXPECT_EQ(list->runningRequestCount(), 0u);
  EXPECT_EQ(list->indicator(), nullptr);
  EXPECT_TRUE(messageDrawn());

  // The server is back: a click on the message fills the list.
  serverComesBack();
  click(160, 272);
  ASSERT_TRUE(runUntil([&] { return list->videoInfo().size() == 10; }));
  EXPECT_TRUE(list->errorView()->isHidden());
  EXPECT_EQ(list->indicator(), nullptr);
  EXPECT_FALSE(messageDrawn());

  // Back on the grid, the visit fetches it: no message, no spinner left.
  click(40, 545);
  ASSERT_TRUE(runUntil([&] { return grid->tiles().size() == 16; }));
  ASSERT_TRUE(runUntil([&] { return grid->runningRequestCount() == 0; }));
  EXPECT_TRUE(grid->errorView()->isHidden());
  EXPECT_FALSE(grid->indicator().isAnimating());
  EXPECT_FALSE(messageDrawn());
}

// The program as a person starts it, with the sample server dropping every
// feed request, playing the offline tour.
TEST(FeedsOfflineTour, TheTourShowsTheMessageOnBothFeeds) {
  namespace fs = std::filesystem;
  char pattern[] = "/tmp/lorvane-tour-XXXXXX";
  ASSERT_NE(mkdtemp(pattern), nullptr);
  const fs::path folder = pattern;
  const std::string command = "cd '" + folder.string() + "' && LORVANE_HOME='" + folder.string() +
                              "/home' '" LORVANE_PROGRAM "' --headless --sample-fail-first 100 " +
                              "--script '" + LORVANE_SOURCE_DIR +
                              "/demo/tours/feeds-offline.txt' >'" + folder.string() +
                              "/output.txt' 2>&1";
  const int status = std::system(command.c_str());
  std::ifstream output(folder / "output.txt");
  const std::string printed{std::istreambuf_iterator<char>(output), {}};
  ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << printed;

  // The accent stroke of the message, in pixels at scale 2.
  auto accentShown = [&](const char* name) -> std::optional<bool> {
    SDL_Surface* shot = IMG_Load((folder / name).string().c_str());
    if (!shot) return std::nullopt;
    SDL_Surface* rgba = SDL_ConvertSurfaceFormat(shot, SDL_PIXELFORMAT_RGBA32, 0);
    SDL_FreeSurface(shot);
    if (!rgba || rgba->w != 640 || rgba->h != 1136) {
      SDL_FreeSurface(rgba);
      return std::nullopt;
    }
    const int y = int(2 * (20 + 503 / 2.0 - FeedErrorView::kPanelHeight / 2 + 13.5));
    const auto* p = static_cast<const Uint8*>(rgba->pixels) + y * rgba->pitch + 320 * 4;
    const bool pink = isAccentPink(Color::rgb255(p[0], p[1], p[2]));
    SDL_FreeSurface(rgba);
    return pink;
  };
  EXPECT_EQ(accentShown("offline-01-topic-grid.png"), std::optional<bool>(true));
  EXPECT_EQ(accentShown("offline-02-show-list.png"), std::optional<bool>(true));
  EXPECT_EQ(accentShown("offline-03-show-list-tapped.png"), std::optional<bool>(true));
  // Each screen's three requests, and the tap's, were logged as failures.
  std::size_t failures = 0;
  for (std::size_t at = 0; (at = printed.find("error:", at)) != std::string::npos; ++at) ++failures;
  EXPECT_EQ(failures, 7u) << printed;
  fs::remove_all(folder);
}

}  // namespace
}  // namespace lorvane
