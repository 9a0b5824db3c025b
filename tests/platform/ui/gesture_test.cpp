#include <gtest/gtest.h>

#include "platform/ui/button.h"
#include "platform/ui/gesture_recognizer.h"
#include "platform/ui/slider.h"
#include "ui_test_support.h"

namespace lorvane {
namespace {

using S = GestureRecognizerState;

class GestureTest : public testing::UiTest {
 protected:
  void SetUp() override {
    UiTest::SetUp();
    surface = std::make_shared<View>(Rect{0, 0, 320, 568});
    window->addSubview(surface);
  }
  std::shared_ptr<View> surface;
};

// Records every report with the values a handler would read.
struct PanLog {
  std::vector<S> states;
  std::vector<Point> translations;
  std::vector<Point> velocities;
  const View* in = nullptr;
  bool resetTranslation = false;
  void operator()(GestureRecognizer& r) {
    auto& pan = static_cast<PanGestureRecognizer&>(r);
    states.push_back(pan.state());
    translations.push_back(pan.translationInView(in));
    velocities.push_back(pan.velocityInView(in));
    if (resetTranslation) pan.setTranslation({0, 0}, in);
  }
};

struct Refusals : GestureRecognizerDelegate {
  std::optional<bool> begin, receive, simultaneous;
  View* refusedView = nullptr;
  std::optional<bool> gestureRecognizerShouldBegin(GestureRecognizer&) override { return begin; }
  std::optional<bool> shouldReceiveTouch(GestureRecognizer&, const Touch& t) override {
    if (refusedView) return !t.view()->isDescendantOfView(refusedView);
    return receive;
  }
  std::optional<bool> shouldRecognizeSimultaneouslyWithGestureRecognizer(
      GestureRecognizer&, GestureRecognizer&) override {
    return simultaneous;
  }
};

TEST_F(GestureTest, TapRecognisesOnLiftAndFailsWhenTheFingerWanders) {
  int taps = 0;
  auto tapRecognizer = std::make_shared<TapGestureRecognizer>(this, [&](GestureRecognizer& r) {
    EXPECT_EQ(r.state(), S::Recognized);
    ++taps;
  });
  surface->addGestureRecognizer(tapRecognizer);
  window->touchDown({100, 100});
  EXPECT_EQ(tapRecognizer->state(), S::Possible);
  window->touchUp({102, 101});
  EXPECT_EQ(taps, 1);
  window->touchDown({100, 100});
  window->touchMove({140, 100});
  EXPECT_EQ(tapRecognizer->state(), S::Failed);
  window->touchUp({140, 100});
  EXPECT_EQ(taps, 1);
  // A fresh touch starts over.
  tap({50, 50});
  EXPECT_EQ(taps, 2);
  EXPECT_EQ(tapRecognizer->locationInView(surface.get()), (Point{50, 50}));
}

TEST_F(GestureTest, PanReportsStatesTranslationAndVelocity) {
  PanLog log;
  log.in = surface.get();
  auto pan = std::make_shared<PanGestureRecognizer>(this, std::ref(log));
  surface->addGestureRecognizer(pan);
  window->touchDown({100, 100});
  advance(0.01);
  window->touchMove({105, 100});  // within the hysteresis: still possible
  EXPECT_TRUE(log.states.empty());
  advance(0.01);
  window->touchMove({120, 100});
  advance(0.01);
  window->touchMove({140, 100});
  advance(0.01);
  window->touchUp({140, 100});
  ASSERT_EQ(log.states.size(), 3u);
  EXPECT_EQ(log.states[0], S::Began);
  EXPECT_EQ(log.states[1], S::Changed);
  EXPECT_EQ(log.states[2], S::Ended);
  EXPECT_EQ(log.translations[1], (Point{20, 0}));
  // 40 points in 0.03 seconds, to the right.
  EXPECT_NEAR(log.velocities[1].x, 40 / 0.03, 1e-6);
  EXPECT_NEAR(log.velocities[1].y, 0, 1e-9);
}

TEST_F(GestureTest, SetTranslationMakesReportsRelative) {
  PanLog log;
  log.in = surface.get();
  log.resetTranslation = true;
  auto pan = std::make_shared<PanGestureRecognizer>(this, std::ref(log));
  surface->addGestureRecognizer(pan);
  window->touchDown({100, 100});
  window->touchMove({100, 120});
  window->touchMove({100, 127});
  window->touchMove({100, 130});
  window->touchUp({100, 130});
  ASSERT_EQ(log.translations.size(), 4u);
  EXPECT_EQ(log.translations[1], (Point{0, 7}));
  EXPECT_EQ(log.translations[2], (Point{0, 3}));
}

TEST_F(GestureTest, TranslationIsMeasuredInTheGivenViewsSpace) {
  PanLog log;
  auto turned = std::make_shared<View>(Rect{0, 0, 320, 568});
  turned->setTransform(AffineTransform::rotation(kPi / 2));
  turned->setBounds({0, 0, 568, 320});
  surface->addSubview(turned);
  log.in = turned.get();
  auto pan = std::make_shared<PanGestureRecognizer>(this, std::ref(log));
  turned->addGestureRecognizer(pan);
  window->touchDown({100, 100});
  window->touchMove({100, 120});
  window->touchMove({100, 150});  // down the screen: along +x of the turned view
  window->touchUp({100, 150});
  ASSERT_GE(log.translations.size(), 2u);
  EXPECT_NEAR(log.translations[1].x, 30, 1e-9);
  EXPECT_NEAR(log.translations[1].y, 0, 1e-9);
}

TEST_F(GestureTest, DelegateRefusalsKeepRecognisersOut) {
  Refusals refusals;
  int pans = 0;
  auto pan = std::make_shared<PanGestureRecognizer>(this, [&](GestureRecognizer&) { ++pans; });
  pan->setDelegate(&refusals);
  surface->addGestureRecognizer(pan);
  refusals.begin = false;
  drag({100, 100}, {200, 100});
  EXPECT_EQ(pans, 0);
  refusals.begin.reset();
  auto bar = std::make_shared<View>(Rect{0, 500, 320, 68});
  surface->addSubview(bar);
  refusals.refusedView = bar.get();
  drag({100, 520}, {200, 520});
  EXPECT_EQ(pans, 0);
  drag({100, 100}, {200, 100});
  EXPECT_GT(pans, 2);
}

TEST_F(GestureTest, SimultaneousRecognitionNeedsTheDelegatesConsent) {
  Refusals refusals;
  int outer = 0, inner = 0;
  auto child = std::make_shared<View>(Rect{0, 0, 320, 300});
  surface->addSubview(child);
  auto innerPan =
      std::make_shared<PanGestureRecognizer>(this, [&](GestureRecognizer&) { ++inner; });
  auto outerPan =
      std::make_shared<PanGestureRecognizer>(this, [&](GestureRecognizer&) { ++outer; });
  child->addGestureRecognizer(innerPan);
  surface->addGestureRecognizer(outerPan);
  outerPan->setDelegate(&refusals);
  drag({100, 100}, {200, 100});
  EXPECT_GT(inner, 0);
  EXPECT_EQ(outer, 0);  // the nearer recogniser won
  refusals.simultaneous = true;
  inner = 0;
  drag({100, 100}, {200, 100});
  EXPECT_GT(inner, 0);
  EXPECT_GT(outer, 0);
}

TEST_F(GestureTest, RecognitionCancelsTheViewsTouches) {
  auto button = Button::buttonWithType(ButtonType::Custom);
  button->setFrame({50, 50, 100, 100});
  surface->addSubview(button);
  int fired = 0, cancelled = 0;
  button->addTarget(
      this, [&](Control&) { ++fired; }, ControlEventTouchUpInside);
  button->addTarget(
      this, [&](Control&) { ++cancelled; }, ControlEventTouchCancel);
  int pans = 0;
  auto pan = std::make_shared<PanGestureRecognizer>(this, [&](GestureRecognizer&) { ++pans; });
  surface->addGestureRecognizer(pan);
  window->touchDown({60, 60});
  EXPECT_TRUE(button->isHighlighted());
  window->touchMove({70, 60});
  window->touchMove({80, 60});
  EXPECT_EQ(cancelled, 1);
  EXPECT_FALSE(button->isHighlighted());
  window->touchUp({80, 60});
  EXPECT_EQ(fired, 0);
  EXPECT_GT(pans, 0);
  // Without cancelling, the button keeps its touch.
  pan->setCancelsTouchesInView(false);
  drag({60, 60}, {90, 60});
  EXPECT_EQ(fired, 1);
}

TEST_F(GestureTest, ButtonTapWinsOverATapRecogniserAbove) {
  auto button = Button::buttonWithType(ButtonType::Custom);
  button->setFrame({50, 50, 100, 100});
  surface->addSubview(button);
  int fired = 0, taps = 0;
  button->addTarget(
      this, [&](Control&) { ++fired; }, ControlEventTouchUpInside);
  surface->addGestureRecognizer(
      std::make_shared<TapGestureRecognizer>(this, [&](GestureRecognizer&) { ++taps; }));
  tap({60, 60});
  EXPECT_EQ(fired, 1);
  EXPECT_EQ(taps, 0);
  tap({250, 400});
  EXPECT_EQ(taps, 1);
}

TEST_F(GestureTest, SliderThumbKeepsItsDragFromAPanAbove) {
  auto slider = std::make_shared<Slider>(Rect{10, 100, 228, 30});
  surface->addSubview(slider);
  slider->layoutIfNeeded();
  int pans = 0;
  surface->addGestureRecognizer(
      std::make_shared<PanGestureRecognizer>(this, [&](GestureRecognizer&) { ++pans; }));
  drag({24, 115}, {124, 115});
  EXPECT_EQ(pans, 0);
  EXPECT_GT(slider->value(), 0.4);
}

TEST_F(GestureTest, DisabledRecogniserSeesNothing) {
  int taps = 0;
  auto tapRecognizer =
      std::make_shared<TapGestureRecognizer>(this, [&](GestureRecognizer&) { ++taps; });
  surface->addGestureRecognizer(tapRecognizer);
  tapRecognizer->setEnabled(false);
  tap({10, 10});
  EXPECT_EQ(taps, 0);
  surface->removeGestureRecognizer(tapRecognizer.get());
  tapRecognizer->setEnabled(true);
  tap({10, 10});
  EXPECT_EQ(taps, 0);
  EXPECT_EQ(tapRecognizer->view(), nullptr);
}

}  // namespace
}  // namespace lorvane
