#include "platform/ui/content_mode.h"

#include <algorithm>

namespace lorvane {

Rect contentRect(const Rect& b, Size c, ContentMode mode) {
  if (c.width <= 0 || c.height <= 0) return b;
  switch (mode) {
    case ContentMode::ScaleToFill:
    case ContentMode::Redraw:
      return b;
    case ContentMode::ScaleAspectFit:
    case ContentMode::ScaleAspectFill: {
      double sx = b.width() / c.width, sy = b.height() / c.height;
      double s = mode == ContentMode::ScaleAspectFit ? std::min(sx, sy) : std::max(sx, sy);
      double w = c.width * s, h = c.height * s;
      return {b.midX() - w / 2, b.midY() - h / 2, w, h};
    }
    default:
      break;
  }
  double x = b.midX() - c.width / 2, y = b.midY() - c.height / 2;
  switch (mode) {
    case ContentMode::Top:
      y = b.minY();
      break;
    case ContentMode::Bottom:
      y = b.maxY() - c.height;
      break;
    case ContentMode::Left:
      x = b.minX();
      break;
    case ContentMode::Right:
      x = b.maxX() - c.width;
      break;
    case ContentMode::TopLeft:
      x = b.minX();
      y = b.minY();
      break;
    case ContentMode::TopRight:
      x = b.maxX() - c.width;
      y = b.minY();
      break;
    case ContentMode::BottomLeft:
      x = b.minX();
      y = b.maxY() - c.height;
      break;
    case ContentMode::BottomRight:
      x = b.maxX() - c.width;
      y = b.maxY() - c.height;
      break;
    default:
      break;
  }
  return {x, y, c.width, c.height};
}

}  // namespace lorvane
