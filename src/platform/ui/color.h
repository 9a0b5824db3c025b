#pragma once

#include <algorithm>
#include <cstdint>

namespace lorvane {

// Components from 0 to 1, not premultiplied.
struct Color {
  double red = 0, green = 0, blue = 0, alpha = 0;

  static Color rgba(double r, double g, double b, double a = 1) { return {r, g, b, a}; }
  // From 0-255 components, as the app's colours are written.
  static Color rgb255(int r, int g, int b, double a = 1) {
    return {r / 255.0, g / 255.0, b / 255.0, a};
  }
  static Color white(double w, double a = 1) { return {w, w, w, a}; }
  static Color clear() { return {}; }
  static Color black() { return {0, 0, 0, 1}; }
  static Color whiteColor() { return {1, 1, 1, 1}; }
  static Color redColor() { return {1, 0, 0, 1}; }
  static Color gray() { return {0.5, 0.5, 0.5, 1}; }
  static Color lightGray() { return {2.0 / 3, 2.0 / 3, 2.0 / 3, 1}; }
  static Color darkGray() { return {1.0 / 3, 1.0 / 3, 1.0 / 3, 1}; }
  static Color blueColor() { return {0, 0, 1, 1}; }

  Color withAlpha(double a) const { return {red, green, blue, a}; }
  bool isClear() const { return alpha <= 0; }
  bool operator==(const Color&) const = default;

  std::uint8_t r8() const { return to8(red); }
  std::uint8_t g8() const { return to8(green); }
  std::uint8_t b8() const { return to8(blue); }
  std::uint8_t a8() const { return to8(alpha); }

 private:
  static std::uint8_t to8(double v) {
    return static_cast<std::uint8_t>(std::clamp(v, 0.0, 1.0) * 255.0 + 0.5);
  }
};

inline Color mix(const Color& a, const Color& b, double t) {
  return {a.red + (b.red - a.red) * t, a.green + (b.green - a.green) * t,
          a.blue + (b.blue - a.blue) * t, a.alpha + (b.alpha - a.alpha) * t};
}

}  // namespace lorvane
