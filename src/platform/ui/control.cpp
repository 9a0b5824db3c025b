#include "platform/ui/control.h"

#include <algorithm>

#include "platform/ui/gesture_recognizer.h"

namespace lorvane {

void Control::addTarget(const Weakable* target, Action action, unsigned events) {
  dropDeadTargets();
  if (!action || events == 0) return;
  targets_.push_back({target, target != nullptr, std::move(action), events});
}

void Control::removeTarget(const Weakable* target, unsigned events) {
  for (auto& t : targets_) {
    if (target == nullptr || t.target.pointsAt(target)) t.events &= ~events;
  }
  std::erase_if(targets_, [](const Target& t) { return t.events == 0; });
  dropDeadTargets();
}

void Control::dropDeadTargets() {
  std::erase_if(targets_, [](const Target& t) { return !t.isLive(); });
}

std::size_t Control::targetCount() const {
  return static_cast<std::size_t>(
      std::count_if(targets_.begin(), targets_.end(), [](const Target& t) { return t.isLive(); }));
}

unsigned Control::allControlEvents() const {
  unsigned all = 0;
  for (const auto& t : targets_) {
    if (t.isLive()) all |= t.events;
  }
  return all;
}

void Control::sendActionsForControlEvents(unsigned events) {
  auto keep = sharedFromThis();
  dropDeadTargets();
  auto targets = targets_;  // an action may change the list
  // An earlier action may end a later target, so each is asked just before.
  for (auto& t : targets) {
    if ((t.events & events) && t.isLive()) t.action(*this);
  }
}

void Control::setEnabled(bool enabled) {
  if (enabled_ == enabled) return;
  enabled_ = enabled;
  stateDidChange();
}

void Control::setSelected(bool selected) {
  if (selected_ == selected) return;
  selected_ = selected;
  stateDidChange();
}

void Control::setHighlighted(bool highlighted) {
  if (highlighted_ == highlighted) return;
  highlighted_ = highlighted;
  stateDidChange();
}

unsigned Control::state() const {
  unsigned s = ControlStateNormal;
  if (highlighted_) s |= ControlStateHighlighted;
  if (!enabled_) s |= ControlStateDisabled;
  if (selected_) s |= ControlStateSelected;
  return s;
}

bool Control::pointCountsAsInside(Point p) const {
  return bounds().insetBy(-kTrackingMargin, -kTrackingMargin).contains(p);
}

bool Control::beginTracking(const Touch&, const Event&) {
  return true;
}
bool Control::continueTracking(const Touch&, const Event&) {
  return true;
}
void Control::endTracking(const Touch*, const Event&) {}
void Control::cancelTracking(const Event&) {}

void Control::touchesBegan(const TouchSet& touches, const Event& event) {
  if (!enabled_ || touches.empty()) return;
  auto keep = sharedFromThis();
  const Touch& touch = *touches.front();
  touchInside_ = true;
  tracking_ = beginTracking(touch, event);
  setHighlighted(true);
  unsigned events = ControlEventTouchDown;
  if (touch.tapCount() > 1) events |= ControlEventTouchDownRepeat;
  sendActionsForControlEvents(events);
}

void Control::touchesMoved(const TouchSet& touches, const Event& event) {
  if (!enabled_ || touches.empty()) return;
  auto keep = sharedFromThis();
  const Touch& touch = *touches.front();
  bool wasInside = touchInside_;
  touchInside_ = pointCountsAsInside(touch.locationInView(this));
  setHighlighted(touchInside_);
  if (tracking_) tracking_ = continueTracking(touch, event);
  unsigned events = touchInside_ ? ControlEventTouchDragInside : ControlEventTouchDragOutside;
  if (touchInside_ && !wasInside) events |= ControlEventTouchDragEnter;
  if (!touchInside_ && wasInside) events |= ControlEventTouchDragExit;
  sendActionsForControlEvents(events);
}

void Control::touchesEnded(const TouchSet& touches, const Event& event) {
  if (touches.empty()) return;
  auto keep = sharedFromThis();
  const Touch& touch = *touches.front();
  bool wasTracking = tracking_ || highlighted_;
  touchInside_ = pointCountsAsInside(touch.locationInView(this));
  tracking_ = false;
  setHighlighted(false);
  endTracking(&touch, event);
  if (!enabled_ || !wasTracking) return;
  sendActionsForControlEvents(touchInside_ ? ControlEventTouchUpInside
                                           : ControlEventTouchUpOutside);
}

void Control::touchesCancelled(const TouchSet&, const Event& event) {
  auto keep = sharedFromThis();
  bool wasActive = tracking_ || highlighted_;
  tracking_ = false;
  touchInside_ = false;
  setHighlighted(false);
  cancelTracking(event);
  if (wasActive) sendActionsForControlEvents(ControlEventTouchCancel);
}

bool Control::gestureRecognizerShouldBegin(GestureRecognizer& recognizer) {
  // A control's own tap wins over a tap recogniser of a view above it.
  if (recognizer.view() != this && dynamic_cast<TapGestureRecognizer*>(&recognizer) &&
      (allControlEvents() & ControlEventTouchUpInside)) {
    return false;
  }
  return true;
}

}  // namespace lorvane
