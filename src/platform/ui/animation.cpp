#include "platform/ui/animation.h"

#include <algorithm>
#include <cmath>
#include <vector>

#include "platform/foundation/run_loop.h"

namespace lorvane {

namespace {

std::vector<AnimationContext>& contextStack() {
  static std::vector<AnimationContext> stack;
  return stack;
}

// Solves a cubic Bezier timing curve (x1, y1, x2, y2) for progress t.
double bezier(double x1, double y1, double x2, double y2, double t) {
  auto coord = [](double p1, double p2, double u) {
    double v = 1 - u;
    return 3 * v * v * u * p1 + 3 * v * u * u * p2 + u * u * u;
  };
  double lo = 0, hi = 1, u = t;
  for (int i = 0; i < 40; ++i) {
    u = (lo + hi) / 2;
    if (coord(x1, x2, u) < t)
      lo = u;
    else
      hi = u;
  }
  return coord(y1, y2, u);
}

}  // namespace

AnimationCurve curveFromOptions(unsigned options) {
  switch ((options >> 16) & 3u) {
    case 1:
      return AnimationCurve::EaseIn;
    case 2:
      return AnimationCurve::EaseOut;
    case 3:
      return AnimationCurve::Linear;
    default:
      return AnimationCurve::EaseInOut;
  }
}

double applyCurve(AnimationCurve curve, double t) {
  t = std::clamp(t, 0.0, 1.0);
  switch (curve) {
    case AnimationCurve::Linear:
      return t;
    case AnimationCurve::EaseIn:
      return bezier(0.42, 0, 1, 1, t);
    case AnimationCurve::EaseOut:
      return bezier(0, 0, 0.58, 1, t);
    default:
      return bezier(0.42, 0, 0.58, 1, t);
  }
}

AnimationValue interpolate(const AnimationValue& from, const AnimationValue& to, double t) {
  auto lerp = [t](double a, double b) { return a + (b - a) * t; };
  if (from.index() != to.index()) return to;
  if (auto* a = std::get_if<double>(&from)) return lerp(*a, std::get<double>(to));
  if (auto* a = std::get_if<Point>(&from)) {
    const auto& b = std::get<Point>(to);
    return Point{lerp(a->x, b.x), lerp(a->y, b.y)};
  }
  if (auto* a = std::get_if<Rect>(&from)) {
    const auto& b = std::get<Rect>(to);
    return Rect{lerp(a->x(), b.x()), lerp(a->y(), b.y()), lerp(a->width(), b.width()),
                lerp(a->height(), b.height())};
  }
  if (auto* a = std::get_if<AffineTransform>(&from)) {
    // Rotations go through the angle so a quarter turn stays a rotation.
    const auto& b = std::get<AffineTransform>(to);
    double angleA = a->rotationAngle(), angleB = b.rotationAngle();
    double delta = std::remainder(angleB - angleA, 2 * kPi);
    double sx = lerp(a->scaleX(), b.scaleX()), sy = lerp(a->scaleY(), b.scaleY());
    auto m = AffineTransform::scale(sx, sy).concat(AffineTransform::rotation(angleA + delta * t));
    m.tx = lerp(a->tx, b.tx);
    m.ty = lerp(a->ty, b.ty);
    return m;
  }
  return mix(std::get<Color>(from), std::get<Color>(to), t);
}

AnimationGroup::AnimationGroup(TimeInterval start, TimeInterval duration, AnimationCurve curve,
                               Completion completion)
    : start_(start), duration_(duration), curve_(curve), completion_(std::move(completion)) {}

double AnimationGroup::progress(TimeInterval now) const {
  if (duration_ <= 0) return now >= start_ ? 1 : 0;
  return applyCurve(curve_, (now - start_) / duration_);
}

void AnimationGroup::release(bool finished) {
  if (!finished) allFinished_ = false;
  if (--running_ <= 0 && begun_ && !finished) {
    // Every change was replaced before its end: report now, unfinished.
    auto self = shared_from_this();
    RunLoop::main().post([self] { self->complete(false); });
  }
}

void AnimationGroup::begin() {
  begun_ = true;
  auto self = shared_from_this();
  TimeInterval wait = std::max(0.0, start_ + duration_ - Clock::shared().now());
  Timer::scheduledTimer(wait, false, [self](Timer&) { self->complete(self->allFinished_); });
}

void AnimationGroup::complete(bool finished) {
  if (completed_) return;
  completed_ = true;
  auto completion = std::move(completion_);
  completion_ = nullptr;
  if (completion) completion(finished);
}

const AnimationContext* currentAnimationContext() {
  auto& stack = contextStack();
  return stack.empty() ? nullptr : &stack.back();
}

void animateWithDuration(TimeInterval duration, TimeInterval delay, unsigned options,
                         const std::function<void()>& animations,
                         AnimationGroup::Completion completion) {
  auto group = std::make_shared<AnimationGroup>(Clock::shared().now() + std::max(0.0, delay),
                                                std::max(0.0, duration), curveFromOptions(options),
                                                std::move(completion));
  contextStack().push_back({group, options});
  struct Pop {
    ~Pop() { contextStack().pop_back(); }
  } pop;
  if (animations) animations();
  group->begin();
}

void performWithoutAnimation(const std::function<void()>& changes) {
  contextStack().push_back({nullptr, 0});
  struct Pop {
    ~Pop() { contextStack().pop_back(); }
  } pop;
  changes();
}

}  // namespace lorvane
