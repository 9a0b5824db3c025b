#include <gtest/gtest.h>

#include <sstream>

#include "app/app_delegate.h"
#include "app/script_player.h"
#include "feeds/cool_topic_view_controller.h"
#include "feeds/feeds_test_support.h"
#include "feeds/show_view_controller.h"
#include "platform/services/share_setup.h"
#include "platform/services/usage_analytics.h"
#include "platform/ui/text_field.h"
#include "player/detail_view_controller.h"
#include "settings/orvel_view_controller.h"
#include "settings/setting_view_controller.h"

namespace lorvane {
namespace {

class ShellTest : public testing::AppScreenTest {
 protected:
  void SetUp() override {
    AppScreenTest::SetUp();
    startServer();
    ShareServiceLog::clear();
    UsageAnalytics::reset();
    delegate = std::make_shared<AppDelegate>();
    ASSERT_TRUE(Application::sharedApplication().launch(delegate));
    root = delegate->rootVC();
    ASSERT_TRUE(root);
    advance(1);
  }
  void tearDownScreens() override {
    root.reset();
    delegate.reset();
    Application::sharedApplication().reset();
    CustomTarBar::sharedInstance()->setDelegate(nullptr);
    NavigationController::setAutorotationRule(nullptr);
    NavigationController::setForwardsRotationCallbacks(true);
  }
  CustomTarBar& bar() { return *CustomTarBar::sharedInstance(); }

  std::shared_ptr<AppDelegate> delegate;
  std::shared_ptr<RootViewController> root;
};

TEST_F(ShellTest, LaunchRegistersTheServicesInOrderAndShowsTheFirstTab) {
  const auto& config = AppConfiguration::current();
  std::vector<std::string> expected = {
      "ShareData.openLog YES",
      "ShareData.setAppKey " + config.shareAppKey,
      "ShareConfig.setWeChatAppId " + config.weChatAppID + " nil",
      "ShareConfig.setSupportQzoneSSO YES [QQApiInterface,QQOAuth]",
      std::string("ShareConfig.setQQAppId ") + AppDelegate::kQQAppId +
          " nil [QQApiInterface,QQOAuth]",
      "ShareConfig.setSupportSinaSSO YES",
      "ShareSnsService.applicationDidBecomeActive"};
  EXPECT_EQ(ShareServiceLog::calls(), expected);
  EXPECT_EQ(UsageAnalytics::appKey(), config.shareAppKey);
  EXPECT_EQ(std::string(AppDelegate::kQQAppId).size(), 9u);
  EXPECT_EQ(Application::sharedApplication().statusBarStyle(), StatusBarStyle::LightContent);
  ASSERT_EQ(Window::keyWindow(), delegate->window().get());
  EXPECT_EQ(delegate->window()->rootViewController(), root);

  ASSERT_EQ(root->controllersArray().size(), 4u);
  EXPECT_TRUE(dynamic_cast<CoolTopicViewController*>(root->controllersArray()[0].get()));
  EXPECT_TRUE(dynamic_cast<ShowViewController*>(root->controllersArray()[1].get()));
  EXPECT_TRUE(dynamic_cast<OrvelViewController*>(root->controllersArray()[2].get()));
  EXPECT_TRUE(dynamic_cast<SettingViewController*>(root->controllersArray()[3].get()));
  ASSERT_TRUE(root->navController());
  EXPECT_EQ(root->navController()->topViewController(), root->controllersArray()[0].get());
  EXPECT_TRUE(root->navController()->isNavigationBarHidden());
  EXPECT_TRUE(root->controllersArray()[0]->isAppeared());
  // The bar came up at once (no animation for tab 0), on top of the stack.
  EXPECT_EQ(bar().frame(), (Rect{0, 523, 320, 45}));
  EXPECT_EQ(bar().presentationFrame(), bar().frame());
  EXPECT_EQ(root->view()->subviews().back().get(), &bar());
  EXPECT_TRUE(bar().hotTopicButton().isSelected());
}

TEST_F(ShellTest, ChoosingATabBuildsAFreshStackAroundTheSameScreen) {
  bar().selectTabBarButton(1);
  auto* firstStack = root->navController();
  ViewController* showList = root->controllersArray()[1].get();
  EXPECT_EQ(firstStack->topViewController(), showList);
  auto pushed = std::make_shared<ViewController>();
  std::weak_ptr<ViewController> weakPushed = pushed;
  firstStack->pushViewController(pushed, false);
  pushed.reset();
  bar().hideTabBar(true, false);
  bar().selectTabBarButton(1);        // the tab already shown
  EXPECT_TRUE(weakPushed.expired());  // the old stack went, with what was pushed on it
  EXPECT_EQ(root->navController()->viewControllers().size(), 1u);
  EXPECT_EQ(root->navController()->topViewController(), showList);
  // Tabs 1 to 3 bring the bar back over 0.3 seconds.
  EXPECT_EQ(bar().frame().y(), 523);
  EXPECT_GT(bar().presentationFrame().y(), 523);
  advance(0.35);
  EXPECT_EQ(bar().presentationFrame().y(), 523);
  EXPECT_EQ(root->navController()->view()->frame(), root->view()->bounds());
  EXPECT_EQ(root->view()->subviews().back().get(), &bar());
}

// The bar lives for the whole process; the shell that answers it may not.
TEST_F(ShellTest, TheTabBarForgetsARootControllerThatDied) {
  std::weak_ptr<RootViewController> weakRoot = root;
  window->setRootViewController(nullptr);
  root.reset();
  delegate.reset();
  Application::sharedApplication().reset();
  ASSERT_TRUE(weakRoot.expired());
  EXPECT_EQ(bar().delegate(), nullptr);
  const int before = bar().tabBarButtonSelect();
  bar().selectTabBarButton(2);  // used to reach the freed controller
  EXPECT_TRUE(bar().buttonArray()[2]->isSelected());
  EXPECT_EQ(bar().tabBarButtonSelect(), before);

  // A new shell takes the bar over and is told of choices again.
  delegate = std::make_shared<AppDelegate>();
  ASSERT_TRUE(Application::sharedApplication().launch(delegate));
  root = delegate->rootVC();
  EXPECT_EQ(bar().delegate(), static_cast<CustomTarBarDelegate*>(root.get()));
  bar().selectTabBarButton(3);
  EXPECT_EQ(root->navController()->topViewController(), root->controllersArray()[3].get());
}

TEST_F(ShellTest, TheRootControllerOutlivesTheBarLeavingItsView) {
  bar().removeFromSuperview();
  bar().selectTabBarButton(1);
  EXPECT_EQ(root->navController()->topViewController(), root->controllersArray()[1].get());
  std::weak_ptr<RootViewController> weakRoot = root;
  window->setRootViewController(nullptr);
  root.reset();
  delegate.reset();
  Application::sharedApplication().reset();
  EXPECT_TRUE(weakRoot.expired());
  EXPECT_EQ(bar().delegate(), nullptr);
}

TEST_F(ShellTest, SelectionOutsideTheTabsChangesNothing) {
  auto* stack = root->navController();
  root->selectedType(bar(), 4);
  root->selectedType(bar(), -1);
  EXPECT_EQ(root->navController(), stack);
}

TEST_F(ShellTest, OnlyTheLessonPageMayTurnTheApp) {
  EXPECT_EQ(root->supportedInterfaceOrientations(), 26u);
  EXPECT_FALSE(root->shouldAutorotate());
  Device::currentDevice().setOrientation(DeviceOrientation::LandscapeLeft);
  EXPECT_EQ(Application::sharedApplication().statusBarOrientation(),
            InterfaceOrientation::Portrait);
  Device::currentDevice().setOrientation(DeviceOrientation::Portrait);

  auto nav = root->navController();
  EXPECT_TRUE(nav->shouldAutorotateToInterfaceOrientation(InterfaceOrientation::Portrait));
  EXPECT_FALSE(nav->shouldAutorotateToInterfaceOrientation(InterfaceOrientation::LandscapeLeft));
  nav->pushViewController(std::make_shared<DetailViewController>(), false);
  EXPECT_TRUE(root->shouldAutorotate());
  EXPECT_TRUE(nav->shouldAutorotateToInterfaceOrientation(InterfaceOrientation::LandscapeLeft));
  EXPECT_TRUE(nav->shouldAutorotateToInterfaceOrientation(InterfaceOrientation::LandscapeRight));
  EXPECT_FALSE(
      nav->shouldAutorotateToInterfaceOrientation(InterfaceOrientation::PortraitUpsideDown));
  Device::currentDevice().setOrientation(DeviceOrientation::LandscapeLeft);
  EXPECT_EQ(Application::sharedApplication().statusBarOrientation(),
            InterfaceOrientation::LandscapeRight);
  EXPECT_EQ(root->view()->bounds().size, (Size{568, 320}));
  advance(1);
  Device::currentDevice().setOrientation(DeviceOrientation::PortraitUpsideDown);
  EXPECT_EQ(Application::sharedApplication().statusBarOrientation(),
            InterfaceOrientation::LandscapeRight);
}

TEST_F(ShellTest, ReturningFromAChatAppHandsTheURLOnUnchanged) {
  ShareServiceLog::clear();
  EXPECT_TRUE(Application::sharedApplication().handleOpenURL(
      "wx0000000000000000://platformId=wechat", "com.tencent.xin"));
  EXPECT_FALSE(Application::sharedApplication().handleOpenURL("https://example.com/x"));
  EXPECT_EQ(ShareServiceLog::calls(),
            (std::vector<std::string>{
                "ShareSnsService.handleOpenURL wx0000000000000000://platformId=wechat nil",
                "ShareSnsService.handleOpenURL https://example.com/x nil"}));
}

TEST(ScriptPlayerTest, ReportsTheFirstBadLine) {
  ScopedManualClock clock;
  auto display = Display::create({.headless = true, .scale = 1});
  ASSERT_TRUE(display);
  ScriptPlayer player(*display);
  std::istringstream good("# a comment\nwait 0\nkey r\nkey up\n");
  std::string error;
  EXPECT_TRUE(player.play(good, &error)) << error;
  std::istringstream bad("wait 0\ntap 10\n");
  EXPECT_FALSE(player.play(bad, &error));
  EXPECT_EQ(error, "script line 2: tap needs X and Y");
  std::istringstream unknown("fly 1 2\n");
  EXPECT_FALSE(player.play(unknown, &error));
  EXPECT_EQ(error, "script line 1: unknown command fly");
  std::istringstream editingKeys(
      "key backspace\nkey return\nkey tab\nkey escape\nkey home\nkey end\n");
  EXPECT_TRUE(player.play(editingKeys, &error)) << error;
  std::istringstream unknownKey("key shift\n");
  EXPECT_FALSE(player.play(unknownKey, &error));
  EXPECT_EQ(error, "script line 1: unknown key");
  std::istringstream noServer("stop-server\n");
  EXPECT_FALSE(player.play(noServer, &error));
  EXPECT_EQ(error, "script line 1: no sample server to stop");
  int stops = 0;
  player.setServerStopper([&] { return ++stops == 1; });
  std::istringstream stopTwice("stop-server\nstop-server\n");
  EXPECT_FALSE(player.play(stopTwice, &error));
  EXPECT_EQ(stops, 2);
  EXPECT_EQ(error, "script line 2: no sample server to stop");
  std::istringstream nothingToType("type\n");
  EXPECT_FALSE(player.play(nothingToType, &error));
  EXPECT_EQ(error, "script line 1: type needs text");

  // Typing goes, as keyboard text, into the field being edited; the text is
  // the rest of the line as written.
  auto window = std::make_shared<Window>();
  window->makeKeyAndVisible();
  auto field = View::make<TextField>(Rect{10, 100, 300, 30});
  window->addSubview(field);
  std::istringstream typing(
      "tap 50 115\ntype  中文 # not a comment\nkey backspace\nkey home\ntype >\n");
  EXPECT_TRUE(player.play(typing, &error)) << error;
  EXPECT_EQ(field->text(), "> 中文 # not a commen");
  Device::currentDevice().reset();
}

}  // namespace
}  // namespace lorvane
