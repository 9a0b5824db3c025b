#include "platform/ui/navigation_controller.h"

#include <algorithm>

#include "platform/foundation/error.h"
#include "platform/ui/window.h"

namespace lorvane {

namespace {
NavigationController::AutorotationRule& autorotationRule() {
  static NavigationController::AutorotationRule rule;
  return rule;
}
bool& forwardsRotation() {
  static bool forwards = true;
  return forwards;
}
}  // namespace

NavigationController::NavigationController(std::shared_ptr<ViewController> root) {
  navigationBar_ = std::make_shared<View>();
  navigationBar_->setBackgroundColor(Color::white(0.97));
  if (root) {
    stack_.push_back(root);
    addChildViewController(root);
  }
}

NavigationController::~NavigationController() = default;

void NavigationController::setAutorotationRule(AutorotationRule rule) {
  autorotationRule() = std::move(rule);
}

void NavigationController::setForwardsRotationCallbacks(bool forwards) {
  forwardsRotation() = forwards;
}

void NavigationController::loadView() {
  ViewController::loadView();
  view()->setClipsToBounds(true);
  double top = Device::currentDevice().systemVersionNumber() >= 7.0 ? 20 : 0;
  navigationBar_->setFrame({0, top, view()->bounds().width(), kBarHeight});
  navigationBar_->setAutoresizingMask(AutoresizingFlexibleWidth);
  if (auto* top = topViewController()) {
    layoutContent(*top);
    view()->addSubview(top->view());
  }
  view()->addSubview(navigationBar_);
}

void NavigationController::layoutContent(ViewController& controller) {
  Rect b = view()->bounds();
  if (!navigationBar_->isHidden()) {
    double barBottom = navigationBar_->frame().maxY();
    b = {0, barBottom, b.width(), b.height() - barBottom};
  }
  ViewPtr v = controller.view();
  performWithoutAnimation([&] {
    v->setTransform({});
    v->setFrame(b);
  });
  v->setAutoresizingMask(AutoresizingFlexibleWidth | AutoresizingFlexibleHeight);
}

ViewController* NavigationController::topViewController() const {
  return stack_.empty() ? nullptr : stack_.back().get();
}

ViewController* NavigationController::visibleViewController() const {
  ViewController* top = topViewController();
  if (auto presented = presentedViewController()) return presented.get();
  if (top) {
    ViewController* v = top;
    while (v->presentedViewController()) v = v->presentedViewController().get();
    return v;
  }
  return nullptr;
}

std::vector<ViewController*> NavigationController::appearanceChildren() const {
  if (transition_) return {};
  if (auto* top = topViewController()) return {top};
  return {};
}

bool NavigationController::isOnScreen() const {
  return isViewLoaded() && const_cast<NavigationController*>(this)->view()->window() != nullptr;
}

void NavigationController::pushViewController(const std::shared_ptr<ViewController>& controller,
                                              bool animated) {
  if (!controller) return;
  if (std::find(stack_.begin(), stack_.end(), controller) != stack_.end()) {
    throw Exception("NSInvalidArgumentException",
                    "Pushing the same view controller instance more than once is not supported");
  }
  if (transition_) finishTransition();
  auto from = stack_.empty() ? nullptr : stack_.back();
  stack_.push_back(controller);
  addChildViewController(controller);
  transition(from, controller, true, animated, {});
}

std::shared_ptr<ViewController> NavigationController::popViewControllerAnimated(bool animated) {
  if (stack_.size() < 2) return nullptr;
  if (transition_) finishTransition();
  auto from = stack_.back();
  stack_.pop_back();
  transition(from, stack_.back(), false, animated, {from});
  return from;
}

std::vector<std::shared_ptr<ViewController>> NavigationController::popToViewController(
    const ViewController* controller, bool animated) {
  auto it = std::find_if(stack_.begin(), stack_.end(),
                         [&](const auto& c) { return c.get() == controller; });
  if (it == stack_.end() || it + 1 == stack_.end()) return {};
  if (transition_) finishTransition();
  std::vector<std::shared_ptr<ViewController>> removed(it + 1, stack_.end());
  auto from = stack_.back();
  stack_.erase(it + 1, stack_.end());
  transition(from, stack_.back(), false, animated, removed);
  return removed;
}

std::vector<std::shared_ptr<ViewController>> NavigationController::popToRootViewControllerAnimated(
    bool animated) {
  if (stack_.empty()) return {};
  return popToViewController(stack_.front().get(), animated);
}

void NavigationController::setViewControllers(std::vector<std::shared_ptr<ViewController>> list,
                                              bool animated) {
  if (transition_) finishTransition();
  auto from = stack_.empty() ? nullptr : stack_.back();
  std::vector<std::shared_ptr<ViewController>> removed;
  for (auto& c : stack_) {
    if (std::find(list.begin(), list.end(), c) == list.end()) removed.push_back(c);
  }
  stack_ = std::move(list);
  for (auto& c : stack_) addChildViewController(c);
  auto to = stack_.empty() ? nullptr : stack_.back();
  if (from == to) {
    for (auto& c : removed) c->removeFromParentViewController();
    return;
  }
  transition(from, to, true, animated, removed);
}

void NavigationController::transition(std::shared_ptr<ViewController> from,
                                      std::shared_ptr<ViewController> to, bool forward,
                                      bool animated,
                                      std::vector<std::shared_ptr<ViewController>> removed) {
  auto keep = std::static_pointer_cast<NavigationController>(shared_from_this());
  if (!isViewLoaded()) {
    // Nothing on screen yet: the stack changes, the views follow on load.
    for (auto& c : removed) c->removeFromParentViewController();
    return;
  }
  bool onScreen = isOnScreen();
  animated = animated && onScreen && from;
  transition_ = Transition{from, to, std::move(removed)};
  std::uint64_t serial = ++transitionSerial_;
  if (onScreen) {
    if (from) from->beginAppearanceTransition(false, animated);
    if (to) to->beginAppearanceTransition(true, animated);
  }
  View& container = *view();
  double width = container.bounds().width();
  if (to) {
    layoutContent(*to);
    ViewPtr toView = to->view();
    if (from && from->isViewLoaded() && from->view()->superview() == &container) {
      if (forward) {
        container.insertSubviewAbove(toView, from->view().get());
      } else {
        container.insertSubviewBelow(toView, from->view().get());
      }
    } else {
      container.insertSubviewBelow(toView, navigationBar_.get());
    }
  }
  if (!animated) {
    finishTransition();
    return;
  }
  ViewPtr toView = to ? to->view() : nullptr;
  ViewPtr fromView = from ? from->view() : nullptr;
  Point toCenter = toView ? toView->center() : Point{};
  Point fromCenter = fromView ? fromView->center() : Point{};
  performWithoutAnimation([&] {
    if (toView) toView->setCenter({toCenter.x + (forward ? width : -width * 0.3), toCenter.y});
  });
  animateWithDuration(
      kTransitionDuration, 0, AnimationOptionCurveEaseInOut,
      [&] {
        if (toView) toView->setCenter(toCenter);
        if (fromView)
          fromView->setCenter({fromCenter.x + (forward ? -width * 0.3 : width), fromCenter.y});
      },
      [keep, serial](bool) {
        if (keep->transition_ && keep->transitionSerial_ == serial) keep->finishTransition();
      });
}

void NavigationController::finishTransition() {
  if (!transition_) return;
  Transition t = std::move(*transition_);
  transition_.reset();
  auto keep = shared_from_this();
  if (t.from && t.from != t.to && t.from->isViewLoaded()) {
    ViewPtr v = t.from->view();
    performWithoutAnimation([&] { v->removeAllAnimations(false); });
    v->removeFromSuperview();
  }
  if (t.to) {
    ViewPtr v = t.to->view();
    v->removeAllAnimations(false);
    layoutContent(*t.to);
  }
  if (t.from) t.from->endAppearanceTransition();
  if (t.to) t.to->endAppearanceTransition();
  for (auto& c : t.removed) c->removeFromParentViewController();
}

void NavigationController::setNavigationBarHidden(bool hidden, bool animated) {
  (void)animated;
  navigationBar_->setHidden(hidden);
  if (auto* top = topViewController(); top && isViewLoaded() && !transition_) layoutContent(*top);
}

bool NavigationController::shouldAutorotate() {
  auto* top = topViewController();
  return top ? top->shouldAutorotate() : true;
}

unsigned NavigationController::supportedInterfaceOrientations() {
  auto* top = topViewController();
  return top ? top->supportedInterfaceOrientations() : kOrientationMaskAllButUpsideDown;
}

bool NavigationController::shouldAutorotateToInterfaceOrientation(InterfaceOrientation o) {
  if (autorotationRule()) return autorotationRule()(*this, o);
  auto* top = topViewController();
  return top ? top->shouldAutorotateToInterfaceOrientation(o) : o == InterfaceOrientation::Portrait;
}

void NavigationController::willRotateToInterfaceOrientation(InterfaceOrientation o, double d) {
  if (!forwardsRotation()) return;
  if (auto* top = topViewController()) top->willRotateToInterfaceOrientation(o, d);
}

void NavigationController::willAnimateRotationToInterfaceOrientation(InterfaceOrientation o,
                                                                     double d) {
  if (!forwardsRotation()) return;
  if (auto* top = topViewController()) top->willAnimateRotationToInterfaceOrientation(o, d);
}

void NavigationController::didRotateFromInterfaceOrientation(InterfaceOrientation o) {
  if (!forwardsRotation()) return;
  if (auto* top = topViewController()) top->didRotateFromInterfaceOrientation(o);
}

}  // namespace lorvane
