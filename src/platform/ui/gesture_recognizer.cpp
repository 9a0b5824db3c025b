#include "platform/ui/gesture_recognizer.h"

#include <algorithm>
#include <cmath>

#include "platform/ui/view.h"
#include "platform/ui/window.h"

namespace lorvane {

void GestureRecognizer::addTarget(const Weakable* target, Action action) {
  std::erase_if(targets_, [](const Target& t) { return !t.isLive(); });
  if (action) targets_.push_back({target, target != nullptr, std::move(action)});
}

void GestureRecognizer::removeTarget(const Weakable* target) {
  std::erase_if(targets_, [&](const Target& t) {
    return target == nullptr || t.target.pointsAt(target) || !t.isLive();
  });
}

std::size_t GestureRecognizer::targetCount() const {
  return static_cast<std::size_t>(
      std::count_if(targets_.begin(), targets_.end(), [](const Target& t) { return t.isLive(); }));
}

void GestureRecognizer::setEnabled(bool enabled) {
  enabled_ = enabled;
  if (!enabled && isActive()) {
    // Switching a recogniser off mid-gesture cancels the gesture.
    setState(GestureRecognizerState::Cancelled);
  }
}

Point GestureRecognizer::locationInView(const View* view) const {
  Point p = lastLocation_;
  if (!touches_.empty()) {
    double x = 0, y = 0;
    for (const auto& t : touches_) {
      x += t->locationInWindow().x;
      y += t->locationInWindow().y;
    }
    p = {x / double(touches_.size()), y / double(touches_.size())};
  }
  if (!view) return p;
  return view->convertPointFromView(p, nullptr);
}

bool GestureRecognizer::canRecognizeSimultaneouslyWith(GestureRecognizer& other) {
  if (delegate_) {
    if (auto a = delegate_->shouldRecognizeSimultaneouslyWithGestureRecognizer(*this, other);
        a && *a) {
      return true;
    }
  }
  if (other.delegate_) {
    if (auto a = other.delegate_->shouldRecognizeSimultaneouslyWithGestureRecognizer(other, *this);
        a && *a) {
      return true;
    }
  }
  return false;
}

bool GestureRecognizer::mayBegin() {
  if (!enabled_ || !view_) return false;
  if (delegate_) {
    if (auto a = delegate_->gestureRecognizerShouldBegin(*this); a && !*a) return false;
  }
  if (auto touched = touchedView_.lock()) {
    for (View* v = touched.get(); v; v = v->superview()) {
      if (!v->gestureRecognizerShouldBegin(*this)) return false;
      if (v == view_) break;
    }
  }
  if (Window* w = view_->window()) return w->recognizerMayBegin(*this);
  return true;
}

void GestureRecognizer::setState(GestureRecognizerState state) {
  using S = GestureRecognizerState;
  bool beginning = state_ == S::Possible && (state == S::Began || state == S::Recognized);
  if (beginning && !mayBegin()) {
    state_ = S::Failed;
    return;
  }
  state_ = state;
  auto self = shared_from_this();
  if (beginning && view_) {
    if (Window* w = view_->window()) w->recognizerDidBegin(*this);
  }
  if (state != S::Failed && state != S::Possible) sendActions();
}

void GestureRecognizer::sendActions() {
  std::erase_if(targets_, [](const Target& t) { return !t.isLive(); });
  auto targets = targets_;  // an action may change the list
  // An earlier action may end a later target, so each is asked just before.
  for (auto& t : targets) {
    if (t.isLive()) t.action(*this);
  }
}

void GestureRecognizer::track(const TouchSet& touches) {
  for (const auto& t : touches) {
    if (std::find(touches_.begin(), touches_.end(), t) == touches_.end()) touches_.push_back(t);
    if (touchedView_.expired()) {
      if (View* v = t->view()) touchedView_ = v->sharedFromThis();
    }
    lastLocation_ = t->locationInWindow();
  }
}

void GestureRecognizer::untrack(const TouchSet& touches) {
  for (const auto& t : touches) {
    lastLocation_ = t->locationInWindow();
    std::erase(touches_, t);
  }
}

void GestureRecognizer::touchesBegan(const TouchSet& touches, const Event&) {
  track(touches);
}
void GestureRecognizer::touchesMoved(const TouchSet& touches, const Event&) {
  track(touches);
}
void GestureRecognizer::touchesEnded(const TouchSet& touches, const Event&) {
  untrack(touches);
}
void GestureRecognizer::touchesCancelled(const TouchSet& touches, const Event&) {
  untrack(touches);
}

void GestureRecognizer::reset() {
  state_ = GestureRecognizerState::Possible;
  touches_.clear();
  touchedView_.reset();
}

// ---- tap ----

void TapGestureRecognizer::touchesBegan(const TouchSet& touches, const Event& event) {
  GestureRecognizer::touchesBegan(touches, event);
  if (state() != GestureRecognizerState::Possible) return;
  if (int(trackedTouches().size()) > numberOfTouchesRequired_) {
    setState(GestureRecognizerState::Failed);
    return;
  }
  start_ = locationInView(nullptr);
}

void TapGestureRecognizer::touchesMoved(const TouchSet& touches, const Event& event) {
  GestureRecognizer::touchesMoved(touches, event);
  if (state() != GestureRecognizerState::Possible) return;
  Point p = locationInView(nullptr);
  if (std::hypot(p.x - start_.x, p.y - start_.y) > kAllowableMovement) {
    setState(GestureRecognizerState::Failed);
  }
}

void TapGestureRecognizer::touchesEnded(const TouchSet& touches, const Event& event) {
  std::size_t before = trackedTouches().size();
  GestureRecognizer::touchesEnded(touches, event);
  if (state() != GestureRecognizerState::Possible) return;
  if (trackedTouches().empty() && int(before) <= numberOfTouchesRequired_) {
    Point p = lastLocationInWindow();
    if (std::hypot(p.x - start_.x, p.y - start_.y) > kAllowableMovement) {
      setState(GestureRecognizerState::Failed);
    } else {
      setState(GestureRecognizerState::Recognized);
    }
  }
}

void TapGestureRecognizer::touchesCancelled(const TouchSet& touches, const Event& event) {
  GestureRecognizer::touchesCancelled(touches, event);
  if (state() == GestureRecognizerState::Possible) setState(GestureRecognizerState::Failed);
}

void TapGestureRecognizer::reset() {
  GestureRecognizer::reset();
  start_ = {};
}

// ---- pan ----

Point PanGestureRecognizer::windowVectorToView(Point from, Point to, const View* view) const {
  if (!view) return {to.x - from.x, to.y - from.y};
  Point a = view->convertPointFromView(from, nullptr);
  Point b = view->convertPointFromView(to, nullptr);
  return {b.x - a.x, b.y - a.y};
}

Point PanGestureRecognizer::translationInView(const View* view) const {
  Point current = locationInView(nullptr);
  // Both the travel and the offset last set are window vectors until here.
  Point end{current.x + translationOffset_.x, current.y + translationOffset_.y};
  return windowVectorToView(translationBase_, end, view);
}

void PanGestureRecognizer::setTranslation(Point translation, const View* view) {
  translationBase_ = locationInView(nullptr);
  if (view) {
    Point o0 = view->convertPointToView({0, 0}, nullptr);
    Point o1 = view->convertPointToView(translation, nullptr);
    translationOffset_ = {o1.x - o0.x, o1.y - o0.y};
  } else {
    translationOffset_ = translation;
  }
}

Point PanGestureRecognizer::velocityInView(const View* view) const {
  if (samples_.size() < 2) return {};
  const Sample& first = samples_.front();
  const Sample& last = samples_.back();
  double dt = last.time - first.time;
  if (dt <= 0) return {};
  Point v = windowVectorToView(first.location, last.location, view);
  return {v.x / dt, v.y / dt};
}

void PanGestureRecognizer::addSample(TimeInterval time, Point location) {
  samples_.push_back({time, location});
  // Keep the last tenth of a second, and at least the two latest samples.
  while (samples_.size() > 2 && time - samples_[1].time >= 0.1) samples_.pop_front();
}

void PanGestureRecognizer::touchesBegan(const TouchSet& touches, const Event& event) {
  GestureRecognizer::touchesBegan(touches, event);
  if (trackedTouches().size() > maximumTouches_) {
    if (state() == GestureRecognizerState::Possible) setState(GestureRecognizerState::Failed);
    return;
  }
  if (state() == GestureRecognizerState::Possible) {
    start_ = locationInView(nullptr);
    translationBase_ = start_;
    translationOffset_ = {};
    samples_.clear();
  }
  addSample(event.timestamp, locationInView(nullptr));
}

void PanGestureRecognizer::touchesMoved(const TouchSet& touches, const Event& event) {
  GestureRecognizer::touchesMoved(touches, event);
  Point p = locationInView(nullptr);
  addSample(event.timestamp, p);
  using S = GestureRecognizerState;
  if (state() == S::Possible) {
    if (trackedTouches().size() < minimumTouches_) return;
    if (std::hypot(p.x - start_.x, p.y - start_.y) < kHysteresis) return;
    // The gesture starts where the finger is now; earlier travel only
    // served to tell it from a tap.
    translationBase_ = p;
    translationOffset_ = {};
    setState(S::Began);
  } else if (isActive()) {
    setState(S::Changed);
  }
}

void PanGestureRecognizer::touchesEnded(const TouchSet& touches, const Event& event) {
  GestureRecognizer::touchesEnded(touches, event);
  if (!trackedTouches().empty()) return;
  using S = GestureRecognizerState;
  if (isActive()) {
    setState(S::Ended);
  } else if (state() == S::Possible) {
    setState(S::Failed);
  }
}

void PanGestureRecognizer::touchesCancelled(const TouchSet& touches, const Event& event) {
  GestureRecognizer::touchesCancelled(touches, event);
  using S = GestureRecognizerState;
  if (isActive()) {
    setState(S::Cancelled);
  } else if (state() == S::Possible) {
    setState(S::Failed);
  }
}

void PanGestureRecognizer::reset() {
  GestureRecognizer::reset();
  samples_.clear();
  translationBase_ = translationOffset_ = start_ = {};
}

}  // namespace lorvane
