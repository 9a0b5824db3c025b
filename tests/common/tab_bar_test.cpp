#include "common/custom_tar_bar.h"

#include <gtest/gtest.h>

#include <vector>

#include "platform/ui/image.h"
#include "platform/ui/ui_test_support.h"

namespace lorvane {
namespace {

class RecordingDelegate : public CustomTarBarDelegate {
 public:
  void selectedType(CustomTarBar& bar, int index) override {
    EXPECT_EQ(&bar, CustomTarBar::sharedInstance().get());
    calls.push_back(index);
  }
  std::vector<int> calls;
};

class TabBarTest : public testing::UiTest {
 protected:
  void SetUp() override {
    UiTest::SetUp();
    Image::setResourcesFolder(LORVANE_RESOURCES_DIR);
    bar = CustomTarBar::sharedInstance();
    bar->setDelegate(&delegate);
    bar->setFrame({0, Screen::mainScreen().bounds().size.height, 320, 45});
    window->addSubview(bar);
  }
  void TearDown() override {
    bar->removeFromSuperview();
    bar->setDelegate(nullptr);
    UiTest::TearDown();
  }
  std::shared_ptr<CustomTarBar> bar;
  RecordingDelegate delegate;
};

TEST_F(TabBarTest, EveryRequestYieldsTheSameBar) {
  EXPECT_EQ(CustomTarBar::sharedInstance(), CustomTarBar::sharedInstance());
  EXPECT_EQ(bar->subviews().size(), 5u);
  EXPECT_EQ(bar->subviews()[0].get(), &bar->backgroundImageview());
  EXPECT_EQ(bar->backgroundImageview().frame(), Rect(0, 0, 320, 45));
}

TEST_F(TabBarTest, ButtonsSitAtTheirFramesWithTagsAndPictures) {
  const double centres[] = {40.5, 120.5, 200.5, 278.5};
  const char* pictures[] = {"潮话题图标-原大-01", "秀潮流图标-原大-01", "Orvel是谁图标-原大-01",
                            "设置图标-原大-01"};
  for (std::size_t i = 0; i < 4; ++i) {
    const Button& button = *bar->buttonArray()[i];
    EXPECT_EQ(button.center().x, centres[i]);
    EXPECT_EQ(button.frame().origin.y, 1);
    EXPECT_EQ(button.frame().size, (Size{51, 44}));
    EXPECT_EQ(button.tag(), 91 + static_cast<int>(i));
    EXPECT_FALSE(button.adjustsImageWhenHighlighted());
    ASSERT_TRUE(button.imageForState(ControlStateNormal)) << pictures[i];
    EXPECT_EQ(button.imageForState(ControlStateNormal)->name(), pictures[i]);
    EXPECT_FALSE(button.titleForState(ControlStateNormal));
  }
  EXPECT_EQ(bar->subviews()[1].get(), &bar->hotTopicButton());
  EXPECT_EQ(bar->subviews()[4].get(), &bar->setButton());
}

TEST_F(TabBarTest, SelectingATabSelectsOnlyItsButtonAndTellsTheDelegate) {
  bar->selectTabBarButton(2);
  EXPECT_EQ(delegate.calls, std::vector<int>{2});
  EXPECT_EQ(bar->tabBarButtonSelect(), 2);
  for (int i = 0; i < 4; ++i) {
    EXPECT_EQ(bar->buttonArray()[static_cast<std::size_t>(i)]->isSelected(), i == 2) << i;
  }
  ASSERT_TRUE(bar->OrvelButton().currentImage());
  EXPECT_EQ(bar->OrvelButton().currentImage()->name(), "Orvel是谁图标-原大-02");

  bar->selectTabBarButton(2);
  EXPECT_EQ(delegate.calls, (std::vector<int>{2, 2})) << "the chosen tab is told again";
  bar->selectTabBarButton(4);
  bar->selectTabBarButton(-1);
  EXPECT_EQ(delegate.calls.size(), 2u);
  EXPECT_EQ(bar->tabBarButtonSelect(), 2);
}

TEST_F(TabBarTest, ATouchOnAButtonGoesThroughHitTesting) {
  bar->hideTabBar(false, false);
  const Point onShowButton = bar->convertPointToView(bar->showButton().center(), window.get());
  tap(onShowButton);
  EXPECT_EQ(delegate.calls, std::vector<int>{1});
  EXPECT_TRUE(bar->showButton().isSelected());
  EXPECT_EQ(bar->showButton().currentImage()->name(), "秀潮流图标-原大-02");
}

TEST_F(TabBarTest, WithoutADelegateATouchOnlyMovesTheSelection) {
  bar->selectTabBarButton(0);
  bar->setDelegate(nullptr);
  const int before = bar->tabBarButtonSelect();
  bar->selectTabBarButton(3);
  EXPECT_TRUE(bar->setButton().isSelected());
  EXPECT_FALSE(bar->hotTopicButton().isSelected());
  EXPECT_EQ(bar->tabBarButtonSelect(), before);
  EXPECT_FALSE(bar->setButton().imageForState(ControlStateSelected) &&
               bar->setButton().imageForState(ControlStateSelected)->name() == "设置图标-原大-02")
      << "the selected picture is set only when a delegate is told";
}

TEST_F(TabBarTest, ShownAndHiddenPositionsFollowTheDevice) {
  bar->hideTabBar(false, false);
  EXPECT_EQ(bar->frame(), Rect(0, 523, 320, 45));
  bar->hideTabBar(true, false);
  EXPECT_EQ(bar->frame(), Rect(0, 568, 320, 45));

  Screen::mainScreen().configure({320, 480}, 2);
  Device::currentDevice().setSystemVersion("6.1");
  bar->hideTabBar(false, false);
  EXPECT_EQ(bar->frame(), Rect(0, 415, 320, 45));
  Device::currentDevice().setSystemVersion("7.0");
  bar->hideTabBar(false, false);
  EXPECT_EQ(bar->frame(), Rect(0, 435, 320, 45));
}

TEST_F(TabBarTest, TheAnimatedSlideTakesThreeTenthsOfASecond) {
  bar->hideTabBar(false, false);
  bar->hideTabBar(true, true);
  EXPECT_EQ(bar->frame().origin.y, 568) << "the model value changes at once";
  advance(0.15);
  EXPECT_GT(bar->presentationFrame().origin.y, 523);
  EXPECT_LT(bar->presentationFrame().origin.y, 568);
  advance(0.16);
  EXPECT_EQ(bar->presentationFrame().origin.y, 568);
  EXPECT_FALSE(bar->hasRunningAnimations());
}

TEST_F(TabBarTest, HidingAnimatedThenShowingAtOnceLeavesTheBarShown) {
  bar->hideTabBar(false, false);
  bar->hideTabBar(true, true);
  bar->hideTabBar(false, false);
  advance(1.0);
  EXPECT_EQ(bar->frame().origin.y, 523);
  EXPECT_EQ(bar->presentationFrame().origin.y, 523);
}

}  // namespace
}  // namespace lorvane
