#pragma once

#include <SDL2/SDL.h>

#include <list>
#include <map>
#include <memory>
#include <string>
#include <unordered_map>

#include "platform/render/font_provider.h"
#include "platform/render/sdl_handles.h"
#include "platform/ui/layer.h"
#include "platform/ui/view.h"

namespace lorvane {

// Draws view trees and layers onto an SDL renderer: fills with rounded
// corners, borders, shadows, pictures under content modes and caps, text,
// spinners and video frames, with alpha, clipping and transforms.
class Painter {
 public:
  Painter(SDL_Renderer* renderer, std::shared_ptr<FontProvider> fonts);
  ~Painter();
  Painter(const Painter&) = delete;
  Painter& operator=(const Painter&) = delete;

  // Pixels per point of the target.
  void setScale(double scale) { scale_ = scale; }
  double scale() const { return scale_; }
  // Where window points land on the target, in points: the identity for a
  // target shaped like the window, a quarter turn for a window turned on
  // its side. Applies to everything drawn, the status bar included.
  void setScreenTransform(const AffineTransform& transform) { screen_ = transform; }
  const AffineTransform& screenTransform() const { return screen_; }

  // Draws a view with its subviews; `toTarget` maps the view's superview
  // coordinates (window points) to target pixels before the scale.
  void drawView(const View& view, const AffineTransform& toTarget = {});
  // Draws a free-standing layer (or a view's layer: the view) at the origin.
  void drawLayer(const Layer& layer);
  // The status bar along the interface's top edge.
  void drawStatusBar();

  // Releases cached textures whose pictures are gone.
  void endFrame();
  std::size_t cachedTextureCount() const { return images_.size() + texts_.size(); }

 private:
  struct Clip {
    bool active = false;
    bool empty = false;
    SDL_Rect rect{};
  };
  struct ImageTexture {
    std::weak_ptr<const void> owner;
    TexturePtr texture;
    SurfacePtr surface;  // kept to make scaled copies from
    int width = 0, height = 0;
    bool opaque = false;
  };
  // A picture scaled once to the size it is drawn at, so steady frames
  // copy pixels instead of stretching them.
  struct ScaledTexture {
    std::weak_ptr<const void> owner;
    TexturePtr texture;
    std::uint64_t lastUsed = 0;
  };
  struct TextTexture {
    TexturePtr texture;
    int width = 0, height = 0, ascent = 0;
    std::uint64_t lastUsed = 0;
  };
  struct VideoTexture {
    std::weak_ptr<const Layer> owner;
    TexturePtr texture;
    int width = 0, height = 0;
    std::uint64_t serial = ~0ull;
  };

  void drawViewTree(const View& view, const AffineTransform& parent, double alpha);
  void drawLayerContent(const Layer& layer, const Rect& bounds, Color background,
                        const AffineTransform& m, double alpha);
  void drawSublayer(const Layer& layer, const AffineTransform& parent, double alpha);
  void fillShape(const Rect& r, double radius, Color color, const AffineTransform& m);
  void strokeShape(const Rect& r, double radius, double width, Color color,
                   const AffineTransform& m);
  void drawTexture(SDL_Texture* texture, const SDL_Rect& source, const Rect& dest,
                   const AffineTransform& m, double alpha, Color multiply = Color::whiteColor());
  void drawImage(const Image& image, const Rect& dest, ContentMode mode, const AffineTransform& m,
                 double alpha, Color multiply);
  void drawText(const TextContent& text, const AffineTransform& m, double alpha);
  void drawSpinner(const Rect& bounds, const SpinnerContent& spinner, const AffineTransform& m,
                   double alpha);
  void drawVideo(const Layer& layer, const Rect& bounds, const AffineTransform& m, double alpha);
  ImageTexture* textureFor(const Image& image);
  TextTexture* textureForText(const std::string& text, const Font& font);
  Clip pushClip(const Rect& localRect, const AffineTransform& m);
  void popClip(const Clip& previous);
  AffineTransform toPixels(const AffineTransform& m) const;

  SDL_Renderer* renderer_;
  std::shared_ptr<FontProvider> fonts_;
  double scale_ = 2;
  AffineTransform screen_;
  Clip clip_;
  std::uint64_t frame_ = 0;
  SDL_Texture* scaledTexture(ImageTexture& source, const void* key, int width, int height);
  std::unordered_map<const void*, ImageTexture> images_;
  std::map<std::tuple<const void*, int, int>, ScaledTexture> scaled_;
  std::map<std::tuple<std::string, bool, int>, TextTexture> texts_;
  std::unordered_map<const Layer*, VideoTexture> videos_;
};

// Where a view's own content space sits in its superview's.
AffineTransform viewTransform(const View& view, bool presentation);

}  // namespace lorvane
