#include "platform/ui/view.h"

#include <algorithm>

#include "platform/foundation/error.h"
#include "platform/ui/gesture_recognizer.h"
#include "platform/ui/view_controller.h"
#include "platform/ui/window.h"

namespace lorvane {

View::View() : layer_(std::make_shared<Layer>()) {
  layer_->view_ = this;
}

View::View(const Rect& frame) : View() {
  setFrame(frame);
}

View::~View() {
  for (auto& sub : subviews_) sub->superview_ = nullptr;
  for (auto& r : recognizers_) r->view_ = nullptr;
  layer_->view_ = nullptr;
  for (auto& [property, animation] : animations_) {
    animation.group->release(animation.group->isOver(now()));
  }
}

TimeInterval View::now() {
  return Clock::shared().now();
}

// ---- geometry ----

Rect View::frame() const {
  if (transform_.isIdentity()) {
    return {center_.x - bounds_.width() / 2, center_.y - bounds_.height() / 2, bounds_.width(),
            bounds_.height()};
  }
  Rect local{-bounds_.width() / 2, -bounds_.height() / 2, bounds_.width(), bounds_.height()};
  return transform_.applyToRect(local).offsetBy(center_.x, center_.y);
}

void View::setFrame(const Rect& f) {
  Point c{f.midX(), f.midY()};
  if (transform_.isIdentity()) {
    Rect b = bounds_;
    b.size = {std::fabs(f.width()), std::fabs(f.height())};
    setBounds(b);
  }
  setCenter(c);
}

void View::setBounds(const Rect& b) {
  Rect old = bounds_;
  if (old == b && !animations_.count(Property::Bounds)) return;
  recordChange(Property::Bounds, presentationValue(Property::Bounds).value_or(old), b);
  bounds_ = b;
  if (old.size != b.size) {
    setNeedsLayout();
    resizeSubviews(old.size);
    boundsSizeDidChange(old.size);
  }
}

void View::setCenter(Point c) {
  if (c == center_ && !animations_.count(Property::Center)) return;
  recordChange(Property::Center, presentationValue(Property::Center).value_or(center_), c);
  center_ = c;
}

void View::setTransform(const AffineTransform& t) {
  recordChange(Property::Transform, presentationValue(Property::Transform).value_or(transform_), t);
  transform_ = t;
}

void View::setBackgroundColor(Color color) {
  recordChange(Property::BackgroundColor,
               presentationValue(Property::BackgroundColor).value_or(layer_->backgroundColor_),
               color);
  layer_->backgroundColor_ = color;
}

void View::setAlpha(double alpha) {
  alpha = std::clamp(alpha, 0.0, 1.0);
  recordChange(Property::Alpha, presentationValue(Property::Alpha).value_or(alpha_), alpha);
  alpha_ = alpha;
}

void View::setHidden(bool hidden) {
  hidden_ = hidden;
}

void View::boundsSizeDidChange(Size) {}

void View::sizeToFit() {
  Size s = sizeThatFits(bounds_.size);
  Rect f = frame();
  f.size = s;
  setFrame(f);
}

// ---- animation ----

void View::recordChange(Property property, AnimationValue from, AnimationValue to) {
  const AnimationContext* context = currentAnimationContext();
  cancelAnimation(property);
  if (!context || !context->group) return;
  if (from == to) return;
  context->group->retain();
  animations_[property] = {std::move(from), std::move(to), context->group};
}

void View::cancelAnimation(Property property) {
  auto it = animations_.find(property);
  if (it == animations_.end()) return;
  auto group = it->second.group;
  animations_.erase(it);
  group->release(group->isOver(now()));
}

std::optional<AnimationValue> View::presentationValue(Property property) const {
  auto it = animations_.find(property);
  if (it == animations_.end()) return std::nullopt;
  const auto& a = it->second;
  TimeInterval t = now();
  if (a.group->isOver(t)) return a.to;
  return interpolate(a.from, a.to, a.group->progress(t));
}

bool View::hasRunningAnimations() const {
  TimeInterval t = now();
  return std::any_of(animations_.begin(), animations_.end(),
                     [t](const auto& entry) { return !entry.second.group->isOver(t); });
}

void View::removeAllAnimations(bool recursive) {
  while (!animations_.empty()) cancelAnimation(animations_.begin()->first);
  if (recursive) {
    for (auto& sub : subviews_) sub->removeAllAnimations(true);
  }
}

Rect View::presentationBounds() const {
  auto v = presentationValue(Property::Bounds);
  return v ? std::get<Rect>(*v) : bounds_;
}

Point View::presentationCenter() const {
  auto v = presentationValue(Property::Center);
  return v ? std::get<Point>(*v) : center_;
}

AffineTransform View::presentationTransform() const {
  auto v = presentationValue(Property::Transform);
  return v ? std::get<AffineTransform>(*v) : transform_;
}

double View::presentationAlpha() const {
  auto v = presentationValue(Property::Alpha);
  return v ? std::get<double>(*v) : alpha_;
}

Color View::presentationBackgroundColor() const {
  auto v = presentationValue(Property::BackgroundColor);
  return v ? std::get<Color>(*v) : layer_->backgroundColor_;
}

Rect View::presentationFrame() const {
  Rect b = presentationBounds();
  Point c = presentationCenter();
  AffineTransform t = presentationTransform();
  Rect local{-b.width() / 2, -b.height() / 2, b.width(), b.height()};
  return t.applyToRect(local).offsetBy(c.x, c.y);
}

// ---- tree ----

Window* View::window() const {
  return window_;
}

void View::addSubview(const ViewPtr& view) {
  insertAt(view, subviews_.size());
}

void View::insertSubviewAtIndex(const ViewPtr& view, std::size_t index) {
  insertAt(view, index);
}

void View::insertSubviewBelow(const ViewPtr& view, const View* sibling) {
  auto it = std::find_if(subviews_.begin(), subviews_.end(),
                         [&](const ViewPtr& v) { return v.get() == sibling; });
  std::size_t index =
      it == subviews_.end() ? subviews_.size() : std::size_t(it - subviews_.begin());
  if (view->superview_ == this) {
    auto self = std::find(subviews_.begin(), subviews_.end(), view);
    if (self - subviews_.begin() < long(index)) --index;
  }
  insertAt(view, index);
}

void View::insertSubviewAbove(const ViewPtr& view, const View* sibling) {
  auto it = std::find_if(subviews_.begin(), subviews_.end(),
                         [&](const ViewPtr& v) { return v.get() == sibling; });
  std::size_t index =
      it == subviews_.end() ? subviews_.size() : std::size_t(it - subviews_.begin()) + 1;
  if (view->superview_ == this) {
    auto self = std::find(subviews_.begin(), subviews_.end(), view);
    if (self - subviews_.begin() < long(index)) --index;
  }
  insertAt(view, index);
}

void View::insertAt(const ViewPtr& view, std::size_t index) {
  if (!view || view.get() == this) return;
  if (isDescendantOfView(view.get())) {
    throw Exception("NSInvalidArgumentException", "Can't add self as subview");
  }
  ViewPtr keep = view;
  Window* oldWindow = view->window_;
  bool sameParent = view->superview_ == this;
  if (!sameParent) view->willMoveToSuperview(this);
  if (view->superview_) view->detachFromSuperview(false);
  index = std::min(index, subviews_.size());
  subviews_.insert(subviews_.begin() + long(index), view);
  view->superview_ = this;
  if (!sameParent) {
    view->didMoveToSuperview();
    didAddSubview(view.get());
  }
  view->moveToWindow(oldWindow, window_);
  setNeedsLayout();
}

void View::detachFromSuperview(bool notifyWindow) {
  View* parent = superview_;
  if (!parent) return;
  ViewPtr keep = shared_from_this();
  parent->willRemoveSubview(this);
  auto& list = parent->subviews_;
  list.erase(
      std::remove_if(list.begin(), list.end(), [&](const ViewPtr& v) { return v.get() == this; }),
      list.end());
  superview_ = nullptr;
  parent->setNeedsLayout();
  if (notifyWindow) moveToWindow(window_, nullptr);
}

void View::removeFromSuperview() {
  if (!superview_) return;
  ViewPtr keep = shared_from_this();
  willMoveToSuperview(nullptr);
  detachFromSuperview(true);
  didMoveToSuperview();
}

void View::moveToWindow(Window* oldWindow, Window* newWindow) {
  if (oldWindow == newWindow) return;
  ViewPtr keep = shared_from_this();
  if (controller_) controller_->viewWillMoveToWindow(newWindow);
  willMoveToWindow(newWindow);
  if (oldWindow) oldWindow->viewWillLeaveWindow(this);
  window_ = newWindow;
  auto children = subviews_;
  for (auto& sub : children) sub->moveToWindow(oldWindow, newWindow);
  didMoveToWindow();
  if (controller_) controller_->viewDidMoveToWindow(newWindow);
}

void View::bringSubviewToFront(const View* view) {
  auto it = std::find_if(subviews_.begin(), subviews_.end(),
                         [&](const ViewPtr& v) { return v.get() == view; });
  if (it == subviews_.end()) return;
  ViewPtr v = *it;
  subviews_.erase(it);
  subviews_.push_back(v);
}

void View::sendSubviewToBack(const View* view) {
  auto it = std::find_if(subviews_.begin(), subviews_.end(),
                         [&](const ViewPtr& v) { return v.get() == view; });
  if (it == subviews_.end()) return;
  ViewPtr v = *it;
  subviews_.erase(it);
  subviews_.insert(subviews_.begin(), v);
}

void View::exchangeSubviews(std::size_t a, std::size_t b) {
  if (a < subviews_.size() && b < subviews_.size()) std::swap(subviews_[a], subviews_[b]);
}

bool View::isDescendantOfView(const View* view) const {
  for (const View* v = this; v; v = v->superview_) {
    if (v == view) return true;
  }
  return false;
}

View* View::viewWithTag(int tag) {
  if (tag_ == tag) return this;
  for (auto& sub : subviews_) {
    if (View* found = sub->viewWithTag(tag)) return found;
  }
  return nullptr;
}

// ---- layout ----

void View::layoutIfNeeded() {
  if (needsLayout_) {
    needsLayout_ = false;
    layoutSubviews();
  }
  auto children = subviews_;
  for (auto& sub : children) sub->layoutIfNeeded();
}

void View::resizeSubviews(Size oldSize) {
  if (!autoresizesSubviews_) return;
  auto children = subviews_;
  for (auto& sub : children) sub->autoresize(oldSize, bounds_.size);
}

void View::autoresize(Size oldSuper, Size newSuper) {
  unsigned m = autoresizingMask_;
  if (m == AutoresizingNone) return;
  Rect f = frame();
  // Flexible parts share the change in proportion to their old sizes.
  auto resizeAxis = [](double& origin, double& length, double oldTotal, double newTotal,
                       bool flexLow, bool flexSize, bool flexHigh) {
    double delta = newTotal - oldTotal;
    if (delta == 0 || (!flexLow && !flexSize && !flexHigh)) return;
    double low = origin, high = oldTotal - origin - length;
    double share = (flexLow ? low : 0) + (flexSize ? length : 0) + (flexHigh ? high : 0);
    int parts = int(flexLow) + int(flexSize) + int(flexHigh);
    auto portion = [&](bool flex, double part) {
      if (!flex) return 0.0;
      return share > 0 ? delta * part / share : delta / parts;
    };
    double dLow = portion(flexLow, low);
    double dSize = portion(flexSize, length);
    origin += dLow;
    length = std::max(0.0, length + dSize);
  };
  double x = f.x(), w = f.width(), y = f.y(), h = f.height();
  resizeAxis(x, w, oldSuper.width, newSuper.width, m & AutoresizingFlexibleLeftMargin,
             m & AutoresizingFlexibleWidth, m & AutoresizingFlexibleRightMargin);
  resizeAxis(y, h, oldSuper.height, newSuper.height, m & AutoresizingFlexibleTopMargin,
             m & AutoresizingFlexibleHeight, m & AutoresizingFlexibleBottomMargin);
  if (transform_.isIdentity()) {
    setFrame({x, y, w, h});
  } else {
    setCenter({x + w / 2, y + h / 2});
  }
}

// ---- coordinates ----

Point View::convertPointToSuperview(Point p) const {
  Point local{p.x - bounds_.x() - bounds_.width() / 2, p.y - bounds_.y() - bounds_.height() / 2};
  Point t = transform_.apply(local);
  // The superview's bounds origin (a scroll offset) is already part of the
  // space the centre lives in.
  return {t.x + center_.x, t.y + center_.y};
}

Point View::convertPointFromSuperview(Point p) const {
  Point local{p.x - center_.x, p.y - center_.y};
  Point t = transform_.inverted().apply(local);
  return {t.x + bounds_.x() + bounds_.width() / 2, t.y + bounds_.y() + bounds_.height() / 2};
}

// Window coordinates are a window's own; a tree outside any window uses
// the space its root's frame lives in.
static bool isWindowRoot(const View* v) {
  return dynamic_cast<const Window*>(v) != nullptr;
}

Point View::convertPointToView(Point p, const View* view) const {
  for (const View* v = this; v; v = v->superview_) {
    if (v == view) return p;
    if (isWindowRoot(v)) break;
    p = v->convertPointToSuperview(p);
  }
  if (!view) return p;
  return view->convertPointFromView(p, nullptr);
}

Point View::convertPointFromView(Point p, const View* view) const {
  if (view) p = view->convertPointToView(p, nullptr);
  std::vector<const View*> chain;
  for (const View* v = this; v && !isWindowRoot(v); v = v->superview_) chain.push_back(v);
  for (auto it = chain.rbegin(); it != chain.rend(); ++it) p = (*it)->convertPointFromSuperview(p);
  return p;
}

Rect View::convertRectToView(const Rect& r, const View* view) const {
  Point a = convertPointToView({r.minX(), r.minY()}, view);
  Point b = convertPointToView({r.maxX(), r.minY()}, view);
  Point c = convertPointToView({r.minX(), r.maxY()}, view);
  Point d = convertPointToView({r.maxX(), r.maxY()}, view);
  double x1 = std::min({a.x, b.x, c.x, d.x}), x2 = std::max({a.x, b.x, c.x, d.x});
  double y1 = std::min({a.y, b.y, c.y, d.y}), y2 = std::max({a.y, b.y, c.y, d.y});
  return {x1, y1, x2 - x1, y2 - y1};
}

Rect View::convertRectFromView(const Rect& r, const View* view) const {
  Point a = convertPointFromView({r.minX(), r.minY()}, view);
  Point b = convertPointFromView({r.maxX(), r.minY()}, view);
  Point c = convertPointFromView({r.minX(), r.maxY()}, view);
  Point d = convertPointFromView({r.maxX(), r.maxY()}, view);
  double x1 = std::min({a.x, b.x, c.x, d.x}), x2 = std::max({a.x, b.x, c.x, d.x});
  double y1 = std::min({a.y, b.y, c.y, d.y}), y2 = std::max({a.y, b.y, c.y, d.y});
  return {x1, y1, x2 - x1, y2 - y1};
}

// ---- hit testing ----

bool View::pointInside(Point p, const Event*) const {
  return bounds_.contains(p);
}

View* View::hitTest(Point p, const Event* event) {
  if (hidden_ || !userInteractionEnabled_ || alpha_ < 0.01) return nullptr;
  if (!pointInside(p, event)) return nullptr;
  for (auto it = subviews_.rbegin(); it != subviews_.rend(); ++it) {
    ViewPtr sub = *it;
    if (View* hit = sub->hitTest(sub->convertPointFromSuperview(p), event)) return hit;
  }
  return this;
}

// ---- gestures and responders ----

void View::addGestureRecognizer(const std::shared_ptr<GestureRecognizer>& recognizer) {
  if (!recognizer) return;
  if (recognizer->view_ && recognizer->view_ != this) {
    recognizer->view_->removeGestureRecognizer(recognizer.get());
  }
  if (std::find(recognizers_.begin(), recognizers_.end(), recognizer) == recognizers_.end()) {
    recognizers_.push_back(recognizer);
  }
  recognizer->view_ = this;
}

void View::removeGestureRecognizer(const GestureRecognizer* recognizer) {
  auto it = std::find_if(recognizers_.begin(), recognizers_.end(),
                         [&](const auto& r) { return r.get() == recognizer; });
  if (it == recognizers_.end()) return;
  (*it)->view_ = nullptr;
  recognizers_.erase(it);
}

bool View::gestureRecognizerShouldBegin(GestureRecognizer&) {
  return true;
}

Responder* View::nextResponder() const {
  if (controller_) return controller_;
  return superview_;
}

}  // namespace lorvane
