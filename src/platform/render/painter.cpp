#include "platform/render/painter.h"

#include <SDL2/SDL_image.h>

#include <algorithm>
#include <cmath>
#include <ctime>
#include <vector>

#include "platform/foundation/clock.h"
#include "platform/ui/application.h"
#include "platform/ui/screen.h"

namespace lorvane {

namespace {

constexpr double kDegreesPerRadian = 180.0 / kPi;
constexpr int kCornerSegments = 8;

SDL_Color toSdl(Color c, double alpha) {
  Color a = c.withAlpha(c.alpha * alpha);
  return {a.r8(), a.g8(), a.b8(), a.a8()};
}

bool axisAligned(const AffineTransform& m) {
  return std::fabs(m.b) < 1e-9 && std::fabs(m.c) < 1e-9 && m.a > 0 && m.d > 0;
}

// The outline of a rectangle with rounded corners, clockwise.
std::vector<Point> roundedOutline(const Rect& r, double radius) {
  std::vector<Point> pts;
  radius = std::clamp(radius, 0.0, std::min(r.width(), r.height()) / 2);
  if (radius <= 0) {
    return {{r.minX(), r.minY()}, {r.maxX(), r.minY()}, {r.maxX(), r.maxY()}, {r.minX(), r.maxY()}};
  }
  const Point centres[4] = {{r.maxX() - radius, r.minY() + radius},
                            {r.maxX() - radius, r.maxY() - radius},
                            {r.minX() + radius, r.maxY() - radius},
                            {r.minX() + radius, r.minY() + radius}};
  for (int corner = 0; corner < 4; ++corner) {
    double start = -kPi / 2 + corner * kPi / 2;
    for (int i = 0; i <= kCornerSegments; ++i) {
      double a = start + (kPi / 2) * i / kCornerSegments;
      pts.push_back(
          {centres[corner].x + radius * std::cos(a), centres[corner].y + radius * std::sin(a)});
    }
  }
  return pts;
}

SDL_Vertex vertex(Point p, SDL_Color c) {
  SDL_Vertex v;
  v.position = {float(p.x), float(p.y)};
  v.color = c;
  v.tex_coord = {0, 0};
  return v;
}

}  // namespace

AffineTransform viewTransform(const View& view, bool presentation) {
  Rect b = presentation ? view.presentationBounds() : view.bounds();
  Point c = presentation ? view.presentationCenter() : view.center();
  AffineTransform t = presentation ? view.presentationTransform() : view.transform();
  return AffineTransform::translation(-b.x() - b.width() / 2, -b.y() - b.height() / 2)
      .concat(t)
      .concat(AffineTransform::translation(c.x, c.y));
}

Painter::Painter(SDL_Renderer* renderer, std::shared_ptr<FontProvider> fonts)
    : renderer_(renderer), fonts_(std::move(fonts)) {}

Painter::~Painter() = default;

AffineTransform Painter::toPixels(const AffineTransform& m) const {
  return m.concat(screen_).concat(AffineTransform::scale(scale_, scale_));
}

void Painter::drawView(const View& view, const AffineTransform& toTarget) {
  SDL_SetRenderDrawBlendMode(renderer_, SDL_BLENDMODE_BLEND);
  clip_ = {};
  SDL_RenderSetClipRect(renderer_, nullptr);
  drawViewTree(view, toPixels(toTarget), 1);
  SDL_RenderSetClipRect(renderer_, nullptr);
}

void Painter::drawLayer(const Layer& layer) {
  if (const View* view = layer.delegateView()) {
    // The view at the origin of the picture, whatever its place on screen.
    Rect f = view->presentationFrame();
    drawView(*view, AffineTransform::translation(-f.x(), -f.y()));
    return;
  }
  SDL_SetRenderDrawBlendMode(renderer_, SDL_BLENDMODE_BLEND);
  clip_ = {};
  SDL_RenderSetClipRect(renderer_, nullptr);
  Rect f = layer.frame();
  drawSublayer(layer, toPixels(AffineTransform::translation(-f.x(), -f.y())), 1);
  SDL_RenderSetClipRect(renderer_, nullptr);
}

void Painter::drawViewTree(const View& view, const AffineTransform& parent, double alpha) {
  if (view.isHidden()) return;
  double a = alpha * view.presentationAlpha();
  if (a < 0.004) return;
  AffineTransform m = viewTransform(view, true).concat(parent);
  Rect bounds = view.presentationBounds();
  const Layer& layer = view.layer();
  Clip saved = clip_;
  bool clips = layer.masksToBounds();
  if (clips) {
    // Shadows of clipping layers are clipped too, as on the platform.
    pushClip(bounds, m);
    if (clip_.empty) {
      popClip(saved);
      return;
    }
  }
  // Content wholly outside the visible area is skipped (scrolled-away
  // tiles); subviews may still reach in, so they are visited anyway.
  bool visible = true;
  if (clip_.active) {
    Size off = layer.shadowOffset();
    double margin = layer.shadowOpacity() > 0 ? std::fabs(off.width) + std::fabs(off.height) +
                                                    layer.shadowRadius() + layer.borderWidth()
                                              : layer.borderWidth();
    Rect p = m.applyToRect(bounds.insetBy(-margin, -margin));
    Rect c{double(clip_.rect.x), double(clip_.rect.y), double(clip_.rect.w), double(clip_.rect.h)};
    visible = p.intersects(c);
  }
  if (visible) drawLayerContent(layer, bounds, view.presentationBackgroundColor(), m, a);
  for (const auto& sub : layer.sublayers()) drawSublayer(*sub, m, a);
  for (const auto& sub : view.subviews()) drawViewTree(*sub, m, a);
  if (visible && layer.borderWidth() > 0) {
    Color border = layer.borderColor();
    strokeShape(bounds, layer.cornerRadius(), layer.borderWidth(),
                border.withAlpha(border.alpha * a), m);
  }
  if (clips) popClip(saved);
}

void Painter::drawSublayer(const Layer& layer, const AffineTransform& parent, double alpha) {
  if (layer.isHidden()) return;
  double a = alpha * layer.opacity();
  if (a < 0.004) return;
  Rect f = layer.frame();
  Rect b = layer.bounds();
  AffineTransform m = AffineTransform::translation(f.x() - b.x(), f.y() - b.y()).concat(parent);
  Clip saved = clip_;
  if (layer.masksToBounds()) pushClip(b, m);
  drawLayerContent(layer, b, layer.backgroundColor(), m, a);
  for (const auto& sub : layer.sublayers()) drawSublayer(*sub, m, a);
  if (layer.borderWidth() > 0) {
    strokeShape(b, layer.cornerRadius(), layer.borderWidth(),
                layer.borderColor().withAlpha(layer.borderColor().alpha * a), m);
  }
  if (layer.masksToBounds()) popClip(saved);
}

void Painter::drawLayerContent(const Layer& layer, const Rect& bounds, Color background,
                               const AffineTransform& m, double a) {
  double radius = layer.cornerRadius();
  if (layer.shadowOpacity() > 0 && (!background.isClear() || layer.contents())) {
    Size off = layer.shadowOffset();
    Rect s = bounds.offsetBy(off.width, off.height);
    double opacity = layer.shadowOpacity() * a * layer.shadowColor().alpha;
    Color c = layer.shadowColor();
    double blur = std::max(0.0, layer.shadowRadius());
    if (blur <= 0) {
      fillShape(s, radius, c.withAlpha(opacity), m);
    } else {
      // A soft edge from a few widening translucent rings.
      constexpr int kSteps = 3;
      for (int i = kSteps; i >= 1; --i) {
        double grow = blur * i / kSteps;
        fillShape(s.insetBy(-grow / 2, -grow / 2), radius + grow / 2,
                  c.withAlpha(opacity / (kSteps + 1)), m);
      }
      fillShape(s, radius, c.withAlpha(opacity / (kSteps + 1)), m);
    }
  }
  if (!background.isClear())
    fillShape(bounds, radius, background.withAlpha(background.alpha * a), m);
  if (const auto& image = layer.contents()) {
    drawImage(*image, bounds, layer.contentsGravity(), m, a, layer.contentsMultiply());
  }
  if (layer.videoFrameSource()) drawVideo(layer, bounds, m, a);
  if (const auto& text = layer.textContent()) drawText(*text, m, a);
  if (const auto& spinner = layer.spinnerContent()) drawSpinner(bounds, *spinner, m, a);
}

void Painter::fillShape(const Rect& r, double radius, Color color, const AffineTransform& m) {
  if (color.alpha <= 0 || r.width() <= 0 || r.height() <= 0) return;
  SDL_Color c = toSdl(color, 1);
  if (radius <= 0 && axisAligned(m)) {
    Rect p = m.applyToRect(r);
    SDL_FRect fr{float(p.x()), float(p.y()), float(p.width()), float(p.height())};
    SDL_SetRenderDrawColor(renderer_, c.r, c.g, c.b, c.a);
    SDL_RenderFillRectF(renderer_, &fr);
    return;
  }
  auto outline = roundedOutline(r, radius);
  std::vector<SDL_Vertex> verts;
  verts.reserve(outline.size() + 1);
  verts.push_back(vertex(m.apply(r.center()), c));
  for (const auto& p : outline) verts.push_back(vertex(m.apply(p), c));
  std::vector<int> indices;
  int n = int(outline.size());
  for (int i = 0; i < n; ++i) {
    indices.push_back(0);
    indices.push_back(1 + i);
    indices.push_back(1 + (i + 1) % n);
  }
  SDL_RenderGeometry(renderer_, nullptr, verts.data(), int(verts.size()), indices.data(),
                     int(indices.size()));
}

void Painter::strokeShape(const Rect& r, double radius, double width, Color color,
                          const AffineTransform& m) {
  if (color.alpha <= 0 || width <= 0) return;
  width = std::min(width, std::min(r.width(), r.height()) / 2);
  if (width <= 0) return;
  if (radius <= 0) {
    fillShape({r.minX(), r.minY(), r.width(), width}, 0, color, m);
    fillShape({r.minX(), r.maxY() - width, r.width(), width}, 0, color, m);
    fillShape({r.minX(), r.minY() + width, width, r.height() - 2 * width}, 0, color, m);
    fillShape({r.maxX() - width, r.minY() + width, width, r.height() - 2 * width}, 0, color, m);
    return;
  }
  // A ring between the outer outline and one inset by the width.
  auto outer = roundedOutline(r, radius);
  auto inner = roundedOutline(r.insetBy(width, width), std::max(0.0, radius - width));
  if (outer.size() != inner.size()) return;
  SDL_Color c = toSdl(color, 1);
  std::vector<SDL_Vertex> verts;
  for (std::size_t i = 0; i < outer.size(); ++i) {
    verts.push_back(vertex(m.apply(outer[i]), c));
    verts.push_back(vertex(m.apply(inner[i]), c));
  }
  std::vector<int> idx;
  int n = int(outer.size());
  for (int i = 0; i < n; ++i) {
    int o0 = 2 * i, i0 = 2 * i + 1, o1 = 2 * ((i + 1) % n), i1 = 2 * ((i + 1) % n) + 1;
    idx.insert(idx.end(), {o0, o1, i0, i0, o1, i1});
  }
  SDL_RenderGeometry(renderer_, nullptr, verts.data(), int(verts.size()), idx.data(),
                     int(idx.size()));
}

void Painter::drawTexture(SDL_Texture* texture, const SDL_Rect& source, const Rect& dest,
                          const AffineTransform& m, double alpha, Color multiply) {
  if (!texture || dest.width() <= 0 || dest.height() <= 0 || source.w <= 0 || source.h <= 0) return;
  Point c = m.apply(dest.center());
  double w = dest.width() * m.scaleX();
  double h = dest.height() * m.scaleY();
  double angle = m.rotationAngle() * kDegreesPerRadian;
  SDL_SetTextureAlphaMod(texture, Uint8(std::clamp(alpha * multiply.alpha, 0.0, 1.0) * 255 + 0.5));
  SDL_SetTextureColorMod(texture, multiply.r8(), multiply.g8(), multiply.b8());
  SDL_FRect d{float(c.x - w / 2), float(c.y - h / 2), float(w), float(h)};
  if (std::fabs(angle) < 1e-6) {
    SDL_RenderCopyF(renderer_, texture, &source, &d);
  } else {
    SDL_RenderCopyExF(renderer_, texture, &source, &d, angle, nullptr, SDL_FLIP_NONE);
  }
}

Painter::ImageTexture* Painter::textureFor(const Image& image) {
  const void* key = image.contentKey();
  if (!key) return nullptr;
  auto it = images_.find(key);
  if (it != images_.end() && !it->second.owner.expired()) return &it->second;
  SurfacePtr surface;
  const auto& encoded = image.encodedData();
  if (!encoded.empty()) {
    SDL_RWops* rw = SDL_RWFromConstMem(encoded.data(), int(encoded.size()));
    surface.reset(IMG_Load_RW(rw, 1));
  } else if (const PixelBuffer* px = image.pixels()) {
    SurfacePtr wrap(SDL_CreateRGBSurfaceWithFormatFrom(const_cast<std::uint8_t*>(px->rgba.data()),
                                                       px->width, px->height, 32, px->width * 4,
                                                       SDL_PIXELFORMAT_RGBA32));
    if (wrap) surface.reset(SDL_ConvertSurfaceFormat(wrap.get(), SDL_PIXELFORMAT_ARGB8888, 0));
  }
  if (!surface) return nullptr;
  if (surface->format->format != SDL_PIXELFORMAT_ARGB8888) {
    surface.reset(SDL_ConvertSurfaceFormat(surface.get(), SDL_PIXELFORMAT_ARGB8888, 0));
    if (!surface) return nullptr;
  }
  bool opaque = true;
  SDL_LockSurface(surface.get());
  for (int y = 0; y < surface->h && opaque; ++y) {
    const auto* row =
        reinterpret_cast<const Uint32*>(static_cast<const std::uint8_t*>(surface->pixels) +
                                        std::size_t(y) * std::size_t(surface->pitch));
    for (int x = 0; x < surface->w; ++x) {
      if ((row[x] >> 24) != 0xFF) {
        opaque = false;
        break;
      }
    }
  }
  SDL_UnlockSurface(surface.get());
  TexturePtr texture(SDL_CreateTextureFromSurface(renderer_, surface.get()));
  if (!texture) return nullptr;
  SDL_SetTextureBlendMode(texture.get(), SDL_BLENDMODE_BLEND);
  int w = surface->w, h = surface->h;
  ImageTexture entry{image.contentHandle(), std::move(texture), std::move(surface), w, h, opaque};
  auto [pos, inserted] = images_.insert_or_assign(key, std::move(entry));
  return &pos->second;
}

void Painter::drawImage(const Image& image, const Rect& bounds, ContentMode mode,
                        const AffineTransform& m, double alpha, Color multiply) {
  ImageTexture* tex = textureFor(image);
  if (!tex) return;
  Size size = image.size();
  double px = tex->width / std::max(1e-9, size.width);  // texture pixels per image point
  if (!image.isResizable()) {
    Rect dest = contentRect(bounds, size, mode);
    SDL_Texture* texture = tex->texture.get();
    SDL_Rect source{0, 0, tex->width, tex->height};
    if (axisAligned(m)) {
      int w = int(std::lround(dest.width() * m.a)), h = int(std::lround(dest.height() * m.d));
      if ((w != tex->width || h != tex->height) && w > 0 && h > 0 && w <= 4096 && h <= 4096) {
        if (SDL_Texture* scaled = scaledTexture(*tex, image.contentKey(), w, h)) {
          texture = scaled;
          source = {0, 0, w, h};
        }
      }
    }
    // Opaque pictures drawn fully opaque need no blending.
    bool plain = tex->opaque && alpha * multiply.alpha >= 1;
    SDL_SetTextureBlendMode(texture, plain ? SDL_BLENDMODE_NONE : SDL_BLENDMODE_BLEND);
    drawTexture(texture, source, dest, m, alpha, multiply);
    return;
  }
  // Nine parts: corners keep their size, edges stretch one way, the middle both.
  Rect dest = mode == ContentMode::ScaleToFill || mode == ContentMode::Redraw
                  ? bounds
                  : contentRect(bounds, size, mode);
  EdgeInsets caps = image.capInsets();
  double sx = std::min(1.0, dest.width() / std::max(1e-9, caps.left + caps.right));
  double sy = std::min(1.0, dest.height() / std::max(1e-9, caps.top + caps.bottom));
  double dl = caps.left * sx, dr = caps.right * sx, dt = caps.top * sy, db = caps.bottom * sy;
  double srcX[4] = {0, caps.left, size.width - caps.right, size.width};
  double srcY[4] = {0, caps.top, size.height - caps.bottom, size.height};
  double dstX[4] = {dest.minX(), dest.minX() + dl, dest.maxX() - dr, dest.maxX()};
  double dstY[4] = {dest.minY(), dest.minY() + dt, dest.maxY() - db, dest.maxY()};
  for (int row = 0; row < 3; ++row) {
    for (int col = 0; col < 3; ++col) {
      SDL_Rect src{int(std::lround(srcX[col] * px)), int(std::lround(srcY[row] * px)),
                   int(std::lround((srcX[col + 1] - srcX[col]) * px)),
                   int(std::lround((srcY[row + 1] - srcY[row]) * px))};
      Rect d{dstX[col], dstY[row], dstX[col + 1] - dstX[col], dstY[row + 1] - dstY[row]};
      drawTexture(tex->texture.get(), src, d, m, alpha, multiply);
    }
  }
}

SDL_Texture* Painter::scaledTexture(ImageTexture& source, const void* key, int width, int height) {
  auto k = std::make_tuple(key, width, height);
  auto it = scaled_.find(k);
  if (it != scaled_.end() && !it->second.owner.expired()) {
    it->second.lastUsed = frame_;
    return it->second.texture.get();
  }
  if (!source.surface) return nullptr;
  SurfacePtr out(SDL_CreateRGBSurfaceWithFormat(0, width, height, 32, SDL_PIXELFORMAT_ARGB8888));
  if (!out || SDL_SoftStretchLinear(source.surface.get(), nullptr, out.get(), nullptr) != 0)
    return nullptr;
  TexturePtr texture(SDL_CreateTextureFromSurface(renderer_, out.get()));
  if (!texture) return nullptr;
  SDL_SetTextureBlendMode(texture.get(), SDL_BLENDMODE_BLEND);
  auto& entry = scaled_[k];
  entry = {source.owner, std::move(texture), frame_};
  return entry.texture.get();
}

Painter::TextTexture* Painter::textureForText(const std::string& text, const Font& font) {
  if (!fonts_ || text.empty()) return nullptr;
  int pixelSize = std::max(1, int(std::lround(font.pointSize * scale_)));
  auto key = std::make_tuple(text, font.bold, pixelSize);
  auto it = texts_.find(key);
  if (it != texts_.end()) {
    it->second.lastUsed = frame_;
    return &it->second;
  }
  TTF_Font* ttf = fonts_->font(font.bold, pixelSize);
  if (!ttf) return nullptr;
  SurfacePtr surface(TTF_RenderUTF8_Blended(ttf, text.c_str(), SDL_Color{255, 255, 255, 255}));
  if (!surface) return nullptr;
  TexturePtr texture(SDL_CreateTextureFromSurface(renderer_, surface.get()));
  if (!texture) return nullptr;
  SDL_SetTextureBlendMode(texture.get(), SDL_BLENDMODE_BLEND);
  TextTexture entry{std::move(texture), surface->w, surface->h, TTF_FontAscent(ttf), frame_};
  return &texts_.emplace(key, std::move(entry)).first->second;
}

void Painter::drawText(const TextContent& text, const AffineTransform& m, double alpha) {
  if (text.text.empty() || text.rect.width() <= 0 || text.rect.height() <= 0) return;
  TextLayout layout =
      layoutText(text.text, text.font, text.rect.width(), text.numberOfLines, text.lineBreakMode);
  if (layout.lines.empty()) return;
  // Lines that do not fit the height are left out; at least one shows.
  std::size_t shown = std::max<std::size_t>(
      1, std::min(layout.lines.size(),
                  std::size_t((text.rect.height() + 0.5) / std::max(1.0, layout.lineHeight))));
  double total = double(shown) * layout.lineHeight;
  double y = text.rect.y() + (text.verticallyCentered ? (text.rect.height() - total) / 2 : 0);
  double ascender = FontBackend::current().metrics(text.font).ascender;
  double leading =
      (layout.lineHeight - ascender - FontBackend::current().metrics(text.font).descender) / 2;
  Clip saved = clip_;
  pushClip(text.rect, m);
  for (std::size_t i = 0; i < shown; ++i) {
    const TextLine& line = layout.lines[i];
    TextTexture* tex = textureForText(line.text, text.font);
    if (tex) {
      double width = tex->width / scale_;
      double x = text.rect.x();
      if (text.alignment == TextAlignment::Center) x = text.rect.midX() - width / 2;
      if (text.alignment == TextAlignment::Right) x = text.rect.maxX() - width;
      double baseline = y + leading + ascender;
      Rect dest{x, baseline - tex->ascent / scale_, width, tex->height / scale_};
      Color c = text.color;
      drawTexture(tex->texture.get(), {0, 0, tex->width, tex->height}, dest, m, alpha * c.alpha,
                  c.withAlpha(1));
    }
    y += layout.lineHeight;
  }
  popClip(saved);
}

void Painter::drawSpinner(const Rect& bounds, const SpinnerContent& spinner,
                          const AffineTransform& m, double alpha) {
  constexpr int kSpokes = 12;
  double r = std::min(bounds.width(), bounds.height()) / 2;
  if (r <= 0) return;
  int head = spinner.animating ? int(std::fmod(Clock::shared().now() * kSpokes, kSpokes)) : 0;
  Point c = bounds.center();
  for (int i = 0; i < kSpokes; ++i) {
    int age = (head - i + kSpokes) % kSpokes;
    double a = alpha * (spinner.animating ? 1.0 - 0.8 * age / kSpokes : 0.5);
    AffineTransform spoke = AffineTransform::rotation(2 * kPi * i / kSpokes)
                                .concat(AffineTransform::translation(c.x, c.y))
                                .concat(m);
    double w = std::max(1.0, r * 0.18);
    fillShape({-w / 2, -r, w, r * 0.5}, w / 2, spinner.color.withAlpha(spinner.color.alpha * a),
              spoke);
  }
}

void Painter::drawVideo(const Layer& layer, const Rect& bounds, const AffineTransform& m,
                        double alpha) {
  auto frame = layer.videoFrameSource()->currentFrame();
  if (!frame || frame->width <= 0 || frame->height <= 0) return;
  if (frame->planes[0].empty() || frame->planes[1].empty() || frame->planes[2].empty()) return;
  auto& entry = videos_[&layer];
  if (entry.owner.expired() && entry.texture) entry = {};
  if (!entry.texture || entry.width != frame->width || entry.height != frame->height) {
    entry.texture.reset(SDL_CreateTexture(
        renderer_, SDL_PIXELFORMAT_IYUV, SDL_TEXTUREACCESS_STREAMING, frame->width, frame->height));
    entry.width = frame->width;
    entry.height = frame->height;
    entry.serial = ~0ull;
    entry.owner = const_cast<Layer&>(layer).weak_from_this();
    if (!entry.texture) return;
  }
  if (entry.serial != frame->serial) {
    // The decoder's planes go straight into the texture.
    SDL_UpdateYUVTexture(entry.texture.get(), nullptr, frame->planes[0].data(), frame->strides[0],
                         frame->planes[1].data(), frame->strides[1], frame->planes[2].data(),
                         frame->strides[2]);
    entry.serial = frame->serial;
  }
  Rect dest = contentRect(bounds, {double(frame->width), double(frame->height)},
                          contentModeFor(layer.videoGravity()));
  Clip saved = clip_;
  pushClip(bounds, m);
  drawTexture(entry.texture.get(), {0, 0, frame->width, frame->height}, dest, m, alpha);
  popClip(saved);
}

Painter::Clip Painter::pushClip(const Rect& localRect, const AffineTransform& m) {
  Rect p = m.applyToRect(localRect);
  int x1 = int(std::floor(p.minX() + 0.5)), y1 = int(std::floor(p.minY() + 0.5));
  int x2 = int(std::floor(p.maxX() + 0.5)), y2 = int(std::floor(p.maxY() + 0.5));
  if (clip_.active) {
    x1 = std::max(x1, clip_.rect.x);
    y1 = std::max(y1, clip_.rect.y);
    x2 = std::min(x2, clip_.rect.x + clip_.rect.w);
    y2 = std::min(y2, clip_.rect.y + clip_.rect.h);
  }
  clip_.active = true;
  clip_.rect = {x1, y1, std::max(0, x2 - x1), std::max(0, y2 - y1)};
  clip_.empty = clip_.rect.w <= 0 || clip_.rect.h <= 0;
  if (clip_.empty) {
    // Nothing may show; an empty clip rectangle would mean "no clip" to SDL.
    clip_.rect = {-10, -10, 1, 1};
  }
  SDL_RenderSetClipRect(renderer_, &clip_.rect);
  return clip_;
}

void Painter::popClip(const Clip& previous) {
  clip_ = previous;
  SDL_RenderSetClipRect(renderer_, clip_.active ? &clip_.rect : nullptr);
}

void Painter::drawStatusBar() {
  Application& app = Application::sharedApplication();
  double alpha = app.statusBarPresentationAlpha();
  if (alpha <= 0.004) return;
  Rect screen = Screen::mainScreen().bounds();
  InterfaceOrientation o = app.statusBarOrientation();
  Size interfaceSize = isLandscape(o) ? Size{screen.height(), screen.width()} : screen.size;
  double angle = o == InterfaceOrientation::LandscapeRight       ? kPi / 2
                 : o == InterfaceOrientation::LandscapeLeft      ? -kPi / 2
                 : o == InterfaceOrientation::PortraitUpsideDown ? kPi
                                                                 : 0;
  AffineTransform m =
      AffineTransform::translation(-interfaceSize.width / 2, -interfaceSize.height / 2)
          .concat(AffineTransform::rotation(angle))
          .concat(AffineTransform::translation(screen.midX(), screen.midY()));
  m = toPixels(m);
  SDL_SetRenderDrawBlendMode(renderer_, SDL_BLENDMODE_BLEND);
  clip_ = {};
  SDL_RenderSetClipRect(renderer_, nullptr);
  double h = Application::kStatusBarHeight;
  Rect bar{0, 0, interfaceSize.width, h};
  StatusBarStyle style = app.statusBarStyle();
  Color ink = style == StatusBarStyle::Default ? Color::black() : Color::whiteColor();
  if (style == StatusBarStyle::BlackOpaque) fillShape(bar, 0, Color::black().withAlpha(alpha), m);

  std::time_t t = std::time_t(Clock::shared().wallNow());
  std::tm local{};
  localtime_r(&t, &local);
  char clock[16];
  std::strftime(clock, sizeof clock, "%H:%M", &local);
  TextContent time;
  time.text = clock;
  time.font = Font::boldSystemFontOfSize(12);
  time.color = ink;
  time.alignment = TextAlignment::Center;
  time.rect = bar;
  drawText(time, m, alpha);

  TextContent carrier;
  carrier.text = "Lorvane";
  carrier.font = Font::systemFontOfSize(12);
  carrier.color = ink;
  carrier.rect = {6, 0, 80, h};
  drawText(carrier, m, alpha);
  if (app.isNetworkActivityIndicatorVisible()) {
    double x = 6 + measureTextWidth(carrier.text, carrier.font) + 6;
    drawSpinner({x, 4, 12, 12}, SpinnerContent{ink, true}, m, alpha);
  }
  // The battery: an outline with its charge and a tip.
  Rect battery{interfaceSize.width - 6 - 25, 6, 22, 9};
  strokeShape(battery, 2, 1, ink.withAlpha(alpha), m);
  fillShape(battery.insetBy(2, 2), 0.5, ink.withAlpha(alpha), m);
  fillShape({battery.maxX() + 0.5, battery.midY() - 2, 1.5, 4}, 0, ink.withAlpha(alpha), m);
}

void Painter::endFrame() {
  ++frame_;
  std::erase_if(images_, [](const auto& e) { return e.second.owner.expired(); });
  std::erase_if(scaled_, [this](const auto& e) {
    return e.second.owner.expired() || frame_ - e.second.lastUsed > 180;
  });
  std::erase_if(videos_, [](const auto& e) { return e.second.owner.expired(); });
  // Texts not drawn for a few seconds go; a long list scrolls through many.
  std::erase_if(texts_, [this](const auto& e) { return frame_ - e.second.lastUsed > 180; });
}

}  // namespace lorvane
