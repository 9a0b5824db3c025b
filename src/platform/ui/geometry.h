#pragma once

#include <cmath>
#include <string>

namespace lorvane {

// Points, sizes and rectangles in points (doubles), y growing downwards.
struct Point {
  double x = 0;
  double y = 0;
  bool operator==(const Point&) const = default;
  Point operator+(const Point& o) const { return {x + o.x, y + o.y}; }
  Point operator-(const Point& o) const { return {x - o.x, y - o.y}; }
};

struct Size {
  double width = 0;
  double height = 0;
  bool operator==(const Size&) const = default;
  bool isEmpty() const { return width <= 0 || height <= 0; }
};

struct EdgeInsets {
  double top = 0;
  double left = 0;
  double bottom = 0;
  double right = 0;
  bool operator==(const EdgeInsets&) const = default;
  bool isZero() const { return top == 0 && left == 0 && bottom == 0 && right == 0; }
};

struct Rect {
  Point origin;
  Size size;

  Rect() = default;
  Rect(double x, double y, double w, double h) : origin{x, y}, size{w, h} {}
  Rect(Point o, Size s) : origin(o), size(s) {}
  bool operator==(const Rect&) const = default;

  double x() const { return origin.x; }
  double y() const { return origin.y; }
  double width() const { return size.width; }
  double height() const { return size.height; }
  double minX() const { return std::fmin(origin.x, origin.x + size.width); }
  double minY() const { return std::fmin(origin.y, origin.y + size.height); }
  double maxX() const { return std::fmax(origin.x, origin.x + size.width); }
  double maxY() const { return std::fmax(origin.y, origin.y + size.height); }
  double midX() const { return origin.x + size.width / 2; }
  double midY() const { return origin.y + size.height / 2; }
  Point center() const { return {midX(), midY()}; }
  bool isEmpty() const { return size.isEmpty(); }

  // Half-open like the platform: the far edges are outside.
  bool contains(Point p) const {
    return p.x >= minX() && p.x < maxX() && p.y >= minY() && p.y < maxY();
  }
  bool intersects(const Rect& o) const {
    return minX() < o.maxX() && o.minX() < maxX() && minY() < o.maxY() && o.minY() < maxY();
  }
  Rect intersection(const Rect& o) const;
  Rect unionWith(const Rect& o) const;
  Rect insetBy(double dx, double dy) const {
    return {origin.x + dx, origin.y + dy, size.width - 2 * dx, size.height - 2 * dy};
  }
  Rect inset(const EdgeInsets& e) const {
    return {origin.x + e.left, origin.y + e.top, size.width - e.left - e.right,
            size.height - e.top - e.bottom};
  }
  Rect offsetBy(double dx, double dy) const {
    return {origin.x + dx, origin.y + dy, size.width, size.height};
  }
};

// a b 0 / c d 0 / tx ty 1, applied to row vectors as the platform does.
struct AffineTransform {
  double a = 1, b = 0, c = 0, d = 1, tx = 0, ty = 0;

  static AffineTransform identity() { return {}; }
  static AffineTransform rotation(double radians);
  static AffineTransform scale(double sx, double sy) { return {sx, 0, 0, sy, 0, 0}; }
  static AffineTransform translation(double x, double y) { return {1, 0, 0, 1, x, y}; }

  bool isIdentity() const { return *this == AffineTransform{}; }
  bool operator==(const AffineTransform&) const = default;

  // this first, then other.
  AffineTransform concat(const AffineTransform& other) const;
  AffineTransform rotated(double radians) const { return rotation(radians).concat(*this); }
  AffineTransform translated(double x, double y) const { return translation(x, y).concat(*this); }
  AffineTransform scaled(double sx, double sy) const { return scale(sx, sy).concat(*this); }
  // The identity when the transform cannot be inverted.
  AffineTransform inverted() const;

  Point apply(Point p) const { return {a * p.x + c * p.y + tx, b * p.x + d * p.y + ty}; }
  Size applyToSize(Size s) const {
    return {a * s.width + c * s.height, b * s.width + d * s.height};
  }
  // Bounding box of the transformed rectangle.
  Rect applyToRect(const Rect& r) const;
  // The rotation angle (radians) and scale factors of a transform without shear.
  double rotationAngle() const { return std::atan2(b, a); }
  double scaleX() const { return std::hypot(a, b); }
  double scaleY() const { return std::hypot(c, d); }
};

std::string toString(const Rect& r);
std::string toString(const Point& p);

// Near-equality for values that went through transforms or animations.
inline bool nearlyEqual(double a, double b, double tolerance = 1e-6) {
  return std::fabs(a - b) <= tolerance;
}
bool nearlyEqual(const Rect& a, const Rect& b, double tolerance = 1e-6);

inline constexpr double kPi = 3.14159265358979323846;

}  // namespace lorvane
