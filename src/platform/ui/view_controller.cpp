#include "platform/ui/view_controller.h"

#include <algorithm>

#include "platform/ui/application.h"
#include "platform/ui/navigation_controller.h"
#include "platform/ui/window.h"

namespace lorvane {

namespace {
constexpr double kModalDuration = 0.4;
}

ViewController::ViewController() = default;

ViewController::~ViewController() {
  if (view_ && view_->controller_ == this) view_->controller_ = nullptr;
  for (auto& child : children_) child->parent_ = nullptr;
  if (presented_) presented_->presenting_ = nullptr;
}

ViewPtr ViewController::view() {
  if (!view_ && !loading_) {
    loading_ = true;
    loadView();
    if (!view_) setView(std::make_shared<View>(Screen::mainScreen().bounds()));
    loading_ = false;
    viewDidLoad();
  }
  return view_;
}

void ViewController::setView(ViewPtr view) {
  if (view_ && view_->controller_ == this) view_->controller_ = nullptr;
  view_ = std::move(view);
  if (view_) view_->controller_ = this;
}

void ViewController::loadView() {
  bool full = wantsFullScreenLayout_ || Device::currentDevice().systemVersionNumber() >= 7.0;
  auto v = std::make_shared<View>(full ? Screen::mainScreen().bounds()
                                       : Screen::mainScreen().applicationFrame());
  v->setBackgroundColor(Color::clear());
  v->setAutoresizingMask(AutoresizingFlexibleWidth | AutoresizingFlexibleHeight);
  setView(v);
}

void ViewController::addChildViewController(const std::shared_ptr<ViewController>& child) {
  if (!child || child.get() == this) return;
  if (child->parent_ == this) return;
  child->removeFromParentViewController();
  children_.push_back(child);
  child->parent_ = this;
}

void ViewController::removeFromParentViewController() {
  ViewController* parent = parent_;
  if (!parent) return;
  auto keep = shared_from_this();
  parent_ = nullptr;
  std::erase_if(parent->children_, [&](const auto& c) { return c.get() == this; });
}

NavigationController* ViewController::navigationController() const {
  for (ViewController* p = parent_; p; p = p->parent_) {
    if (auto* nav = dynamic_cast<NavigationController*>(p)) return nav;
  }
  if (presenting_) return presenting_->navigationController();
  return nullptr;
}

InterfaceOrientation ViewController::interfaceOrientation() const {
  return Application::sharedApplication().statusBarOrientation();
}

Responder* ViewController::nextResponder() const {
  if (view_ && view_->superview()) return view_->superview();
  return nullptr;
}

void ViewController::beginAppearanceTransition(bool appearing, bool animated) {
  auto keep = shared_from_this();
  lastAnimated_ = animated;
  if (appearing) {
    if (appearance_ == Appearance::Appeared || appearance_ == Appearance::Appearing) return;
    appearance_ = Appearance::Appearing;
    view();
    viewWillAppear(animated);
  } else {
    if (appearance_ == Appearance::Disappeared || appearance_ == Appearance::Disappearing) return;
    appearance_ = Appearance::Disappearing;
    viewWillDisappear(animated);
  }
  for (ViewController* child : appearanceChildren()) {
    child->beginAppearanceTransition(appearing, animated);
  }
}

void ViewController::endAppearanceTransition() {
  auto keep = shared_from_this();
  if (appearance_ == Appearance::Appearing) {
    appearance_ = Appearance::Appeared;
    viewDidAppear(lastAnimated_);
  } else if (appearance_ == Appearance::Disappearing) {
    appearance_ = Appearance::Disappeared;
    viewDidDisappear(lastAnimated_);
  } else {
    return;
  }
  for (ViewController* child : appearanceChildren()) child->endAppearanceTransition();
}

void ViewController::viewWillMoveToWindow(Window* window) {
  // A screen not driven by a container or a presenter appears and
  // disappears with its view's place in a window.
  if (!drivesOwnAppearance()) return;
  windowTransition_ = true;
  beginAppearanceTransition(window != nullptr, false);
}

void ViewController::viewDidMoveToWindow(Window*) {
  if (!windowTransition_) return;
  windowTransition_ = false;
  endAppearanceTransition();
}

void ViewController::presentViewController(const std::shared_ptr<ViewController>& controller,
                                           bool animated, std::function<void()> completion) {
  if (!controller || presented_ || controller->presenting_ || controller.get() == this) return;
  Window* window = view()->window();
  if (!window) window = Window::keyWindow();
  if (!window) return;
  presented_ = controller;
  controller->presenting_ = this;
  auto keep = shared_from_this();
  ViewPtr v = controller->view();
  // The presented screen takes the place and the turn of the window's content.
  if (View* root = window->rootView()) {
    v->setTransform(root->transform());
    v->setBounds({0, 0, root->bounds().width(), root->bounds().height()});
    v->setCenter(root->center());
  } else {
    v->setFrame(window->bounds());
  }
  beginAppearanceTransition(false, animated);
  controller->beginAppearanceTransition(true, animated);
  Point finalCenter = v->center();
  auto finish = [keep, controller, completion](bool) {
    keep->endAppearanceTransition();
    controller->endAppearanceTransition();
    if (completion) completion();
  };
  if (animated) {
    performWithoutAnimation([&] {
      v->setCenter({finalCenter.x, finalCenter.y + window->bounds().height()});
    });
    window->addSubview(v);
    animateWithDuration(
        kModalDuration, 0, AnimationOptionCurveEaseOut, [&] { v->setCenter(finalCenter); }, finish);
  } else {
    window->addSubview(v);
    finish(true);
  }
}

void ViewController::dismissViewControllerAnimated(bool animated,
                                                   std::function<void()> completion) {
  // Asked of the presented screen, the presenter does the work.
  if (!presented_ && presenting_) {
    presenting_->dismissViewControllerAnimated(animated, std::move(completion));
    return;
  }
  if (!presented_) return;
  auto keep = shared_from_this();
  auto controller = presented_;
  ViewPtr v = controller->view();
  controller->beginAppearanceTransition(false, animated);
  beginAppearanceTransition(true, animated);
  auto finish = [keep, controller, v, completion](bool) {
    v->removeFromSuperview();
    controller->endAppearanceTransition();
    keep->endAppearanceTransition();
    controller->presenting_ = nullptr;
    if (keep->presented_ == controller) keep->presented_ = nullptr;
    if (completion) completion();
  };
  if (animated && v->window()) {
    Point c = v->center();
    double h = v->window()->bounds().height();
    animateWithDuration(
        kModalDuration, 0, AnimationOptionCurveEaseIn,
        [&] {
          v->setCenter({c.x, c.y + h});
        },
        finish);
  } else {
    finish(true);
  }
}

bool ViewController::pressKey(const KeyPress& key) {
  // What the presented screen leaves goes on to the screen under it: a
  // lesson keeps its keys while a sheet covers it.
  if (presented_ && presented_->pressKey(key)) return true;
  for (ViewController* child : appearanceChildren()) {
    if (child && child->pressKey(key)) return true;
  }
  return false;
}

}  // namespace lorvane
