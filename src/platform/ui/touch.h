#pragma once

#include <memory>
#include <vector>

#include "platform/foundation/clock.h"
#include "platform/ui/geometry.h"

namespace lorvane {

class View;
class Window;
class GestureRecognizer;

enum class TouchPhase { Began = 0, Moved = 1, Stationary = 2, Ended = 3, Cancelled = 4 };

// One finger on the glass, from touch-down to lift-off.
class Touch {
 public:
  TouchPhase phase() const { return phase_; }
  TimeInterval timestamp() const { return timestamp_; }
  int tapCount() const { return tapCount_; }
  // The view the touch went down in (hit testing), and its window.
  View* view() const;
  Window* window() const { return window_; }
  // Location in the given view's coordinates; nullptr means the window's.
  Point locationInView(const View* view) const;
  Point previousLocationInView(const View* view) const;
  Point locationInWindow() const { return location_; }

 private:
  friend class Window;
  TouchPhase phase_ = TouchPhase::Began;
  TimeInterval timestamp_ = 0;
  int tapCount_ = 1;
  std::weak_ptr<View> view_;
  Window* window_ = nullptr;
  Point location_;
  Point previous_;
};

using TouchPtr = std::shared_ptr<Touch>;
using TouchSet = std::vector<TouchPtr>;

struct Event {
  TouchSet allTouches;
  TimeInterval timestamp = 0;
};

}  // namespace lorvane
