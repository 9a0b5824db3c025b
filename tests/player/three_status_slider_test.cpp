#include <gtest/gtest.h>

#include "player/three_status_slider.h"
#include "player_test_support.h"

namespace lorvane {
namespace {

struct MoveLog : NOThreeStatusProtocol {
  std::vector<float> values;
  void thumbMoved(float value) override { values.push_back(value); }
};

class ThreeStatusSliderTest : public testing::PlayerUiTest {
 protected:
  std::shared_ptr<NOThreeStatusSlider> sliderIn(float min, float max, Rect frame) {
    auto slider = View::make<NOThreeStatusSlider>(min, max);
    slider->setFrame(frame);
    window->addSubview(slider);
    return slider;
  }
  // Where the thumb's centre is, in window points.
  Point thumbCentre(const NOThreeStatusSlider& slider) {
    Rect t = slider.thumb()->frame();
    return slider.convertPointToView({t.midX(), t.midY()}, nullptr);
  }
};

TEST_F(ThreeStatusSliderTest, ValuesAreWholeNumbersClampedToTheRange) {
  auto slider = sliderIn(0, 10, {0, 100, 200, 20});
  slider->setCurrentValue(7.9f);
  EXPECT_EQ(slider->getCurrentValue(), 7);
  EXPECT_EQ(slider->lTextLabel()->text(), "7");
  EXPECT_EQ(slider->rTextLabel()->text(), "-2");  // -2.1 truncated
  slider->setCurrentValue(-3.2f);
  EXPECT_EQ(slider->getCurrentValue(), 0);
  slider->setCurrentValue(12);
  EXPECT_EQ(slider->getCurrentValue(), 10);
  EXPECT_EQ(slider->rTextLabel()->text(), "0");
  EXPECT_TRUE(slider->lTextLabel()->isHidden());
  EXPECT_TRUE(slider->rTextLabel()->isHidden());
}

TEST_F(ThreeStatusSliderTest, PartsFollowTheMappingOfValuesToPositions) {
  auto slider = sliderIn(0, 100, {0, 100, 200, 20});
  const double lw = slider->lTextLabel()->frame().width();
  // "-100" is the widest text of the range.
  EXPECT_FLOAT_EQ(static_cast<float>(lw), slider->getWidthOfString("-100"));
  EXPECT_EQ(slider->rTextLabel()->frame(), (Rect{200 - lw, 0, lw, 20}));
  slider->setCurrentValue(50);
  const double L = 200 - 2 * (lw + 5) - 13;
  const double x = 50 * L / 100 + lw + 5;
  EXPECT_NEAR(slider->thumb()->frame().x(), x, 1e-3);
  EXPECT_EQ(slider->thumb()->frame().size, (Size{13, 13}));
  EXPECT_TRUE(nearlyEqual(slider->status1()->frame(), Rect{lw + 5, 6, x - (lw + 5), 8}, 1e-3));
  EXPECT_TRUE(
      nearlyEqual(slider->status3()->frame(), Rect{x + 13, 6, (200 - lw) - (x + 13) - 5, 8}, 1e-3));
  slider->setEnabledValue(80);
  double e = 80 * L / 100 + lw + 5 + 13;
  EXPECT_FALSE(slider->status2()->isHidden());
  EXPECT_TRUE(nearlyEqual(slider->status2()->frame(), Rect{x + 13, 6, e - (x + 13), 8}, 1e-3));
  // At or left of the thumb the loaded stretch disappears.
  slider->setEnabledValue(40);
  EXPECT_TRUE(slider->status2()->isHidden());
  slider->setEnabledValue(500);
  EXPECT_EQ(slider->getEnabledValue(), 100);
  // The maximum stands against the right label's gap.
  slider->setCurrentValue(100);
  EXPECT_NEAR(slider->thumb()->frame().x(), 200 - lw - 5 - 13, 1e-3);
  EXPECT_NEAR(slider->getCurrentValueWithButtonX(static_cast<float>(lw + 5)), 0, 1e-4);
}

TEST_F(ThreeStatusSliderTest, AZeroFrameIsWidenedToTheMinimum) {
  auto slider = View::make<NOThreeStatusSlider>(0, 100);
  Rect f = slider->frame();
  double lw = slider->getWidthOfString("-100");
  EXPECT_EQ(f.height(), 20);
  EXPECT_NEAR(f.width(), 2 * (lw + 5) + 20, 1e-3);
  slider->setFrame({5, 5, 0, 0});
  EXPECT_GE(slider->frame().width(), 2 * (lw + 5) + 13);
  EXPECT_EQ(slider->frame().height(), 20);
  EXPECT_EQ(slider->frame().origin, (Point{5, 5}));
  // The plain constructor makes no parts and placing does nothing.
  NOThreeStatusSlider bare(Rect{0, 0, 100, 20});
  EXPECT_EQ(bare.lTextLabel(), nullptr);
  bare.setCurrentValue(5);
  bare.adjust();
  EXPECT_EQ(bare.getCurrentValue(), 0);
}

TEST_F(ThreeStatusSliderTest, DraggingTheThumbMovesInWholeStepsAndReportsEveryMove) {
  auto slider = sliderIn(0, 100, {0, 100, 300, 20});
  MoveLog log;
  slider->setDelegate(&log);
  Point start = thumbCentre(*slider);
  window->touchDown(start);
  EXPECT_TRUE(slider->isDragging());
  window->touchMove({start.x + 40, start.y});
  ASSERT_EQ(log.values.size(), 1u);
  float reported = log.values.back();
  EXPECT_GT(reported, 0);
  EXPECT_EQ(slider->getCurrentValue(), static_cast<float>(static_cast<int>(reported)));
  // Past the right end: the thumb stops at the end, the delegate still hears.
  window->touchMove({start.x + 1000, start.y});
  ASSERT_EQ(log.values.size(), 2u);
  EXPECT_NEAR(log.values.back(), 100, 1e-3);
  EXPECT_EQ(slider->getCurrentValue(), 100);
  window->touchMove({start.x - 1000, start.y});
  EXPECT_NEAR(log.values.back(), 0, 1e-3);
  EXPECT_EQ(slider->getCurrentValue(), 0);
  window->touchUp({start.x - 1000, start.y});
  EXPECT_FALSE(slider->isDragging());
  EXPECT_EQ(log.values.size(), 3u);
}

TEST_F(ThreeStatusSliderTest, ATouchOutsideTheThumbNeverMovesIt) {
  auto slider = sliderIn(0, 100, {0, 100, 300, 20});
  slider->setCurrentValue(50);
  MoveLog log;
  slider->setDelegate(&log);
  Rect t = slider->thumb()->frame();
  Point justLeft = slider->convertPointToView({t.x() - 1, t.midY()}, nullptr);
  window->touchDown(justLeft);
  window->touchMove({justLeft.x + 100, justLeft.y});
  window->touchMove({justLeft.x - 100, justLeft.y});
  window->touchUp({justLeft.x - 100, justLeft.y});
  EXPECT_TRUE(log.values.empty());
  EXPECT_EQ(slider->getCurrentValue(), 50);
  EXPECT_EQ(slider->thumb()->frame(), t);
}

}  // namespace
}  // namespace lorvane
