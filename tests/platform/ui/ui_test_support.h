#pragma once

#include <gtest/gtest.h>

#include <memory>

#include "platform/foundation/clock.h"
#include "platform/foundation/run_loop.h"
#include "platform/ui/application.h"
#include "platform/ui/font.h"
#include "platform/ui/screen.h"
#include "platform/ui/window.h"

namespace lorvane::testing {

// A key window on the default phone, a manual clock and the fixed font
// metric, with every shared setting put back afterwards. A test may be the
// target of the controls and recognisers it makes.
class UiTest : public ::testing::Test, public virtual Weakable {
 protected:
  void SetUp() override {
    clock_ = std::make_unique<ScopedManualClock>();
    Screen::mainScreen().reset();
    Device::currentDevice().reset();
    Application::sharedApplication().reset();
    FontBackend::install(nullptr);
    window = std::make_shared<Window>();
    window->makeKeyAndVisible();
  }

  void TearDown() override {
    window.reset();
    // Let whatever was scheduled run out while our clock is still in place.
    RunLoop::main().advance(30);
    Device::currentDevice().reset();
    Application::sharedApplication().reset();
    clock_.reset();
  }

  void advance(double seconds) { RunLoop::main().advance(seconds); }

  // A finger that goes down, moves in steps (each `stepTime` apart) and lifts.
  void drag(Point from, Point to, int steps = 10, double stepTime = 0.016) {
    window->touchDown(from);
    for (int i = 1; i <= steps; ++i) {
      advance(stepTime);
      double t = double(i) / steps;
      window->touchMove({from.x + (to.x - from.x) * t, from.y + (to.y - from.y) * t});
    }
    window->touchUp(to);
  }

  void tap(Point p) {
    window->touchDown(p);
    window->touchUp(p);
  }

  std::shared_ptr<Window> window;

 private:
  std::unique_ptr<ScopedManualClock> clock_;
};

}  // namespace lorvane::testing
