#include "platform/ui/scroll_view.h"

#include <algorithm>
#include <cmath>

namespace lorvane {

ScrollView::ScrollView() : ScrollView(Rect{}) {}

ScrollView::ScrollView(const Rect& frame) : View(frame) {
  setClipsToBounds(true);
  pan_ = std::make_shared<PanGestureRecognizer>();
  pan_->addTarget(
      this, [this](GestureRecognizer& r) { handlePan(static_cast<PanGestureRecognizer&>(r)); });
  addGestureRecognizer(pan_);
}

ScrollView::~ScrollView() {
  if (decelerationTimer_) decelerationTimer_->invalidate();
}

void ScrollView::setScrollEnabled(bool e) {
  scrollEnabled_ = e;
  pan_->setEnabled(e);
}

Point ScrollView::minimumContentOffset() const {
  return {-contentInset_.left, -contentInset_.top};
}

Point ScrollView::maximumContentOffset() const {
  Point lo = minimumContentOffset();
  double maxX = contentSize_.width + contentInset_.right - bounds().width();
  double maxY = contentSize_.height + contentInset_.bottom - bounds().height();
  return {std::max(lo.x, maxX), std::max(lo.y, maxY)};
}

Point ScrollView::clamped(Point p) const {
  Point lo = minimumContentOffset(), hi = maximumContentOffset();
  return {std::clamp(p.x, lo.x, hi.x), std::clamp(p.y, lo.y, hi.y)};
}

bool ScrollView::canScrollHorizontally() const {
  return alwaysBounceHorizontal_ || maximumContentOffset().x > minimumContentOffset().x;
}

bool ScrollView::canScrollVertically() const {
  return alwaysBounceVertical_ || maximumContentOffset().y > minimumContentOffset().y;
}

void ScrollView::setContentOffset(Point offset) {
  Rect b = bounds();
  if (b.origin == offset) return;
  b.origin = offset;
  setBounds(b);
  didScroll();
}

void ScrollView::setContentOffset(Point offset, bool animated) {
  stopDeceleration(false);
  if (!animated) {
    performWithoutAnimation([&] { setContentOffset(offset); });
    return;
  }
  std::weak_ptr<View> weak = sharedFromThis();
  animateWithDuration(
      0.3, 0, AnimationOptionCurveEaseInOut, [&] { setContentOffset(offset); },
      [weak](bool) {
        if (auto v = weak.lock()) {
          auto* self = static_cast<ScrollView*>(v.get());
          if (self->delegate_) self->delegate_->scrollViewDidEndScrollingAnimation(*self);
        }
      });
}

void ScrollView::scrollRectToVisible(const Rect& r, bool animated) {
  Point o = contentOffset();
  Size s = bounds().size;
  if (r.maxX() > o.x + s.width) o.x = r.maxX() - s.width;
  if (r.minX() < o.x) o.x = r.minX();
  if (r.maxY() > o.y + s.height) o.y = r.maxY() - s.height;
  if (r.minY() < o.y) o.y = r.minY();
  setContentOffset(clamped(o), animated);
}

void ScrollView::didScroll() {
  if (delegate_) delegate_->scrollViewDidScroll(*this);
}

void ScrollView::touchesBegan(const TouchSet& touches, const Event& event) {
  // A finger on a moving list stops it, as on the platform.
  tracking_ = true;
  if (decelerating_) stopDeceleration(true);
  View::touchesBegan(touches, event);
}

void ScrollView::touchesEnded(const TouchSet& touches, const Event& event) {
  tracking_ = false;
  View::touchesEnded(touches, event);
}

void ScrollView::touchesCancelled(const TouchSet& touches, const Event& event) {
  tracking_ = false;
  View::touchesCancelled(touches, event);
}

void ScrollView::handlePan(PanGestureRecognizer& pan) {
  using S = GestureRecognizerState;
  switch (pan.state()) {
    case S::Began: {
      stopDeceleration(false);
      performWithoutAnimation([&] { removeAllAnimations(false); });
      dragging_ = true;
      tracking_ = true;
      dragStartOffset_ = contentOffset();
      if (delegate_) delegate_->scrollViewWillBeginDragging(*this);
      break;
    }
    case S::Changed: {
      Point t = pan.translationInView(superview() ? superview() : this);
      Point target{canScrollHorizontally() ? dragStartOffset_.x - t.x : contentOffset().x,
                   canScrollVertically() ? dragStartOffset_.y - t.y : contentOffset().y};
      Point limit = clamped(target);
      if (bounces_) {
        // Past an edge the content follows at half the finger's pace.
        target = {limit.x + (target.x - limit.x) / 2, limit.y + (target.y - limit.y) / 2};
      } else {
        target = limit;
      }
      setContentOffset(target);
      break;
    }
    case S::Ended:
    case S::Cancelled: {
      dragging_ = false;
      tracking_ = false;
      Point v =
          pan.state() == S::Ended ? pan.velocityInView(superview() ? superview() : this) : Point{};
      // Velocities of the finger move the content the other way.
      Point contentVelocity{canScrollHorizontally() ? -v.x : 0, canScrollVertically() ? -v.y : 0};
      bool outside = !(clamped(contentOffset()) == contentOffset());
      bool willDecelerate = outside || std::hypot(contentVelocity.x, contentVelocity.y) > 1;
      if (delegate_) delegate_->scrollViewDidEndDragging(*this, willDecelerate);
      if (willDecelerate) startDeceleration(contentVelocity);
      break;
    }
    default:
      break;
  }
}

void ScrollView::startDeceleration(Point velocity) {
  velocity_ = velocity;
  decelerating_ = true;
  lastStep_ = View::now();
  if (decelerationTimer_) decelerationTimer_->invalidate();
  std::weak_ptr<View> weak = sharedFromThis();
  decelerationTimer_ = Timer::scheduledTimer(kFrameInterval, true, [weak](Timer& t) {
    auto v = weak.lock();
    if (!v) {
      t.invalidate();
      return;
    }
    static_cast<ScrollView*>(v.get())->stepDeceleration();
  });
}

void ScrollView::stepDeceleration() {
  TimeInterval now = View::now();
  double dt = std::max(0.0, now - lastStep_);
  lastStep_ = now;
  double ms = dt * 1000;
  Point o = contentOffset();
  Point lo = minimumContentOffset(), hi = maximumContentOffset();
  // Coasting: the speed falls by the rate per millisecond.
  double keep = std::pow(std::clamp(decelerationRate_, 0.0, 0.9999), ms);
  double rate = std::clamp(decelerationRate_, 0.0, 0.9999);
  double travel = std::log(rate) != 0 ? (keep - 1) / std::log(rate) / 1000 : dt;
  Point next{o.x + velocity_.x * travel, o.y + velocity_.y * travel};
  velocity_ = {velocity_.x * keep, velocity_.y * keep};
  // Beyond an edge a spring pulls the content back quickly.
  auto spring = [&](double& pos, double& vel, double low, double high) {
    if (pos < low || pos > high) {
      double edge = pos < low ? low : high;
      if (!bounces_) {
        pos = edge;
        vel = 0;
        return;
      }
      vel *= std::pow(0.2, dt * 10);
      pos = edge + (pos - edge) * std::pow(0.001, dt * 4);
      if (std::fabs(pos - edge) < 0.5) {
        pos = edge;
        vel = 0;
      }
    }
  };
  spring(next.x, velocity_.x, lo.x, hi.x);
  spring(next.y, velocity_.y, lo.y, hi.y);
  setContentOffset(next);
  bool inside = clamped(next) == next;
  if (inside && std::hypot(velocity_.x, velocity_.y) < 5) {
    if (pagingEnabled_) {
      Size s = bounds().size;
      Point page{s.width > 0 ? std::round(next.x / s.width) * s.width : next.x,
                 s.height > 0 ? std::round(next.y / s.height) * s.height : next.y};
      setContentOffset(clamped(page));
    }
    stopDeceleration(true);
  }
}

void ScrollView::stopDeceleration(bool notify) {
  if (decelerationTimer_) {
    decelerationTimer_->invalidate();
    decelerationTimer_.reset();
  }
  bool was = decelerating_;
  decelerating_ = false;
  velocity_ = {};
  if (was) {
    Point c = clamped(contentOffset());
    if (!(c == contentOffset())) setContentOffset(c);
    if (notify && delegate_) delegate_->scrollViewDidEndDecelerating(*this);
  }
}

}  // namespace lorvane
