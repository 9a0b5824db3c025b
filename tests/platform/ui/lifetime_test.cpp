// Whoever dies first, nothing calls into a dead object: the toolkit's
// targets, delegates and data sources forget an object once it is gone.
#include <gtest/gtest.h>

#include <memory>
#include <vector>

#include "platform/ui/alert_view.h"
#include "platform/ui/button.h"
#include "platform/ui/gesture_recognizer.h"
#include "platform/ui/table_view.h"
#include "platform/ui/ui_test_support.h"

namespace lorvane {
namespace {

// What happened, kept outside the objects that die.
struct CallLog {
  int dataSourceCalls = 0;
  int delegateCalls = 0;
  int actions = 0;
};

class ListScreen : public TableViewDataSource, public TableViewDelegate {
 public:
  explicit ListScreen(CallLog& log) : log_(log) {}
  int numberOfRowsInSection(TableView&, int) override {
    ++log_.dataSourceCalls;
    return 30;
  }
  TableViewCellPtr cellForRowAtIndexPath(TableView& table, const IndexPath&) override {
    ++log_.dataSourceCalls;
    auto cell = table.dequeueReusableCellWithIdentifier("row");
    return cell ? cell : std::make_shared<TableViewCell>(TableViewCellStyle::Default, "row");
  }
  bool didSelectRowAtIndexPath(TableView&, const IndexPath&) override {
    ++log_.delegateCalls;
    return true;
  }
  bool scrollViewDidScroll(ScrollView&) override {
    ++log_.delegateCalls;
    return true;
  }

 private:
  CallLog& log_;
};

class LifetimeTest : public testing::UiTest {
 protected:
  CallLog log;
};

TEST_F(LifetimeTest, TableForgetsADataSourceAndDelegateThatDied) {
  auto table = View::make<TableView>(Rect{0, 0, 320, 400});
  window->addSubview(table);
  auto screen = std::make_unique<ListScreen>(log);
  table->setDataSource(screen.get());
  table->setTableDelegate(screen.get());
  table->layoutIfNeeded();
  ASSERT_GT(log.dataSourceCalls, 0);
  ASSERT_FALSE(table->visibleCells().empty());

  screen.reset();
  const CallLog before = log;
  EXPECT_EQ(table->dataSource(), nullptr);
  EXPECT_EQ(table->tableDelegate(), nullptr);
  EXPECT_EQ(table->delegate(), nullptr);
  // Reload, scroll by finger (decelerating afterwards) and tap a row.
  table->reloadData();
  table->layoutIfNeeded();
  drag({160, 300}, {160, 100}, 10, 0.01);
  advance(2);
  tap({160, 20});
  advance(1);
  EXPECT_EQ(log.dataSourceCalls, before.dataSourceCalls);
  EXPECT_EQ(log.delegateCalls, before.delegateCalls);
  EXPECT_TRUE(table->visibleCells().empty());
}

TEST_F(LifetimeTest, ADataSourceOutlivesItsTableUntouched) {
  auto screen = std::make_unique<ListScreen>(log);
  {
    auto table = View::make<TableView>(Rect{0, 0, 320, 400});
    window->addSubview(table);
    table->setDataSource(screen.get());
    table->setTableDelegate(screen.get());
    table->layoutIfNeeded();
    // Leave it mid-flick so a deceleration step is still scheduled.
    drag({160, 300}, {160, 100}, 5, 0.005);
    table->removeFromSuperview();
  }
  const CallLog before = log;
  advance(2);
  EXPECT_EQ(log.dataSourceCalls, before.dataSourceCalls);
  EXPECT_EQ(log.delegateCalls, before.delegateCalls);
  screen.reset();
  advance(1);
}

// A target with an action per control event, as a screen has them.
class Screen : public Responder {
 public:
  explicit Screen(CallLog& log) : log_(log) {}
  void attach(Control& control) {
    control.addTarget(
        this, [this](Control&) { ++log_.actions; }, ControlEventTouchUpInside);
  }
  void attach(GestureRecognizer& recognizer) {
    recognizer.addTarget(this, [this](GestureRecognizer&) { ++log_.actions; });
  }

 private:
  CallLog& log_;
};

TEST_F(LifetimeTest, ControlDropsATargetThatDied) {
  auto button = Button::buttonWithType(ButtonType::Custom);
  button->setFrame({10, 10, 100, 40});
  window->addSubview(button);
  auto screen = std::make_unique<Screen>(log);
  screen->attach(*button);
  tap({50, 30});
  ASSERT_EQ(log.actions, 1);
  EXPECT_EQ(button->targetCount(), 1u);

  screen.reset();
  EXPECT_EQ(button->targetCount(), 0u);
  EXPECT_EQ(button->allControlEvents(), 0u);
  tap({50, 30});
  button->sendActionsForControlEvents(ControlEventTouchUpInside);
  EXPECT_EQ(log.actions, 1);
}

TEST_F(LifetimeTest, ATargetOutlivesItsControl) {
  auto screen = std::make_unique<Screen>(log);
  {
    auto button = Button::buttonWithType(ButtonType::Custom);
    button->setFrame({10, 10, 100, 40});
    window->addSubview(button);
    screen->attach(*button);
    window->touchDown({50, 30});
    button->removeFromSuperview();
  }
  window->touchUp({50, 30});
  advance(1);
  EXPECT_EQ(log.actions, 0);
  screen.reset();
}

TEST_F(LifetimeTest, AnActionThatEndsALaterTargetKeepsItFromBeingCalled) {
  auto button = Button::buttonWithType(ButtonType::Custom);
  button->setFrame({10, 10, 100, 40});
  window->addSubview(button);
  auto later = std::make_unique<Screen>(log);
  auto first = std::make_unique<Screen>(log);
  button->addTarget(
      first.get(), [&later](Control&) { later.reset(); }, ControlEventTouchUpInside);
  later->attach(*button);
  tap({50, 30});
  EXPECT_EQ(later, nullptr);
  EXPECT_EQ(log.actions, 0);
  EXPECT_EQ(button->targetCount(), 1u);
}

TEST_F(LifetimeTest, ControlsKeepActionsWithoutATargetAndRemoveByIdentity) {
  auto button = Button::buttonWithType(ButtonType::Custom);
  button->setFrame({10, 10, 100, 40});
  window->addSubview(button);
  auto screen = std::make_unique<Screen>(log);
  int standalone = 0;
  button->addTarget(
      nullptr, [&standalone](Control&) { ++standalone; }, ControlEventTouchUpInside);
  screen->attach(*button);
  button->removeTarget(screen.get());
  tap({50, 30});
  EXPECT_EQ(standalone, 1);
  EXPECT_EQ(log.actions, 0);
  EXPECT_EQ(button->targetCount(), 1u);
}

class Referee : public GestureRecognizerDelegate {
 public:
  explicit Referee(CallLog& log) : log_(log) {}
  std::optional<bool> gestureRecognizerShouldBegin(GestureRecognizer&) override {
    ++log_.delegateCalls;
    return false;
  }

 private:
  CallLog& log_;
};

TEST_F(LifetimeTest, RecogniserForgetsATargetAndADelegateThatDied) {
  auto pad = View::make<View>(Rect{0, 0, 320, 300});
  window->addSubview(pad);
  auto tap = std::make_shared<TapGestureRecognizer>();
  pad->addGestureRecognizer(tap);
  auto screen = std::make_unique<Screen>(log);
  auto referee = std::make_unique<Referee>(log);
  screen->attach(*tap);
  tap->setDelegate(referee.get());
  this->tap({100, 100});
  ASSERT_EQ(log.delegateCalls, 1);
  ASSERT_EQ(log.actions, 0);  // the referee said no

  referee.reset();
  EXPECT_EQ(tap->delegate(), nullptr);
  this->tap({100, 100});
  EXPECT_EQ(log.delegateCalls, 1);
  EXPECT_EQ(log.actions, 1);  // the default answer lets it begin

  screen.reset();
  EXPECT_EQ(tap->targetCount(), 0u);
  this->tap({100, 100});
  EXPECT_EQ(log.actions, 1);
}

TEST_F(LifetimeTest, TargetAndDelegateOutliveTheirRecogniser) {
  auto screen = std::make_unique<Screen>(log);
  auto referee = std::make_unique<Referee>(log);
  std::weak_ptr<GestureRecognizer> weakPan;
  {
    auto pad = View::make<View>(Rect{0, 0, 320, 300});
    window->addSubview(pad);
    auto pan = std::make_shared<PanGestureRecognizer>();
    weakPan = pan;
    pad->addGestureRecognizer(pan);
    screen->attach(*pan);
    drag({100, 100}, {100, 200});
    ASSERT_GT(log.actions, 0);
    pan->setDelegate(referee.get());
    pad->removeFromSuperview();
  }
  ASSERT_TRUE(weakPan.expired());
  const CallLog before = log;
  drag({100, 100}, {100, 200});
  advance(1);
  EXPECT_EQ(log.actions, before.actions);
  referee.reset();
  screen.reset();
  EXPECT_EQ(log.delegateCalls, 0);
}

class AlertListener : public AlertViewDelegate {
 public:
  explicit AlertListener(CallLog& log) : log_(log) {}
  bool clickedButtonAtIndex(AlertView&, int) override {
    ++log_.delegateCalls;
    return true;
  }
  bool didDismissWithButtonIndex(AlertView&, int) override {
    ++log_.delegateCalls;
    return true;
  }

 private:
  CallLog& log_;
};

TEST_F(LifetimeTest, AlertForgetsADelegateThatDiedAndStillDismisses) {
  auto listener = std::make_unique<AlertListener>(log);
  auto alert = std::make_shared<AlertView>("title", "message", listener.get(), "确定");
  alert->show();
  ASSERT_EQ(AlertView::visibleAlerts().size(), 1u);
  listener.reset();
  EXPECT_EQ(alert->delegate(), nullptr);
  Button* ok = alert->buttonAtIndex(0);
  ASSERT_NE(ok, nullptr);
  ok->sendActionsForControlEvents(ControlEventTouchUpInside);
  advance(1);
  EXPECT_EQ(log.delegateCalls, 0);
  EXPECT_TRUE(AlertView::visibleAlerts().empty());
}

TEST_F(LifetimeTest, ADelegateOutlivesItsAlert) {
  auto listener = std::make_unique<AlertListener>(log);
  {
    auto alert = std::make_shared<AlertView>("title", "message", listener.get(), "确定");
    alert->show();
    alert->buttonAtIndex(0)->sendActionsForControlEvents(ControlEventTouchUpInside);
  }
  advance(1);
  EXPECT_TRUE(AlertView::visibleAlerts().empty());
  const int heard = log.delegateCalls;
  EXPECT_GE(heard, 1);
  listener.reset();
  advance(1);
  EXPECT_EQ(log.delegateCalls, heard);
}

}  // namespace
}  // namespace lorvane
