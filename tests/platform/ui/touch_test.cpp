#include <gtest/gtest.h>

#include "platform/ui/button.h"
#include "platform/ui/scroll_view.h"
#include "platform/ui/slider.h"
#include "platform/ui/snapshot.h"
#include "ui_test_support.h"

namespace lorvane {
namespace {

class TouchTest : public testing::UiTest {};

struct EventLog : Weakable {
  std::vector<unsigned> events;
  void attach(Control& c, unsigned mask = ControlEventAllEvents) {
    for (unsigned bit = 1; bit && bit <= ControlEventValueChanged; bit <<= 1) {
      if (mask & bit)
        c.addTarget(
            this, [this, bit](Control&) { events.push_back(bit); }, bit);
    }
  }
  int count(unsigned e) const { return int(std::count(events.begin(), events.end(), e)); }
};

TEST_F(TouchTest, HitTestingSkipsHiddenTransparentAndInertViews) {
  auto back = std::make_shared<View>(Rect{0, 0, 320, 568});
  auto front = std::make_shared<View>(Rect{0, 0, 100, 100});
  window->addSubview(back);
  window->addSubview(front);
  EXPECT_EQ(window->hitTest({50, 50}), front.get());
  front->setHidden(true);
  EXPECT_EQ(window->hitTest({50, 50}), back.get());
  front->setHidden(false);
  front->setAlpha(0.005);
  EXPECT_EQ(window->hitTest({50, 50}), back.get());
  front->setAlpha(1);
  front->setUserInteractionEnabled(false);
  EXPECT_EQ(window->hitTest({50, 50}), back.get());
  // A subview outside its parent's bounds cannot be touched there.
  auto outside = std::make_shared<View>(Rect{200, 0, 50, 50});
  front->setUserInteractionEnabled(true);
  front->addSubview(outside);
  EXPECT_EQ(window->hitTest({210, 10}), back.get());
}

TEST_F(TouchTest, HitTestingFollowsRotation) {
  auto root = std::make_shared<View>(Rect{0, 0, 320, 568});
  window->addSubview(root);
  root->setTransform(AffineTransform::rotation(kPi / 2));
  root->setBounds({0, 0, 568, 320});
  // Top-left corner of the landscape content sits at the screen's top-right.
  auto corner = std::make_shared<View>(Rect{0, 0, 40, 40});
  root->addSubview(corner);
  EXPECT_EQ(window->hitTest({300, 20}), corner.get());
  EXPECT_EQ(window->hitTest({20, 20}), root.get());
}

TEST_F(TouchTest, ButtonHighlightsWhileDownAndFiresOnUpInside) {
  auto button = Button::buttonWithType(ButtonType::Custom);
  button->setFrame({100, 100, 51, 44});
  window->addSubview(button);
  EventLog log;
  log.attach(*button);
  window->touchDown({120, 120});
  EXPECT_TRUE(button->isHighlighted());
  EXPECT_EQ(log.count(ControlEventTouchDown), 1);
  window->touchUp({121, 121});
  EXPECT_FALSE(button->isHighlighted());
  EXPECT_EQ(log.count(ControlEventTouchUpInside), 1);
  EXPECT_EQ(log.count(ControlEventTouchUpOutside), 0);
}

TEST_F(TouchTest, DraggingOutOfAButtonDoesNotFireIt) {
  auto button = Button::buttonWithType(ButtonType::Custom);
  button->setFrame({100, 100, 51, 44});
  window->addSubview(button);
  EventLog log;
  log.attach(*button);
  window->touchDown({120, 120});
  window->touchMove({140, 130});  // still inside
  window->touchMove({300, 400});  // far outside
  EXPECT_FALSE(button->isHighlighted());
  window->touchMove({125, 125});  // back in
  EXPECT_TRUE(button->isHighlighted());
  window->touchMove({300, 400});
  window->touchUp({300, 400});
  EXPECT_EQ(log.count(ControlEventTouchUpInside), 0);
  EXPECT_EQ(log.count(ControlEventTouchUpOutside), 1);
  EXPECT_EQ(log.count(ControlEventTouchDragExit), 2);
  EXPECT_EQ(log.count(ControlEventTouchDragEnter), 1);
}

TEST_F(TouchTest, DisabledButtonAndRemovedTargetsStayQuiet) {
  auto button = Button::buttonWithType(ButtonType::Custom);
  button->setFrame({0, 0, 100, 100});
  window->addSubview(button);
  int fired = 0;
  int other = 0;
  Responder otherTarget;
  button->addTarget(
      this, [&](Control&) { ++fired; }, ControlEventTouchUpInside);
  button->addTarget(
      &otherTarget, [&](Control&) { ++other; }, ControlEventTouchUpInside);
  button->setEnabled(false);
  tap({50, 50});
  EXPECT_EQ(fired, 0);
  button->setEnabled(true);
  button->removeTarget(this, ControlEventTouchUpInside);
  tap({50, 50});
  EXPECT_EQ(fired, 0);
  EXPECT_EQ(other, 1);
}

TEST_F(TouchTest, ButtonPicturesFollowState) {
  auto normal = imageFilledWithColor({1, 0, 0, 1}, {4, 4});
  auto selected = imageFilledWithColor({0, 1, 0, 1}, {4, 4});
  auto button = Button::buttonWithType(ButtonType::Custom);
  button->setImage(normal, ControlStateNormal);
  button->setImage(selected, ControlStateSelected);
  button->setTitle("Go", ControlStateNormal);
  button->setTitleColor(Color::redColor(), ControlStateHighlighted);
  EXPECT_EQ(button->currentImage(), normal);
  button->setSelected(true);
  EXPECT_EQ(button->currentImage(), selected);
  EXPECT_EQ(button->imageView().image(), selected);
  // Pressed while selected, with no picture of its own: the normal one shows.
  button->setHighlighted(true);
  EXPECT_EQ(button->currentImage(), normal);
  button->setSelected(false);
  EXPECT_EQ(button->titleLabel().textColor(), Color::redColor());
  EXPECT_EQ(button->currentTitle(), std::optional<std::string>("Go"));
}

// A scroll view holding a button, like the topic grid's tiles.
class ScrollTouchTest : public TouchTest {
 protected:
  void SetUp() override {
    TouchTest::SetUp();
    scroll = std::make_shared<ScrollView>(Rect{0, 20, 320, 548});
    scroll->setContentSize({320, 2000});
    tile = Button::buttonWithType(ButtonType::Custom);
    tile->setFrame({10, 10, 147, 91});
    scroll->addSubview(tile);
    window->addSubview(scroll);
    tile->addTarget(
        this, [this](Control&) { ++fired; }, ControlEventTouchUpInside);
  }
  std::shared_ptr<ScrollView> scroll;
  std::shared_ptr<Button> tile;
  int fired = 0;
};

TEST_F(ScrollTouchTest, QuickTapReachesTheTileButton) {
  window->touchDown({50, 60});
  EXPECT_FALSE(tile->isHighlighted());  // content waits to see whether a drag starts
  window->touchUp({50, 60});
  EXPECT_EQ(fired, 1);
}

TEST_F(ScrollTouchTest, HeldTouchHighlightsTheTile) {
  window->touchDown({50, 60});
  advance(0.2);
  EXPECT_TRUE(tile->isHighlighted());
  window->touchUp({50, 60});
  EXPECT_FALSE(tile->isHighlighted());
  EXPECT_EQ(fired, 1);
}

TEST_F(ScrollTouchTest, DragScrollsAndDoesNotFireTheTile) {
  int cancels = 0;
  tile->addTarget(
      this, [&](Control&) { ++cancels; }, ControlEventTouchCancel);
  // A drag that starts on the tile after its highlight showed.
  window->touchDown({50, 60});
  advance(0.2);
  ASSERT_TRUE(tile->isHighlighted());
  for (int i = 1; i <= 10; ++i) {
    advance(0.016);
    window->touchMove({50, 60.0 - 10 * i});
  }
  EXPECT_FALSE(tile->isHighlighted());
  EXPECT_EQ(cancels, 1);
  EXPECT_TRUE(scroll->isDragging());
  window->touchUp({50, -40});
  EXPECT_EQ(fired, 0);
  EXPECT_GT(scroll->contentOffset().y, 80);
}

TEST_F(ScrollTouchTest, FlickDeceleratesAndSettlesInsideTheContent) {
  drag({160, 500}, {160, 200}, 10, 0.01);
  EXPECT_TRUE(scroll->isDecelerating());
  double afterDrag = scroll->contentOffset().y;
  advance(0.1);
  EXPECT_GT(scroll->contentOffset().y, afterDrag);  // it coasts on
  advance(10);
  EXPECT_FALSE(scroll->isDecelerating());
  double rest = scroll->contentOffset().y;
  EXPECT_GE(rest, 0);
  EXPECT_LE(rest, scroll->maximumContentOffset().y);
  advance(1);
  EXPECT_EQ(scroll->contentOffset().y, rest);
  EXPECT_EQ(fired, 0);
}

TEST_F(ScrollTouchTest, OverscrollSpringsBackToTheEdge) {
  drag({160, 100}, {160, 400}, 10, 0.05);  // pull down past the top, slowly
  EXPECT_LT(scroll->contentOffset().y, 0);
  advance(5);
  EXPECT_EQ(scroll->contentOffset().y, 0);
}

TEST_F(ScrollTouchTest, FastDecelerationRateStopsSooner) {
  auto slow = scroll;
  drag({160, 500}, {160, 300}, 10, 0.01);
  advance(10);
  double normalTravel = slow->contentOffset().y;
  slow->setContentOffset({0, 0});
  slow->setDecelerationRate(0.85);
  drag({160, 500}, {160, 300}, 10, 0.01);
  advance(10);
  EXPECT_LT(slow->contentOffset().y, normalTravel);
  EXPECT_GT(slow->contentOffset().y, 150);  // the drag itself still moved it
}

TEST_F(TouchTest, SliderFollowsTheThumbNotTheTrack) {
  auto slider = std::make_shared<Slider>(Rect{10, 100, 228, 30});
  window->addSubview(slider);
  EventLog log;
  log.attach(*slider, ControlEventValueChanged | ControlEventTouchDown | ControlEventTouchUpInside);
  slider->layoutIfNeeded();
  // The track elsewhere does nothing.
  tap({200, 115});
  EXPECT_EQ(slider->value(), 0);
  EXPECT_EQ(log.count(ControlEventValueChanged), 0);
  // Grab the thumb (at the left end) and move it half the travel.
  Rect thumb = slider->thumbView().frame();
  Point grab{10 + thumb.midX(), 100 + thumb.midY()};
  double travel = 228 - thumb.width();
  window->touchDown(grab);
  window->touchMove({grab.x + travel / 4, grab.y});
  window->touchMove({grab.x + travel / 2, grab.y + 30});
  EXPECT_NEAR(slider->value(), 0.5, 1e-9);
  window->touchMove({grab.x + travel * 3, grab.y});
  EXPECT_EQ(slider->value(), 1);
  window->touchUp({grab.x + travel * 3, grab.y});
  EXPECT_EQ(log.count(ControlEventValueChanged), 3);
  EXPECT_EQ(log.count(ControlEventTouchDown), 2);
}

TEST_F(TouchTest, SliderRangesClampAndOverridesMoveTheParts) {
  class Wide : public Slider {
   public:
    using Slider::Slider;
    Rect trackRectForBounds(const Rect& b) override {
      return {b.x() + 20, b.y() + 5, b.width() - 40, 4};
    }
    Rect thumbRectForBounds(const Rect&, const Rect& t, double v) override {
      return {t.x() + v / 10 * (t.width() - 10), 0, 10, 14};
    }
  };
  auto s = std::make_shared<Wide>(Rect{0, 0, 140, 14});
  s->setMinimumValue(0);
  s->setMaximumValue(10);
  s->setValue(15);
  EXPECT_EQ(s->value(), 10);
  s->setValue(-1);
  EXPECT_EQ(s->value(), 0);
  s->setValue(5);
  s->layoutIfNeeded();
  EXPECT_EQ(s->thumbView().frame(), (Rect{65, 0, 10, 14}));
}

TEST_F(TouchTest, SliderThumbTravellingPastTheTrackStaysUnderTheFinger) {
  // A thumb drawn across the whole bounds, wider than the track allows,
  // as skinned sliders draw it.
  class Skinned : public Slider {
   public:
    using Slider::Slider;
    Rect trackRectForBounds(const Rect& b) override { return {b.x() + 3, 22, b.width() - 6, 6}; }
    Rect thumbRectForBounds(const Rect& b, const Rect&, double v) override {
      return {b.width() * v - 25, (b.height() - 51) / 2, 51, 51};
    }
  };
  auto slider = std::make_shared<Skinned>(Rect{61, 200, 106, 51});
  window->addSubview(slider);
  slider->setValue(0.5);
  slider->layoutIfNeeded();
  auto thumbX = [&] {
    return slider->convertPointToView(slider->thumbView().frame().origin, nullptr).x;
  };
  // Grab it off its centre, then move left a little at a time and back.
  Point grab{thumbX() + 40, 225};
  double offset = grab.x - thumbX();
  window->touchDown(grab);
  for (int i = 1; i <= 10; ++i) {
    advance(0.016);
    window->touchMove({grab.x - 0.5 * i, grab.y + (i % 3)});
    EXPECT_NEAR(thumbX() + offset, grab.x - 0.5 * i, 1.0) << "move " << i;
  }
  // A 5-point move is 5 points of a 106-point travel, not a jump.
  EXPECT_NEAR(slider->value(), 0.5 - 5.0 / 106, 1e-9);
  // At the far end the finger still has the thumb: full value is reached
  // exactly where the thumb is drawn at full value.
  double full = grab.x + 53;
  window->touchMove({full - 1, grab.y});
  EXPECT_LT(slider->value(), 1.0);
  window->touchMove({full, grab.y});
  EXPECT_DOUBLE_EQ(slider->value(), 1.0);
  window->touchUp({full, grab.y});
  // Grabbing and letting go without moving changes nothing.
  slider->setValue(0.25);
  slider->layoutIfNeeded();
  Point still{thumbX() + 10, 225};
  window->touchDown(still);
  window->touchMove(still);
  window->touchUp(still);
  EXPECT_DOUBLE_EQ(slider->value(), 0.25);
}

}  // namespace
}  // namespace lorvane
