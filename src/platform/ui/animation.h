#pragma once

#include <functional>
#include <memory>
#include <variant>

#include "platform/foundation/clock.h"
#include "platform/ui/color.h"
#include "platform/ui/geometry.h"

namespace lorvane {

// The platform's animation option bits.
enum AnimationOptions : unsigned {
  AnimationOptionNone = 0,
  AnimationOptionAllowUserInteraction = 1u << 1,
  AnimationOptionBeginFromCurrentState = 1u << 2,
  AnimationOptionCurveEaseInOut = 0u << 16,
  AnimationOptionCurveEaseIn = 1u << 16,
  AnimationOptionCurveEaseOut = 2u << 16,
  AnimationOptionCurveLinear = 3u << 16,
};

enum class AnimationCurve { EaseInOut, EaseIn, EaseOut, Linear };
AnimationCurve curveFromOptions(unsigned options);
double applyCurve(AnimationCurve curve, double t);

using AnimationValue = std::variant<double, Point, Rect, AffineTransform, Color>;
AnimationValue interpolate(const AnimationValue& from, const AnimationValue& to, double t);

// One block of view animations: its changes share timing and one completion.
class AnimationGroup : public std::enable_shared_from_this<AnimationGroup> {
 public:
  using Completion = std::function<void(bool finished)>;
  AnimationGroup(TimeInterval start, TimeInterval duration, AnimationCurve curve,
                 Completion completion);

  TimeInterval start() const { return start_; }
  TimeInterval duration() const { return duration_; }
  AnimationCurve curve() const { return curve_; }
  // Progress after the curve, 0 before the start, 1 at the end.
  double progress(TimeInterval now) const;
  bool isOver(TimeInterval now) const { return now >= start_ + duration_; }

  void retain() { ++running_; }
  // A change of this block ended: on its own (finished) or replaced.
  void release(bool finished);
  // Arms the timer that ends the block; called once the block ran.
  void begin();

 private:
  void complete(bool finished);
  TimeInterval start_;
  TimeInterval duration_;
  AnimationCurve curve_;
  Completion completion_;
  int running_ = 0;
  bool allFinished_ = true;
  bool completed_ = false;
  bool begun_ = false;
};

// One animated property of one view.
struct PropertyAnimation {
  AnimationValue from;
  AnimationValue to;
  std::shared_ptr<AnimationGroup> group;
};

// The innermost animation block being run, if any (main thread only).
struct AnimationContext {
  std::shared_ptr<AnimationGroup> group;
  unsigned options = 0;
};
const AnimationContext* currentAnimationContext();

// Runs `animations` so that every animatable change made inside moves over
// `duration` after `delay`; the model values change at once.
void animateWithDuration(TimeInterval duration, TimeInterval delay, unsigned options,
                         const std::function<void()>& animations,
                         AnimationGroup::Completion completion = nullptr);
inline void animateWithDuration(TimeInterval duration, const std::function<void()>& animations,
                                AnimationGroup::Completion completion = nullptr) {
  animateWithDuration(duration, 0, 0, animations, std::move(completion));
}
// Makes changes inside without animation even within an animation block.
void performWithoutAnimation(const std::function<void()>& changes);

}  // namespace lorvane
