#include <gtest/gtest.h>

#include "platform/ui/button.h"
#include "platform/ui/navigation_controller.h"
#include "platform/ui/slider.h"
#include "platform/ui/snapshot.h"
#include "platform/ui/table_view.h"
#include "platform/ui/text_view.h"
#include "ui_test_support.h"

namespace lorvane {
namespace {

class WidgetTest : public testing::UiTest {};

TEST_F(WidgetTest, ButtonCentresItsPictureAndTitle) {
  auto button = Button::buttonWithType(ButtonType::Custom);
  button->setFrame({0, 0, 100, 44});
  button->setImage(imageFilledWithColor(Color::redColor(), {20, 20}), ControlStateNormal);
  button->setTitle("abcd", ControlStateNormal);  // 30 points at the 15-point title font
  button->titleLabel().setFont(Font::systemFontOfSize(10));
  button->layoutIfNeeded();
  // 20 + 20 side by side, centred in 100.
  EXPECT_EQ(button->imageView().frame(), (Rect{30, 12, 20, 20}));
  EXPECT_EQ(button->titleLabel().frame(), (Rect{50, 16, 20, 12}));
  EXPECT_EQ(button->backgroundImageView().frame(), button->bounds());
  button->setBackgroundImage(imageFilledWithColor(Color::black(), {120, 50}), ControlStateNormal);
  EXPECT_EQ(button->sizeThatFits({}), (Size{120, 50}));
  // Pressing darkens pictures unless told not to.
  button->setHighlighted(true);
  EXPECT_LT(button->imageView().layer().contentsMultiply().red, 1);
  button->setAdjustsImageWhenHighlighted(false);
  EXPECT_EQ(button->imageView().layer().contentsMultiply(), Color::whiteColor());
}

TEST_F(WidgetTest, ProgressAndSpinnerKeepTheirRules) {
  auto progress = std::make_shared<ProgressView>(Rect{0, 0, 200, 2});
  progress->setProgress(1.5);
  EXPECT_EQ(progress->progress(), 1);
  progress->setProgress(std::nan(""));
  EXPECT_EQ(progress->progress(), 0);
  progress->setProgress(0.25);
  progress->layoutIfNeeded();
  EXPECT_EQ(progress->subviews()[1]->frame(), (Rect{0, 0, 50, 2}));

  auto spinner = std::make_shared<ActivityIndicatorView>(ActivityIndicatorViewStyle::WhiteLarge);
  EXPECT_EQ(spinner->frame().size, (Size{37, 37}));
  EXPECT_TRUE(spinner->isHidden());
  spinner->startAnimating();
  EXPECT_FALSE(spinner->isHidden());
  ASSERT_TRUE(spinner->layer().spinnerContent());
  EXPECT_TRUE(spinner->layer().spinnerContent()->animating);
  spinner->stopAnimating();
  EXPECT_TRUE(spinner->isHidden());
  spinner->setHidesWhenStopped(false);
  EXPECT_FALSE(spinner->isHidden());
}

TEST_F(WidgetTest, TextViewGrowsItsContentAndTakesTyping) {
  auto text = std::make_shared<TextView>(Rect{0, 0, 110, 50});
  text->setFont(Font::systemFontOfSize(10));
  text->setText("one two three four five six");
  window->addSubview(text);
  window->layoutIfNeeded();
  // 100 points of text width: "one two three four" and "five six", 12 points each.
  EXPECT_EQ(text->contentSize().height, 24 + 16);
  EXPECT_FALSE(text->isFirstResponder());
  tap({50, 20});
  EXPECT_TRUE(text->isFirstResponder());
  text->insertText("潮");
  text->deleteBackward();
  text->deleteBackward();
  EXPECT_EQ(text->text(), "one two three four five si");
  text->setEditable(false);
  EXPECT_FALSE(text->isFirstResponder());
  text->insertText("x");
  EXPECT_EQ(text->text(), "one two three four five si");
}

TEST_F(WidgetTest, FreeStandingLayersKeepTheirOwnGeometry) {
  auto parent = Layer::layer();
  parent->setFrame({10, 10, 100, 50});
  parent->setBounds({0, 0, 60, 30});  // resizes about the centre
  EXPECT_EQ(parent->frame(), (Rect{30, 20, 60, 30}));
  auto child = Layer::layer();
  parent->addSublayer(child);
  EXPECT_EQ(child->superlayer(), parent.get());
  auto other = Layer::layer();
  other->addSublayer(child);  // moves
  EXPECT_TRUE(parent->sublayers().empty());
  child->removeFromSuperlayer();
  EXPECT_TRUE(other->sublayers().empty());
  // A view's layer follows the view.
  auto view = std::make_shared<View>(Rect{1, 2, 3, 4});
  view->layer().setOpacity(0.5);
  EXPECT_EQ(view->alpha(), 0.5);
  EXPECT_EQ(view->layer().frame(), view->frame());
}

class OneRow : public TableViewDataSource {
 public:
  int rows = 3;
  int numberOfRowsInSection(TableView&, int) override { return rows; }
  TableViewCellPtr cellForRowAtIndexPath(TableView& table, const IndexPath&) override {
    auto cell = table.dequeueReusableCellWithIdentifier("c");
    return cell ? cell : std::make_shared<TableViewCell>(TableViewCellStyle::Subtitle, "c");
  }
};

TEST_F(WidgetTest, ReusedCellsComeBackUnselected) {
  OneRow source;
  auto table = std::make_shared<TableView>(Rect{0, 0, 320, 100});
  table->setDataSource(&source);
  table->layoutIfNeeded();
  table->selectRowAtIndexPath(IndexPath{0, 0}, false);
  auto cell = table->cellForRowAtIndexPath({0, 0});
  ASSERT_TRUE(cell && cell->isSelected());
  table->reloadData();
  // Reloading keeps the selection on a row that still exists...
  EXPECT_EQ(table->indexPathForSelectedRow(), (IndexPath{0, 0}));
  EXPECT_TRUE(table->cellForRowAtIndexPath({0, 0})->isSelected());
  EXPECT_FALSE(table->cellForRowAtIndexPath({0, 1})->isSelected());
  // ...and drops it when the row is gone.
  source.rows = 0;
  table->reloadData();
  EXPECT_FALSE(table->indexPathForSelectedRow());
  table->selectRowAtIndexPath(IndexPath{0, 5}, false);
  EXPECT_FALSE(table->indexPathForSelectedRow());
}

TEST_F(WidgetTest, QuickSecondTapCountsAsARepeat) {
  auto button = Button::buttonWithType(ButtonType::Custom);
  button->setFrame({0, 0, 100, 100});
  window->addSubview(button);
  int repeats = 0;
  button->addTarget(
      this, [&](Control&) { ++repeats; }, ControlEventTouchDownRepeat);
  tap({50, 50});
  advance(0.1);
  tap({52, 50});
  EXPECT_EQ(repeats, 1);
  advance(1);
  tap({50, 50});
  EXPECT_EQ(repeats, 1);
  // A finger that lands on nothing reaches nobody.
  auto empty = std::make_shared<Window>(Rect{0, 0, 10, 10});
  empty->setUserInteractionEnabled(false);
  empty->touchDown({5, 5});
  EXPECT_FALSE(empty->hasActiveTouches());
}

TEST_F(WidgetTest, NavigationPushDuringASlideFinishesTheFirst) {
  auto first = std::make_shared<ViewController>();
  auto nav = std::make_shared<NavigationController>(first);
  window->setRootViewController(nav);
  auto second = std::make_shared<ViewController>();
  auto third = std::make_shared<ViewController>();
  nav->pushViewController(second, true);
  advance(0.1);
  nav->pushViewController(third, true);
  EXPECT_TRUE(second->isAppeared() || second->view()->superview());
  EXPECT_EQ(first->view()->superview(), nullptr);  // the first slide was completed
  advance(0.5);
  EXPECT_TRUE(third->isAppeared());
  EXPECT_FALSE(second->isAppeared());
  EXPECT_EQ(second->view()->superview(), nullptr);
  nav->setViewControllers({first}, false);
  EXPECT_EQ(nav->topViewController(), first.get());
  EXPECT_TRUE(first->isAppeared());
  EXPECT_EQ(third->parentViewController(), nullptr);
}

TEST_F(WidgetTest, StatusBarFrameFollowsTheInterface) {
  Application& app = Application::sharedApplication();
  auto root = std::make_shared<ViewController>();
  window->setRootViewController(root);
  app.setInterfaceOrientation(InterfaceOrientation::LandscapeLeft, false);
  EXPECT_EQ(app.statusBarFrame(), (Rect{300, 0, 20, 568}));
  EXPECT_NEAR(root->view()->transform().rotationAngle(), -kPi / 2, 1e-9);
  app.setInterfaceOrientation(InterfaceOrientation::Portrait, false);
  EXPECT_EQ(app.statusBarFrame(), (Rect{0, 0, 320, 20}));
  EXPECT_TRUE(root->view()->transform().isIdentity());
}

}  // namespace
}  // namespace lorvane
