#pragma once

#include <gtest/gtest.h>

#include <cstdlib>

#include "platform/foundation/run_loop.h"
#include "support/media/test_media.h"

namespace lorvane::testing {

// Media tests run headless: no sound card, the main run loop on the test
// thread, and nothing left over from the test before.
class MediaTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ::setenv("SDL_AUDIODRIVER", "dummy", 1);
    setClipDirectory(LORVANE_BINARY_DIR "/media-test-clips");
    RunLoop::main().bindToCurrentThread();
    RunLoop::main().runUntilIdle();
  }
  void TearDown() override { RunLoop::main().runUntilIdle(); }

  static bool waitFor(const std::function<bool()>& predicate, double seconds = 10.0) {
    return RunLoop::main().runUntil(predicate, seconds);
  }
  // Runs the main loop for a while of real time.
  static void spin(double seconds) {
    RunLoop::main().runUntil([] { return false; }, seconds);
  }
};

}  // namespace lorvane::testing
