#include "platform/ui/geometry.h"

#include <algorithm>
#include <cstdio>

namespace lorvane {

Rect Rect::intersection(const Rect& o) const {
  double x1 = std::max(minX(), o.minX());
  double y1 = std::max(minY(), o.minY());
  double x2 = std::min(maxX(), o.maxX());
  double y2 = std::min(maxY(), o.maxY());
  if (x2 <= x1 || y2 <= y1) return {};
  return {x1, y1, x2 - x1, y2 - y1};
}

Rect Rect::unionWith(const Rect& o) const {
  if (isEmpty()) return o;
  if (o.isEmpty()) return *this;
  double x1 = std::min(minX(), o.minX());
  double y1 = std::min(minY(), o.minY());
  double x2 = std::max(maxX(), o.maxX());
  double y2 = std::max(maxY(), o.maxY());
  return {x1, y1, x2 - x1, y2 - y1};
}

AffineTransform AffineTransform::rotation(double radians) {
  double c = std::cos(radians);
  double s = std::sin(radians);
  // Snap the quarter turns so 90-degree layouts stay exact.
  auto snap = [](double v) {
    if (std::fabs(v) < 1e-12) return 0.0;
    if (std::fabs(v - 1) < 1e-12) return 1.0;
    if (std::fabs(v + 1) < 1e-12) return -1.0;
    return v;
  };
  c = snap(c);
  s = snap(s);
  return {c, s, -s, c, 0, 0};
}

AffineTransform AffineTransform::concat(const AffineTransform& o) const {
  return {a * o.a + b * o.c, a * o.b + b * o.d,          c * o.a + d * o.c,
          c * o.b + d * o.d, tx * o.a + ty * o.c + o.tx, tx * o.b + ty * o.d + o.ty};
}

AffineTransform AffineTransform::inverted() const {
  double det = a * d - b * c;
  if (std::fabs(det) < 1e-15) return {};
  return {d / det, -b / det, -c / det, a / det, (c * ty - d * tx) / det, (b * tx - a * ty) / det};
}

Rect AffineTransform::applyToRect(const Rect& r) const {
  Point p[4] = {apply({r.minX(), r.minY()}), apply({r.maxX(), r.minY()}),
                apply({r.minX(), r.maxY()}), apply({r.maxX(), r.maxY()})};
  double x1 = p[0].x, x2 = p[0].x, y1 = p[0].y, y2 = p[0].y;
  for (const auto& q : p) {
    x1 = std::min(x1, q.x);
    x2 = std::max(x2, q.x);
    y1 = std::min(y1, q.y);
    y2 = std::max(y2, q.y);
  }
  return {x1, y1, x2 - x1, y2 - y1};
}

std::string toString(const Rect& r) {
  char buf[128];
  std::snprintf(buf, sizeof buf, "{{%g, %g}, {%g, %g}}", r.x(), r.y(), r.width(), r.height());
  return buf;
}

std::string toString(const Point& p) {
  char buf[64];
  std::snprintf(buf, sizeof buf, "{%g, %g}", p.x, p.y);
  return buf;
}

bool nearlyEqual(const Rect& a, const Rect& b, double t) {
  return nearlyEqual(a.x(), b.x(), t) && nearlyEqual(a.y(), b.y(), t) &&
         nearlyEqual(a.width(), b.width(), t) && nearlyEqual(a.height(), b.height(), t);
}

}  // namespace lorvane
