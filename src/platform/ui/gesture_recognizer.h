#pragma once

#include <deque>
#include <functional>
#include <memory>
#include <optional>
#include <vector>

#include "platform/foundation/weak_ptr.h"
#include "platform/ui/geometry.h"
#include "platform/ui/touch.h"

namespace lorvane {

class View;
class GestureRecognizer;

// Optional questions; an answer of nothing means "not implemented", and
// the platform's default (yes, yes, no) applies.
class GestureRecognizerDelegate : public virtual Weakable {
 public:
  virtual ~GestureRecognizerDelegate() = default;
  virtual std::optional<bool> gestureRecognizerShouldBegin(GestureRecognizer&) {
    return std::nullopt;
  }
  virtual std::optional<bool> shouldReceiveTouch(GestureRecognizer&, const Touch&) {
    return std::nullopt;
  }
  virtual std::optional<bool> shouldRecognizeSimultaneouslyWithGestureRecognizer(
      GestureRecognizer&, GestureRecognizer&) {
    return std::nullopt;
  }
};

// The platform's values.
enum class GestureRecognizerState {
  Possible = 0,
  Began = 1,
  Changed = 2,
  Ended = 3,
  Recognized = 3,
  Cancelled = 4,
  Failed = 5
};

// Watches the touches of its view (and of the view's subviews) before the
// views themselves get them, and reports a gesture to its targets.
class GestureRecognizer : public std::enable_shared_from_this<GestureRecognizer> {
 public:
  using Action = std::function<void(GestureRecognizer&)>;
  GestureRecognizer() = default;
  GestureRecognizer(const Weakable* target, Action action) { addTarget(target, std::move(action)); }
  virtual ~GestureRecognizer() = default;
  GestureRecognizer(const GestureRecognizer&) = delete;
  GestureRecognizer& operator=(const GestureRecognizer&) = delete;

  // The action runs while `target` lives (always, for no target); a dead
  // target's pairs are dropped.
  void addTarget(const Weakable* target, Action action);
  void removeTarget(const Weakable* target);
  std::size_t targetCount() const;

  GestureRecognizerState state() const { return state_; }
  View* view() const { return view_; }
  GestureRecognizerDelegate* delegate() const { return delegate_.get(); }
  void setDelegate(GestureRecognizerDelegate* d) { delegate_ = d; }
  bool isEnabled() const { return enabled_; }
  void setEnabled(bool enabled);
  bool cancelsTouchesInView() const { return cancelsTouchesInView_; }
  void setCancelsTouchesInView(bool c) { cancelsTouchesInView_ = c; }

  // Centre of the touches it is tracking (the last ones once they lifted).
  Point locationInView(const View* view) const;
  std::size_t numberOfTouches() const { return touches_.size(); }

  // Whether the two may recognise together; asks both delegates.
  bool canRecognizeSimultaneouslyWith(GestureRecognizer& other);

  // Fed by the window.
  virtual void touchesBegan(const TouchSet& touches, const Event& event);
  virtual void touchesMoved(const TouchSet& touches, const Event& event);
  virtual void touchesEnded(const TouchSet& touches, const Event& event);
  virtual void touchesCancelled(const TouchSet& touches, const Event& event);
  virtual void reset();

  bool isActive() const {
    return state_ == GestureRecognizerState::Began || state_ == GestureRecognizerState::Changed;
  }
  bool isFinished() const {
    return state_ == GestureRecognizerState::Ended || state_ == GestureRecognizerState::Cancelled ||
           state_ == GestureRecognizerState::Failed;
  }

 protected:
  // Moves to a new state, asking the delegate and the touched view before
  // beginning, and tells the targets.
  void setState(GestureRecognizerState state);
  const TouchSet& trackedTouches() const { return touches_; }
  Point lastLocationInWindow() const { return lastLocation_; }

 private:
  friend class View;
  friend class Window;
  bool mayBegin();
  void sendActions();
  void track(const TouchSet& touches);
  void untrack(const TouchSet& touches);

  struct Target {
    WeakPtr<const Weakable> target;
    bool hasTarget;
    Action action;
    bool isLive() const { return !hasTarget || target.get() != nullptr; }
  };
  std::vector<Target> targets_;
  GestureRecognizerState state_ = GestureRecognizerState::Possible;
  View* view_ = nullptr;
  WeakPtr<GestureRecognizerDelegate> delegate_;
  bool enabled_ = true;
  bool cancelsTouchesInView_ = true;
  TouchSet touches_;
  Point lastLocation_;
  std::weak_ptr<View> touchedView_;
};

// Recognises a touch that lifts near where it went down.
class TapGestureRecognizer : public GestureRecognizer {
 public:
  using GestureRecognizer::GestureRecognizer;
  int numberOfTapsRequired() const { return 1; }
  int numberOfTouchesRequired() const { return numberOfTouchesRequired_; }
  void setNumberOfTouchesRequired(int n) { numberOfTouchesRequired_ = n; }

  void touchesBegan(const TouchSet& touches, const Event& event) override;
  void touchesMoved(const TouchSet& touches, const Event& event) override;
  void touchesEnded(const TouchSet& touches, const Event& event) override;
  void touchesCancelled(const TouchSet& touches, const Event& event) override;
  void reset() override;

  // How far a finger may wander and still tap, in points.
  static constexpr double kAllowableMovement = 10;

 private:
  int numberOfTouchesRequired_ = 1;
  Point start_;
};

// Recognises a finger that moves: begins once it has moved 10 points,
// changes with every move and ends when it lifts.
class PanGestureRecognizer : public GestureRecognizer {
 public:
  using GestureRecognizer::GestureRecognizer;

  std::size_t minimumNumberOfTouches() const { return minimumTouches_; }
  void setMinimumNumberOfTouches(std::size_t n) { minimumTouches_ = n; }
  std::size_t maximumNumberOfTouches() const { return maximumTouches_; }
  void setMaximumNumberOfTouches(std::size_t n) { maximumTouches_ = n; }

  Point translationInView(const View* view) const;
  void setTranslation(Point translation, const View* view);
  // Points per second over the last tenth of a second.
  Point velocityInView(const View* view) const;

  void touchesBegan(const TouchSet& touches, const Event& event) override;
  void touchesMoved(const TouchSet& touches, const Event& event) override;
  void touchesEnded(const TouchSet& touches, const Event& event) override;
  void touchesCancelled(const TouchSet& touches, const Event& event) override;
  void reset() override;

  static constexpr double kHysteresis = 10;

 private:
  struct Sample {
    TimeInterval time;
    Point location;
  };
  Point windowVectorToView(Point from, Point to, const View* view) const;
  void addSample(TimeInterval time, Point location);

  std::size_t minimumTouches_ = 1;
  std::size_t maximumTouches_ = 1u << 30;
  Point start_;
  Point translationBase_;
  Point translationOffset_;
  std::deque<Sample> samples_;
};

}  // namespace lorvane
