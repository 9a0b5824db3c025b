#include <gtest/gtest.h>

#include "platform/ui/animation.h"
#include "platform/ui/view.h"
#include "ui_test_support.h"

namespace lorvane {
namespace {

class AnimationTest : public testing::UiTest {};

TEST_F(AnimationTest, ModelChangesAtOnceWhileTheDrawnValueMoves) {
  auto bar = std::make_shared<View>(Rect{0, 523, 320, 45});
  window->addSubview(bar);
  std::optional<bool> finished;
  animateWithDuration(
      0.3,
      [&] {
        bar->setFrame({0, 568, 320, 45});
      },
      [&](bool f) { finished = f; });
  EXPECT_EQ(bar->frame().y(), 568);
  EXPECT_EQ(bar->presentationFrame().y(), 523);
  EXPECT_TRUE(bar->hasRunningAnimations());
  advance(0.15);
  double mid = bar->presentationFrame().y();
  EXPECT_GT(mid, 523);
  EXPECT_LT(mid, 568);
  EXPECT_NEAR(mid, 545.5, 0.01);  // ease in-out is half way at half time
  EXPECT_FALSE(finished);
  advance(0.2);
  EXPECT_EQ(bar->presentationFrame().y(), 568);
  EXPECT_EQ(finished, std::optional<bool>(true));
  EXPECT_FALSE(bar->hasRunningAnimations());
}

TEST_F(AnimationTest, ASetWithoutAnimationEndsTheRunningOne) {
  auto bar = std::make_shared<View>(Rect{0, 523, 320, 45});
  std::optional<bool> finished;
  animateWithDuration(
      0.3,
      [&] {
        bar->setFrame({0, 568, 320, 45});
      },
      [&](bool f) { finished = f; });
  advance(0.05);
  bar->setFrame({0, 523, 320, 45});  // shown again at once
  EXPECT_EQ(bar->presentationFrame().y(), 523);
  advance(0.01);
  EXPECT_EQ(finished, std::optional<bool>(false));
  advance(1);
  EXPECT_EQ(bar->presentationFrame().y(), 523);
  EXPECT_EQ(finished, std::optional<bool>(false));
}

TEST_F(AnimationTest, DelayLinearCurveAlphaAndColour) {
  auto v = std::make_shared<View>(Rect{0, 0, 10, 10});
  v->setBackgroundColor(Color::black());
  int done = 0;
  animateWithDuration(
      1.0, 0.5, AnimationOptionCurveLinear,
      [&] {
        v->setAlpha(0);
        v->setBackgroundColor(Color::whiteColor());
      },
      [&](bool) { ++done; });
  EXPECT_EQ(v->alpha(), 0);
  advance(0.4);
  EXPECT_EQ(v->presentationAlpha(), 1);  // still waiting for its delay
  advance(0.35);
  EXPECT_NEAR(v->presentationAlpha(), 0.75, 1e-9);
  EXPECT_NEAR(v->presentationBackgroundColor().red, 0.25, 1e-9);
  advance(1);
  EXPECT_EQ(done, 1);
  EXPECT_EQ(v->presentationAlpha(), 0);
}

TEST_F(AnimationTest, ZeroDurationAndEmptyBlocksStillComplete) {
  auto v = std::make_shared<View>();
  bool a = false, b = false;
  animateWithDuration(
      0, [&] { v->setAlpha(0); }, [&](bool f) { a = f; });
  animateWithDuration(
      0.2, [] {}, [&](bool f) { b = f; });
  EXPECT_EQ(v->presentationAlpha(), 0);
  EXPECT_FALSE(a);  // completions come from the run loop, never inside the call
  advance(0);
  EXPECT_TRUE(a);
  advance(0.3);
  EXPECT_TRUE(b);
}

TEST_F(AnimationTest, RotationAnimatesThroughTheAngle) {
  auto v = std::make_shared<View>(Rect{0, 0, 320, 568});
  animateWithDuration(0.4, 0, AnimationOptionCurveLinear,
                      [&] { v->setTransform(AffineTransform::rotation(kPi / 2)); });
  advance(0.2);
  EXPECT_NEAR(v->presentationTransform().rotationAngle(), kPi / 4, 1e-9);
  EXPECT_NEAR(v->presentationTransform().scaleX(), 1, 1e-9);
  advance(0.3);
  EXPECT_EQ(v->presentationTransform(), AffineTransform::rotation(kPi / 2));
}

TEST_F(AnimationTest, WithoutAnimationInsideABlockIsImmediate) {
  auto v = std::make_shared<View>(Rect{0, 0, 10, 10});
  animateWithDuration(1, [&] {
    performWithoutAnimation([&] { v->setCenter({100, 100}); });
    v->setAlpha(0.5);
  });
  EXPECT_EQ(v->presentationCenter(), (Point{100, 100}));
  EXPECT_EQ(v->presentationAlpha(), 1);
}

}  // namespace
}  // namespace lorvane
