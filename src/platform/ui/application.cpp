#include "platform/ui/application.h"

#include <algorithm>

#include "platform/foundation/clock.h"
#include "platform/foundation/notification_center.h"
#include "platform/foundation/url.h"
#include "platform/ui/view_controller.h"
#include "platform/ui/window.h"

namespace lorvane {

namespace {
constexpr double kStatusBarFadeDuration = 0.25;

double rotationAngle(InterfaceOrientation o) {
  switch (o) {
    case InterfaceOrientation::LandscapeRight:
      return kPi / 2;
    case InterfaceOrientation::LandscapeLeft:
      return -kPi / 2;
    case InterfaceOrientation::PortraitUpsideDown:
      return kPi;
    default:
      return 0;
  }
}
}  // namespace

Application& Application::sharedApplication() {
  static Application app;
  return app;
}

bool Application::launch(std::shared_ptr<ApplicationDelegate> delegate,
                         const LaunchOptions& options) {
  ownedDelegate_ = std::move(delegate);
  delegate_ = ownedDelegate_.get();
  state_ = ApplicationState::Inactive;
  terminated_ = false;
  bool ok = delegate_ ? delegate_->didFinishLaunchingWithOptions(*this, options) : true;
  becomeActive();
  return ok;
}

void Application::resignActive() {
  if (state_ != ApplicationState::Active) return;
  state_ = ApplicationState::Inactive;
  if (delegate_) delegate_->applicationWillResignActive(*this);
}

void Application::enterBackground() {
  resignActive();
  if (state_ == ApplicationState::Background) return;
  state_ = ApplicationState::Background;
  if (delegate_) delegate_->applicationDidEnterBackground(*this);
  NotificationCenter::defaultCenter().postNotificationName(
      kApplicationDidEnterBackgroundNotification, this);
}

void Application::enterForeground() {
  if (state_ != ApplicationState::Background) return;
  state_ = ApplicationState::Inactive;
  if (delegate_) delegate_->applicationWillEnterForeground(*this);
}

void Application::becomeActive() {
  if (state_ == ApplicationState::Active) return;
  if (state_ == ApplicationState::Background) enterForeground();
  state_ = ApplicationState::Active;
  if (delegate_) delegate_->applicationDidBecomeActive(*this);
}

void Application::terminate() {
  // The window closing, a quit signal and the program's own exit may each
  // end the app; the delegate hears it once.
  if (terminated_) return;
  terminated_ = true;
  if (delegate_) delegate_->applicationWillTerminate(*this);
  NotificationCenter::defaultCenter().postNotificationName(kApplicationWillTerminateNotification,
                                                           this);
}

bool Application::handleOpenURL(const std::string& url, const std::string& sourceApplication) {
  if (!delegate_) return false;
  if (auto answer = delegate_->openURL(*this, url, sourceApplication)) return *answer;
  if (auto answer = delegate_->handleOpenURL(*this, url)) return *answer;
  return false;
}

Window* Application::keyWindow() const {
  return Window::keyWindow();
}

void Application::setStatusBarStyle(StatusBarStyle style, bool) {
  statusBarStyle_ = style;
}

void Application::setStatusBarHidden(bool hidden, StatusBarAnimation animation) {
  if (hidden == statusBarHidden_) return;
  double current = statusBarPresentationAlpha();
  statusBarHidden_ = hidden;
  if (animation == StatusBarAnimation::None) {
    fadeDuration_ = 0;
  } else {
    fadeFrom_ = current;
    fadeStart_ = Clock::shared().now();
    fadeDuration_ = kStatusBarFadeDuration;
  }
}

double Application::statusBarPresentationAlpha() const {
  double target = statusBarHidden_ ? 0 : 1;
  if (fadeDuration_ <= 0) return target;
  double t = (Clock::shared().now() - fadeStart_) / fadeDuration_;
  if (t >= 1) return target;
  t = std::max(0.0, t);
  return fadeFrom_ + (target - fadeFrom_) * t;
}

Rect Application::statusBarFrame() const {
  if (statusBarHidden_) return {};
  Rect screen = Screen::mainScreen().bounds();
  switch (orientation_) {
    case InterfaceOrientation::LandscapeRight:
      return {0, 0, kStatusBarHeight, screen.height()};
    case InterfaceOrientation::LandscapeLeft:
      return {screen.width() - kStatusBarHeight, 0, kStatusBarHeight, screen.height()};
    case InterfaceOrientation::PortraitUpsideDown:
      return {0, screen.height() - kStatusBarHeight, screen.width(), kStatusBarHeight};
    default:
      return {0, 0, screen.width(), kStatusBarHeight};
  }
}

bool Application::openURL(const std::string& url) {
  if (!URL::parse(url) || !URL::parse(url)->isAbsolute()) return false;
  openedURLs_.push_back(url);
  return urlOpener_ ? urlOpener_(url) : true;
}

bool Application::canOpenURL(const std::string& url) const {
  auto parsed = URL::parse(url);
  return parsed && parsed->isAbsolute();
}

void Application::deviceOrientationDidChange() {
  int value = static_cast<int>(Device::currentDevice().orientation());
  if (value < 1 || value > 4) return;  // face up or down, unknown: the interface stays
  auto o = static_cast<InterfaceOrientation>(value);
  if (o == orientation_) return;
  Window* window = keyWindow();
  if (!window || !window->rootViewController()) return;
  auto root = window->rootViewController();
  bool allowed;
  if (Device::currentDevice().systemVersionNumber() >= 6.0) {
    allowed = root->shouldAutorotate() && (root->supportedInterfaceOrientations() &
                                           supportedOrientations_ & orientationMask(o));
  } else {
    allowed = root->shouldAutorotateToInterfaceOrientation(o);
  }
  if (allowed) setInterfaceOrientation(o, true);
}

void Application::setInterfaceOrientation(InterfaceOrientation o, bool animated) {
  if (o == orientation_) return;
  Window* window = keyWindow();
  auto root = window ? window->rootViewController() : nullptr;
  InterfaceOrientation old = orientation_;
  double duration = animated ? kRotationDuration : 0;
  if (root) root->willRotateToInterfaceOrientation(o, duration);
  orientation_ = o;
  if (!root) return;
  ViewPtr view = root->view();
  Rect screen = window->bounds();
  Size size = isLandscape(o) ? Size{screen.height(), screen.width()} : screen.size;
  auto turn = [&] {
    view->setTransform(AffineTransform::rotation(rotationAngle(o)));
    view->setBounds({0, 0, size.width, size.height});
    view->setCenter(screen.center());
    if (auto presented = root->presentedViewController(); presented && presented->isViewLoaded()) {
      ViewPtr pv = presented->view();
      pv->setTransform(view->transform());
      pv->setBounds(view->bounds());
      pv->setCenter(view->center());
    }
    view->layoutIfNeeded();
    root->willAnimateRotationToInterfaceOrientation(o, duration);
  };
  std::weak_ptr<ViewController> weakRoot = root;
  auto done = [weakRoot, old](bool) {
    if (auto r = weakRoot.lock()) r->didRotateFromInterfaceOrientation(old);
  };
  if (animated) {
    animateWithDuration(duration, 0, 0, turn, done);
  } else {
    performWithoutAnimation(turn);
    done(true);
  }
}

void Application::reset() {
  ownedDelegate_.reset();
  delegate_ = nullptr;
  state_ = ApplicationState::Inactive;
  terminated_ = false;
  statusBarStyle_ = StatusBarStyle::Default;
  statusBarHidden_ = false;
  fadeDuration_ = 0;
  orientation_ = InterfaceOrientation::Portrait;
  networkActivity_ = false;
  urlOpener_ = nullptr;
  openedURLs_.clear();
  supportedOrientations_ = kOrientationMaskAllButUpsideDown;
}

void Application::windowDidBecomeKey(Window* window) {
  keyWindow_ = window;
}

void Application::windowWillClose(Window* window) {
  if (keyWindow_ == window) keyWindow_ = nullptr;
}

}  // namespace lorvane
