// A quit (the window's close box, a quit signal) ends a running script
// where it is: the rest of its lines are not played.
#include <unistd.h>

#include <gtest/gtest.h>

#include <SDL2/SDL.h>

#include <filesystem>
#include <sstream>

#include "app/script_player.h"
#include "platform/foundation/clock.h"
#include "platform/foundation/run_loop.h"

namespace lorvane {
namespace {

namespace fs = std::filesystem;

class ScriptQuitTest : public ::testing::Test {
 protected:
  void SetUp() override {
    display = Display::create({.headless = true, .scale = 1});
    ASSERT_TRUE(display);
    shot = fs::temp_directory_path() / ("lorvane-script-quit-" + std::to_string(getpid()) + ".png");
    fs::remove(shot);
  }
  void TearDown() override { fs::remove(shot); }

  std::string scriptWithALongWait() const {
    // Only a quit ends the wait before the test's own time limit.
    return "wait 600\nscreenshot " + shot.string() + "\n";
  }

  ScopedManualClock clock;
  std::unique_ptr<Display> display;
  fs::path shot;
};

TEST_F(ScriptQuitTest, AQuitDuringAWaitEndsTheScriptThere) {
  ScriptPlayer player(*display);
  RunLoop::main().post([this] { display->quit(); });
  std::istringstream script(scriptWithALongWait());
  std::string error;
  EXPECT_TRUE(player.play(script, &error)) << error;
  EXPECT_TRUE(display->hasQuit());
  EXPECT_FALSE(fs::exists(shot));
}

TEST_F(ScriptQuitTest, ClosingTheWindowEndsTheScriptToo) {
  ScriptPlayer player(*display);
  RunLoop::main().post([this] {
    SDL_Event close{};
    close.type = SDL_QUIT;
    display->dispatchEvent(close);
  });
  std::istringstream script(scriptWithALongWait());
  EXPECT_TRUE(player.play(script));
  EXPECT_FALSE(fs::exists(shot));
  // A script played after the quit does nothing at all.
  std::istringstream later("screenshot " + shot.string() + "\n");
  EXPECT_TRUE(player.play(later));
  EXPECT_FALSE(fs::exists(shot));
}

}  // namespace
}  // namespace lorvane
