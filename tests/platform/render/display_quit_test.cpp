// However the app's loop ends (the window's close box, a quit from the
// program), the application delegate hears applicationWillTerminate once
// per launch.
#include <gtest/gtest.h>

#include <SDL2/SDL.h>

#include <memory>

#include "platform/render/display.h"
#include "platform/ui/application.h"

namespace lorvane {
namespace {

class CountingDelegate : public ApplicationDelegate {
 public:
  void applicationWillTerminate(Application&) override { ++terminations; }
  int terminations = 0;
};

class DisplayQuitTest : public ::testing::Test {
 protected:
  void SetUp() override { Application::sharedApplication().reset(); }
  void TearDown() override { Application::sharedApplication().reset(); }
  static std::unique_ptr<Display> headless() {
    std::string error;
    auto display = Display::create({.headless = true, .scale = 1}, &error);
    EXPECT_TRUE(display) << error;
    return display;
  }
};

TEST_F(DisplayQuitTest, TheCloseBoxEndsTheLoopAndTheAppOnce) {
  auto delegate = std::make_shared<CountingDelegate>();
  Application& app = Application::sharedApplication();
  app.launch(delegate);
  auto display = headless();
  ASSERT_TRUE(display);
  EXPECT_TRUE(display->runOnce(0));
  SDL_Event close{};
  close.type = SDL_QUIT;
  display->dispatchEvent(close);
  EXPECT_TRUE(display->hasQuit());
  EXPECT_FALSE(display->runOnce(0));
  display->run();  // returns at once: the loop has ended
  EXPECT_EQ(delegate->terminations, 1);
  EXPECT_TRUE(app.isTerminated());
  // The program's exit ends the app again after its loop: not heard twice.
  app.terminate();
  EXPECT_EQ(delegate->terminations, 1);
}

TEST_F(DisplayQuitTest, EachLaunchEndsOnceWhicheverWayItEnds) {
  Application& app = Application::sharedApplication();
  auto first = std::make_shared<CountingDelegate>();
  app.launch(first);
  app.terminate();
  app.terminate();
  EXPECT_EQ(first->terminations, 1);

  auto second = std::make_shared<CountingDelegate>();
  app.launch(second);
  EXPECT_FALSE(app.isTerminated());
  auto display = headless();
  ASSERT_TRUE(display);
  display->quit();
  EXPECT_FALSE(display->runOnce(0));
  display->run();
  app.terminate();
  EXPECT_EQ(second->terminations, 1);
  EXPECT_EQ(first->terminations, 1);
}

}  // namespace
}  // namespace lorvane
