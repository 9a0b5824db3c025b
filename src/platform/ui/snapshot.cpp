#include "platform/ui/snapshot.h"

#include <algorithm>
#include <cmath>
#include <mutex>

#include "platform/ui/screen.h"
#include "platform/ui/view.h"

namespace lorvane {

namespace {

std::mutex rendererMutex;
SnapshotRenderer& installed() {
  static SnapshotRenderer renderer;
  return renderer;
}

struct Canvas {
  PixelBuffer pixels;
  double scale;

  void fill(const Rect& r, const Color& c, double alpha) {
    double a = c.alpha * alpha;
    if (a <= 0) return;
    int x1 = std::max(0, int(std::floor(r.minX() * scale + 0.5)));
    int y1 = std::max(0, int(std::floor(r.minY() * scale + 0.5)));
    int x2 = std::min(pixels.width, int(std::floor(r.maxX() * scale + 0.5)));
    int y2 = std::min(pixels.height, int(std::floor(r.maxY() * scale + 0.5)));
    for (int y = y1; y < y2; ++y) {
      for (int x = x1; x < x2; ++x) {
        std::uint8_t* p =
            &pixels.rgba[(std::size_t(y) * std::size_t(pixels.width) + std::size_t(x)) * 4];
        double da = p[3] / 255.0;
        double oa = a + da * (1 - a);
        auto blend = [&](std::uint8_t dst, double src) {
          if (oa <= 0) return std::uint8_t(0);
          double v = (src * a + dst / 255.0 * da * (1 - a)) / oa;
          return std::uint8_t(std::clamp(v, 0.0, 1.0) * 255 + 0.5);
        };
        p[0] = blend(p[0], c.red);
        p[1] = blend(p[1], c.green);
        p[2] = blend(p[2], c.blue);
        p[3] = std::uint8_t(std::clamp(oa, 0.0, 1.0) * 255 + 0.5);
      }
    }
  }
};

// Colour fills only, translations only: enough for plain colour pictures.
void drawFills(Canvas& canvas, const View& view, Point origin, double alpha) {
  if (view.isHidden()) return;
  double a = alpha * view.alpha();
  Rect b = view.bounds();
  canvas.fill({origin.x, origin.y, b.width(), b.height()}, view.backgroundColor(), a);
  for (const auto& sub : view.layer().sublayers()) {
    if (sub->isHidden()) continue;
    Rect f = sub->frame();
    canvas.fill(f.offsetBy(origin.x, origin.y), sub->backgroundColor(), a * sub->opacity());
  }
  for (const auto& sub : view.subviews()) {
    Rect f = sub->frame();
    drawFills(canvas, *sub, {origin.x + f.x() - b.x(), origin.y + f.y() - b.y()}, a);
  }
}

}  // namespace

void setSnapshotRenderer(SnapshotRenderer renderer) {
  std::lock_guard lock(rendererMutex);
  installed() = std::move(renderer);
}

ImagePtr renderLayerToImage(const Layer& layer, Size size, double scale) {
  if (size.width <= 0 || size.height <= 0) return nullptr;
  if (scale <= 0) scale = Screen::mainScreen().scale();
  SnapshotRenderer renderer;
  {
    std::lock_guard lock(rendererMutex);
    renderer = installed();
  }
  if (renderer) return renderer(layer, size, scale);
  Canvas canvas;
  canvas.scale = scale;
  canvas.pixels.width = std::max(1, int(std::ceil(size.width * scale)));
  canvas.pixels.height = std::max(1, int(std::ceil(size.height * scale)));
  canvas.pixels.rgba.assign(
      std::size_t(canvas.pixels.width) * std::size_t(canvas.pixels.height) * 4, 0);
  if (const View* view = layer.delegateView()) {
    drawFills(canvas, *view, {0, 0}, 1);
  } else if (!layer.isHidden()) {
    Rect b = layer.bounds();
    canvas.fill({0, 0, b.width(), b.height()}, layer.backgroundColor(), layer.opacity());
    for (const auto& sub : layer.sublayers()) {
      if (!sub->isHidden())
        canvas.fill(sub->frame(), sub->backgroundColor(), layer.opacity() * sub->opacity());
    }
  }
  return Image::imageWithPixels(std::move(canvas.pixels), scale);
}

ImagePtr imageFilledWithColor(Color color, Size size, double scale) {
  if (size.width <= 0 || size.height <= 0 || scale <= 0) return nullptr;
  PixelBuffer p;
  p.width = std::max(1, int(std::ceil(size.width * scale)));
  p.height = std::max(1, int(std::ceil(size.height * scale)));
  p.rgba.resize(std::size_t(p.width) * std::size_t(p.height) * 4);
  for (std::size_t i = 0; i < p.rgba.size(); i += 4) {
    p.rgba[i] = color.r8();
    p.rgba[i + 1] = color.g8();
    p.rgba[i + 2] = color.b8();
    p.rgba[i + 3] = color.a8();
  }
  return Image::imageWithPixels(std::move(p), scale);
}

}  // namespace lorvane
