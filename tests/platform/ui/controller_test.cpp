#include <gtest/gtest.h>

#include "platform/foundation/error.h"
#include "platform/ui/alert_view.h"
#include "platform/ui/navigation_controller.h"
#include "platform/ui/view_controller.h"
#include "ui_test_support.h"

namespace lorvane {
namespace {

std::vector<std::string>* journal = nullptr;

class Screen_ : public ViewController {
 public:
  explicit Screen_(std::string name) : name_(std::move(name)) {}
  void viewDidLoad() override { note("viewDidLoad"); }
  void viewWillAppear(bool) override { note("viewWillAppear"); }
  void viewDidAppear(bool) override { note("viewDidAppear"); }
  void viewWillDisappear(bool) override { note("viewWillDisappear"); }
  void viewDidDisappear(bool) override { note("viewDidDisappear"); }
  bool rotates = false;
  bool shouldAutorotate() override { return rotates; }
  bool shouldAutorotateToInterfaceOrientation(InterfaceOrientation o) override {
    return rotates ? o != InterfaceOrientation::PortraitUpsideDown
                   : o == InterfaceOrientation::Portrait;
  }
  std::vector<InterfaceOrientation> willRotate;
  void willRotateToInterfaceOrientation(InterfaceOrientation o, double) override {
    willRotate.push_back(o);
  }

 private:
  void note(const char* what) {
    if (journal) journal->push_back(name_ + "." + what);
  }
  std::string name_;
};

class ControllerTest : public testing::UiTest {
 protected:
  void SetUp() override {
    UiTest::SetUp();
    journal = &entries;
  }
  void TearDown() override {
    journal = nullptr;
    UiTest::TearDown();
  }
  std::vector<std::string> take() {
    auto out = entries;
    entries.clear();
    return out;
  }
  std::vector<std::string> entries;
};

using Lines = std::vector<std::string>;

TEST_F(ControllerTest, RootControllerAppearsWithTheWindow) {
  auto root = std::make_shared<Screen_>("root");
  window->setRootViewController(root);
  EXPECT_EQ(take(), (Lines{"root.viewDidLoad", "root.viewWillAppear", "root.viewDidAppear"}));
  EXPECT_EQ(root->view()->frame(), Screen::mainScreen().bounds());
  window->setRootViewController(nullptr);
  EXPECT_EQ(take(), (Lines{"root.viewWillDisappear", "root.viewDidDisappear"}));
}

TEST_F(ControllerTest, OlderSystemsPutTheViewBelowTheStatusBar) {
  Device::currentDevice().setSystemVersion("6.1");
  auto root = std::make_shared<Screen_>("root");
  window->setRootViewController(root);
  EXPECT_EQ(root->view()->frame(), (Rect{0, 20, 320, 548}));
}

TEST_F(ControllerTest, PushAndPopWithAnimationTellEachScreenInOrder) {
  auto first = std::make_shared<Screen_>("first");
  auto nav = std::make_shared<NavigationController>(first);
  nav->setNavigationBarHidden(true, false);
  window->setRootViewController(nav);
  EXPECT_EQ(take(), (Lines{"first.viewDidLoad", "first.viewWillAppear", "first.viewDidAppear"}));
  EXPECT_EQ(first->view()->frame(), (Rect{0, 0, 320, 568}));

  auto second = std::make_shared<Screen_>("second");
  nav->pushViewController(second, true);
  EXPECT_EQ(nav->topViewController(), second.get());
  EXPECT_EQ(nav->visibleViewController(), second.get());
  EXPECT_EQ(second->navigationController(), nav.get());
  EXPECT_EQ(take(),
            (Lines{"first.viewWillDisappear", "second.viewDidLoad", "second.viewWillAppear"}));
  // Mid-slide both are on screen, the new one still to the right.
  advance(0.1);
  EXPECT_GT(second->view()->presentationFrame().x(), 0);
  EXPECT_EQ(second->view()->frame().x(), 0);
  EXPECT_NE(first->view()->superview(), nullptr);
  advance(0.3);
  EXPECT_EQ(take(), (Lines{"first.viewDidDisappear", "second.viewDidAppear"}));
  EXPECT_EQ(first->view()->superview(), nullptr);

  std::weak_ptr<ViewController> weakSecond = second;
  auto popped = nav->popViewControllerAnimated(true);
  EXPECT_EQ(popped, second);
  second.reset();
  popped.reset();
  EXPECT_EQ(take(), (Lines{"second.viewWillDisappear", "first.viewWillAppear"}));
  advance(0.4);
  EXPECT_EQ(take(), (Lines{"second.viewDidDisappear", "first.viewDidAppear"}));
  EXPECT_TRUE(weakSecond.expired());                         // the stack owned the popped screen
  EXPECT_EQ(nav->popViewControllerAnimated(true), nullptr);  // the root stays
}

TEST_F(ControllerTest, PushWithoutAnimationIsImmediateAndPopToRootClearsTheStack) {
  auto first = std::make_shared<Screen_>("first");
  auto nav = std::make_shared<NavigationController>(first);
  window->setRootViewController(nav);
  nav->pushViewController(std::make_shared<Screen_>("b"), false);
  nav->pushViewController(std::make_shared<Screen_>("c"), false);
  EXPECT_EQ(nav->viewControllers().size(), 3u);
  take();
  auto removed = nav->popToRootViewControllerAnimated(false);
  EXPECT_EQ(removed.size(), 2u);
  EXPECT_EQ(take(), (Lines{"c.viewWillDisappear", "first.viewWillAppear", "c.viewDidDisappear",
                           "first.viewDidAppear"}));
  EXPECT_EQ(nav->topViewController(), first.get());
  EXPECT_THROW(nav->pushViewController(first, false), Exception);
}

TEST_F(ControllerTest, ReplacingTheNavigationViewMovesAppearanceWithIt) {
  // The app's tab switch: a new stack around a screen that lives on.
  auto root = std::make_shared<ViewController>();
  window->setRootViewController(root);
  auto tab = std::make_shared<Screen_>("tab");
  auto nav1 = std::make_shared<NavigationController>(tab);
  root->view()->addSubview(nav1->view());
  EXPECT_EQ(take(), (Lines{"tab.viewDidLoad", "tab.viewWillAppear", "tab.viewDidAppear"}));
  nav1->view()->removeFromSuperview();
  nav1.reset();
  auto nav2 = std::make_shared<NavigationController>(tab);
  root->view()->addSubview(nav2->view());
  EXPECT_EQ(take(), (Lines{"tab.viewWillDisappear", "tab.viewDidDisappear", "tab.viewWillAppear",
                           "tab.viewDidAppear"}));
  EXPECT_EQ(tab->navigationController(), nav2.get());
}

TEST_F(ControllerTest, ModalPresentationCoversAndUncovers) {
  auto root = std::make_shared<Screen_>("root");
  window->setRootViewController(root);
  take();
  auto modal = std::make_shared<Screen_>("modal");
  bool presented = false;
  root->presentViewController(modal, true, [&] { presented = true; });
  EXPECT_EQ(root->presentedViewController(), modal);
  EXPECT_EQ(modal->presentingViewController(), root.get());
  EXPECT_FALSE(presented);
  advance(0.5);
  EXPECT_TRUE(presented);
  EXPECT_EQ(take(), (Lines{"modal.viewDidLoad", "root.viewWillDisappear", "modal.viewWillAppear",
                           "root.viewDidDisappear", "modal.viewDidAppear"}));
  EXPECT_EQ(modal->view()->window(), window.get());
  modal->dismissViewControllerAnimated(false);
  EXPECT_EQ(root->presentedViewController(), nullptr);
  EXPECT_EQ(modal->view()->window(), nullptr);
  EXPECT_EQ(take(), (Lines{"modal.viewWillDisappear", "root.viewWillAppear",
                           "modal.viewDidDisappear", "root.viewDidAppear"}));
}

TEST_F(ControllerTest, DeviceTurnsTheInterfaceOnlyWhenTheRootAgrees) {
  auto root = std::make_shared<Screen_>("root");
  window->setRootViewController(root);
  Device::currentDevice().setOrientation(DeviceOrientation::LandscapeLeft);
  EXPECT_EQ(Application::sharedApplication().statusBarOrientation(),
            InterfaceOrientation::Portrait);
  EXPECT_TRUE(root->willRotate.empty());
  Device::currentDevice().setOrientation(DeviceOrientation::Portrait);
  root->rotates = true;
  Device::currentDevice().setOrientation(DeviceOrientation::LandscapeLeft);
  EXPECT_EQ(Application::sharedApplication().statusBarOrientation(),
            InterfaceOrientation::LandscapeRight);
  ASSERT_EQ(root->willRotate.size(), 1u);
  View& v = *root->view();
  EXPECT_EQ(v.bounds(), (Rect{0, 0, 568, 320}));
  EXPECT_TRUE(nearlyEqual(v.frame(), Rect{0, 0, 320, 568}));
  EXPECT_EQ(Application::sharedApplication().statusBarFrame(), (Rect{0, 0, 20, 568}));
  advance(1);
  // Upside down is not among the supported orientations.
  Device::currentDevice().setOrientation(DeviceOrientation::PortraitUpsideDown);
  EXPECT_EQ(Application::sharedApplication().statusBarOrientation(),
            InterfaceOrientation::LandscapeRight);
  // Older systems ask the older question.
  Device::currentDevice().setSystemVersion("5.1");
  root->rotates = false;
  Device::currentDevice().setOrientation(DeviceOrientation::Portrait);
  EXPECT_EQ(Application::sharedApplication().statusBarOrientation(),
            InterfaceOrientation::Portrait);
  EXPECT_EQ(v.bounds(), (Rect{0, 0, 320, 568}));
}

struct AlertDelegate : AlertViewDelegate {
  std::vector<int> clicks;
  bool clickedButtonAtIndex(AlertView&, int index) override {
    clicks.push_back(index);
    return true;
  }
};

TEST_F(ControllerTest, AlertShowsOverEverythingAndATouchOnItsButtonDismisses) {
  auto root = std::make_shared<Screen_>("root");
  window->setRootViewController(root);
  AlertDelegate delegate;
  {
    auto alert = std::make_shared<AlertView>("", "网络错误", &delegate, "确定");
    alert->show();
  }
  auto shown = AlertView::visibleAlerts();
  ASSERT_EQ(shown.size(), 1u);
  EXPECT_TRUE(shown[0]->isVisible());
  EXPECT_EQ(shown[0]->numberOfButtons(), 1);
  EXPECT_EQ(shown[0]->buttonTitleAtIndex(0), "确定");
  EXPECT_EQ(window->subviews().back(), shown[0]);
  Button* ok = shown[0]->buttonAtIndex(0);
  ASSERT_NE(ok, nullptr);
  Point centre = ok->convertPointToView({ok->bounds().midX(), ok->bounds().midY()}, nullptr);
  tap(centre);
  EXPECT_EQ(delegate.clicks, (std::vector<int>{0}));
  EXPECT_TRUE(AlertView::visibleAlerts().empty());
  EXPECT_EQ(shown[0]->superview(), nullptr);
}

TEST_F(ControllerTest, StatusBarHidesWithAFadeAndTheApplicationOpensURLs) {
  Application& app = Application::sharedApplication();
  EXPECT_EQ(app.statusBarFrame(), (Rect{0, 0, 320, 20}));
  app.setStatusBarHidden(true, StatusBarAnimation::Fade);
  EXPECT_TRUE(app.isStatusBarHidden());
  EXPECT_EQ(app.statusBarFrame(), Rect{});
  advance(0.1);
  EXPECT_GT(app.statusBarPresentationAlpha(), 0);
  EXPECT_LT(app.statusBarPresentationAlpha(), 1);
  advance(0.3);
  EXPECT_EQ(app.statusBarPresentationAlpha(), 0);
  EXPECT_EQ(Screen::mainScreen().applicationFrame(), (Rect{0, 0, 320, 568}));
  app.setStatusBarHidden(false);
  EXPECT_EQ(app.statusBarPresentationAlpha(), 1);

  std::vector<std::string> handed;
  app.setURLOpener([&](const std::string& url) {
    handed.push_back(url);
    return true;
  });
  EXPECT_TRUE(app.openURL("mailto:feedback@lorvane.app"));
  EXPECT_FALSE(app.openURL("not a url"));
  EXPECT_EQ(handed, (std::vector<std::string>{"mailto:feedback@lorvane.app"}));
  EXPECT_EQ(app.openedURLs().size(), 1u);
}

struct LifeCycle : ApplicationDelegate {
  std::vector<std::string> calls;
  bool didFinishLaunchingWithOptions(Application&, const LaunchOptions&) override {
    calls.push_back("launch");
    return true;
  }
  void applicationDidBecomeActive(Application&) override { calls.push_back("active"); }
  void applicationWillResignActive(Application&) override { calls.push_back("resign"); }
  void applicationDidEnterBackground(Application&) override { calls.push_back("background"); }
  void applicationWillEnterForeground(Application&) override { calls.push_back("foreground"); }
  std::optional<bool> handleOpenURL(Application&, const std::string& url) override {
    calls.push_back("url " + url);
    return url.starts_with("wx");
  }
};

TEST_F(ControllerTest, ApplicationDrivesTheDelegateLifeCycle) {
  auto delegate = std::make_shared<LifeCycle>();
  Application& app = Application::sharedApplication();
  EXPECT_TRUE(app.launch(delegate));
  app.enterBackground();
  app.becomeActive();
  EXPECT_TRUE(app.handleOpenURL("wx123://oauth"));
  EXPECT_FALSE(app.handleOpenURL("tencent1://x"));
  EXPECT_EQ(delegate->calls,
            (std::vector<std::string>{"launch", "active", "resign", "background", "foreground",
                                      "active", "url wx123://oauth", "url tencent1://x"}));
}

}  // namespace
}  // namespace lorvane
