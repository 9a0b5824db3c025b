#pragma once

#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "platform/ui/geometry.h"

namespace lorvane {

// Decoded pixels, 8-bit RGBA, rows packed, not premultiplied.
struct PixelBuffer {
  int width = 0;
  int height = 0;
  std::vector<std::uint8_t> rgba;
};

class Image;
using ImagePtr = std::shared_ptr<const Image>;

// A picture: encoded bytes (PNG/JPEG) decoded on demand, or pixels drawn in
// memory. The size in points is the pixel size divided by the scale.
class Image : public std::enable_shared_from_this<Image> {
 public:
  // Turns PNG/JPEG bytes into pixels; installed by the render layer so this
  // layer stays free of any graphics library.
  using Decoder = std::function<std::optional<PixelBuffer>(const std::vector<std::uint8_t>&)>;
  static void setDecoder(Decoder decoder);
  static bool hasDecoder();

  // Named pictures of the app's resources: NAME@2x.png on a scale-2 screen,
  // then NAME.png, NAME.jpg. Cached; nothing for an unknown or empty name.
  static ImagePtr imageNamed(const std::string& name);
  static void setResourcesFolder(std::filesystem::path folder);
  static std::filesystem::path resourcesFolder();
  static void clearCache();

  // Nothing when the file is missing or not a picture we can read.
  static ImagePtr imageWithContentsOfFile(const std::filesystem::path& path);
  static ImagePtr imageWithData(std::vector<std::uint8_t> bytes, double scale = 1);
  static ImagePtr imageWithPixels(PixelBuffer pixels, double scale = 1);

  // A copy that stretches only its middle when drawn larger.
  ImagePtr resizableImageWithCapInsets(EdgeInsets capInsets) const;
  ImagePtr stretchableImage(int leftCapWidth, int topCapHeight) const;

  Size size() const;
  double scale() const { return scale_; }
  int pixelWidth() const { return pixelWidth_; }
  int pixelHeight() const { return pixelHeight_; }
  const EdgeInsets& capInsets() const { return capInsets_; }
  bool isResizable() const { return !capInsets_.isZero(); }
  const std::string& name() const { return name_; }
  const std::vector<std::uint8_t>& encodedData() const;
  // Decodes on first use; nothing when there is no decoder or the bytes are bad.
  const PixelBuffer* pixels() const;
  // Identity of the underlying picture, shared by resizable copies; texture
  // caches hold it weakly to notice when the picture is gone.
  const void* contentKey() const { return content_.get(); }
  std::weak_ptr<const void> contentHandle() const { return content_; }

  Image() = default;

 private:
  struct Content {
    std::vector<std::uint8_t> encoded;
    mutable std::optional<PixelBuffer> decoded;
    mutable bool decodeTried = false;
    mutable std::mutex decodeMutex;
  };
  std::shared_ptr<Content> content_;
  int pixelWidth_ = 0;
  int pixelHeight_ = 0;
  double scale_ = 1;
  EdgeInsets capInsets_;
  std::string name_;
};

// Reads the pixel size from a PNG or JPEG header without decoding.
std::optional<std::pair<int, int>> imagePixelSize(const std::vector<std::uint8_t>& bytes);

}  // namespace lorvane
