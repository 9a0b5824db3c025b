#pragma once

#include <functional>
#include <vector>

#include "platform/foundation/weak_ptr.h"
#include "platform/ui/view.h"

namespace lorvane {

// The platform's values.
enum ControlEvents : unsigned {
  ControlEventTouchDown = 1u << 0,
  ControlEventTouchDownRepeat = 1u << 1,
  ControlEventTouchDragInside = 1u << 2,
  ControlEventTouchDragOutside = 1u << 3,
  ControlEventTouchDragEnter = 1u << 4,
  ControlEventTouchDragExit = 1u << 5,
  ControlEventTouchUpInside = 1u << 6,
  ControlEventTouchUpOutside = 1u << 7,
  ControlEventTouchCancel = 1u << 8,
  ControlEventValueChanged = 1u << 12,
  ControlEventEditingDidBegin = 1u << 16,
  ControlEventEditingChanged = 1u << 17,
  ControlEventEditingDidEnd = 1u << 18,
  ControlEventEditingDidEndOnExit = 1u << 19,
  ControlEventAllTouchEvents = 0x0FFFu,
  ControlEventAllEditingEvents = 0x000F0000u,
  ControlEventAllEvents = 0xFFFFFFFFu,
};

enum ControlState : unsigned {
  ControlStateNormal = 0,
  ControlStateHighlighted = 1u << 0,
  ControlStateDisabled = 1u << 1,
  ControlStateSelected = 1u << 2,
};

// A view that tracks a finger and sends actions to targets per event.
class Control : public View {
 public:
  using Action = std::function<void(Control& sender)>;
  using View::View;

  // The action runs while `target` lives (always, for no target), and
  // `target` names the pair for removal. A dead target's pairs are dropped.
  void addTarget(const Weakable* target, Action action, unsigned events);
  // Removes the pairs of `target` (nullptr: every target) for those events.
  void removeTarget(const Weakable* target, unsigned events = ControlEventAllEvents);
  // Pairs whose target still lives.
  std::size_t targetCount() const;
  unsigned allControlEvents() const;
  void sendActionsForControlEvents(unsigned events);

  bool isEnabled() const { return enabled_; }
  virtual void setEnabled(bool enabled);
  bool isSelected() const { return selected_; }
  virtual void setSelected(bool selected);
  bool isHighlighted() const { return highlighted_; }
  virtual void setHighlighted(bool highlighted);
  unsigned state() const;
  bool isTracking() const { return tracking_; }
  bool isTouchInside() const { return touchInside_; }

  // Tracking hooks, as the platform's controls have them.
  virtual bool beginTracking(const Touch& touch, const Event& event);
  virtual bool continueTracking(const Touch& touch, const Event& event);
  virtual void endTracking(const Touch* touch, const Event& event);
  virtual void cancelTracking(const Event& event);

  void touchesBegan(const TouchSet& touches, const Event& event) override;
  void touchesMoved(const TouchSet& touches, const Event& event) override;
  void touchesEnded(const TouchSet& touches, const Event& event) override;
  void touchesCancelled(const TouchSet& touches, const Event& event) override;

  bool gestureRecognizerShouldBegin(GestureRecognizer& recognizer) override;

  // A finger still counts as inside this far beyond the bounds.
  static constexpr double kTrackingMargin = 70;

 protected:
  virtual void stateDidChange() {}
  bool pointCountsAsInside(Point p) const;

 private:
  struct Target {
    WeakPtr<const Weakable> target;
    bool hasTarget;
    Action action;
    unsigned events;
    bool isLive() const { return !hasTarget || target.get() != nullptr; }
  };
  void dropDeadTargets();
  std::vector<Target> targets_;
  bool enabled_ = true;
  bool selected_ = false;
  bool highlighted_ = false;
  bool tracking_ = false;
  bool touchInside_ = false;
};

}  // namespace lorvane
