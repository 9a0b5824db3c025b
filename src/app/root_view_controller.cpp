#include "app/root_view_controller.h"

#include "feeds/cool_topic_view_controller.h"
#include "feeds/show_view_controller.h"
#include "platform/ui/screen.h"
#include "player/detail_view_controller.h"
#include "settings/orvel_view_controller.h"
#include "settings/setting_view_controller.h"

namespace lorvane {

namespace {
bool isDetailPage(const ViewController* controller) {
  return dynamic_cast<const DetailViewController*>(controller) != nullptr;
}
}  // namespace

RootViewController::RootViewController() {
  initControllers();
}

void RootViewController::initControllers() {
  controllersArray_.clear();
  controllersArray_.reserve(kTabCount);
  std::shared_ptr<ViewController> screens[kTabCount] = {
      std::make_shared<CoolTopicViewController>(), std::make_shared<ShowViewController>(),
      std::make_shared<OrvelViewController>(), std::make_shared<SettingViewController>()};
  for (auto& screen : screens) {
    screen->setWantsFullScreenLayout(false);
    controllersArray_.push_back(screen);
  }
}

void RootViewController::viewDidLoad() {
  ViewController::viewDidLoad();
  customTabBar_ = CustomTarBar::sharedInstance();
  Rect screen = Screen::mainScreen().bounds();
  customTabBar_->setFrame({0, screen.height(), screen.width(), CustomTarBar::kHeight});
  customTabBar_->setDelegate(this);
  // Answered at once with selectedType 0, which puts tab 0 on screen.
  customTabBar_->selectTabBarButton(0);
  view()->addSubview(customTabBar_);
}

void RootViewController::selectedType(CustomTarBar& tabBar, int index) {
  if (index < 0 || index >= kTabCount) return;
  if (navController_) {
    if (navController_->isViewLoaded()) navController_->view()->removeFromSuperview();
    navController_.reset();
  }
  navController_ = std::make_shared<NavigationController>(controllersArray_[std::size_t(index)]);
  navController_->setNavigationBarHidden(true, false);
  ViewPtr navView = navController_->view();
  navView->setFrame(view()->bounds());
  view()->addSubview(navView);
  view()->bringSubviewToFront(&tabBar);
  tabBar.hideTabBar(false, index != 0);
}

ViewController* RootViewController::visibleViewController() const {
  return navController_ ? navController_->visibleViewController() : nullptr;
}

bool RootViewController::shouldAutorotate() {
  return isDetailPage(visibleViewController());
}

bool RootViewController::shouldAutorotateToInterfaceOrientation(InterfaceOrientation o) {
  ViewController* visible = visibleViewController();
  return visible ? visible->shouldAutorotateToInterfaceOrientation(o)
                 : o == InterfaceOrientation::Portrait;
}

void RootViewController::willRotateToInterfaceOrientation(InterfaceOrientation o, double duration) {
  if (ViewController* visible = visibleViewController())
    visible->willRotateToInterfaceOrientation(o, duration);
}

void RootViewController::willAnimateRotationToInterfaceOrientation(InterfaceOrientation o,
                                                                   double duration) {
  if (ViewController* visible = visibleViewController()) {
    visible->willAnimateRotationToInterfaceOrientation(o, duration);
  }
}

void RootViewController::installNavigationRules() {
  NavigationController::setAutorotationRule(
      [](const NavigationController& nav, InterfaceOrientation o) {
        bool turnable = o == InterfaceOrientation::Portrait ||
                        o == InterfaceOrientation::LandscapeRight ||
                        o == InterfaceOrientation::LandscapeLeft;
        if (turnable && isDetailPage(nav.visibleViewController())) return true;
        return o == InterfaceOrientation::Portrait;
      });
  NavigationController::setForwardsRotationCallbacks(false);
}

bool RootViewController::pressKey(const KeyPress& key) {
  // A screen presented over everything first; what it leaves goes to the
  // page on top of the stack, which offers it to what it presents itself.
  if (auto presented = presentedViewController(); presented && presented->pressKey(key))
    return true;
  if (!navController_) return false;
  if (auto presented = navController_->presentedViewController();
      presented && presented->pressKey(key))
    return true;
  ViewController* top = navController_->topViewController();
  return top && top->pressKey(key);
}

}  // namespace lorvane
