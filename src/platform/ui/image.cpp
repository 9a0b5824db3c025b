#include "platform/ui/image.h"

#include <cstdlib>
#include <fstream>
#include <iterator>
#include <map>
#include <mutex>

#include "platform/ui/screen.h"

namespace lorvane {

namespace {

struct ImageRegistry {
  std::mutex mutex;
  Image::Decoder decoder;
  std::optional<std::filesystem::path> folder;
  std::map<std::string, ImagePtr> named;
};

ImageRegistry& registry() {
  static ImageRegistry r;
  return r;
}

std::filesystem::path defaultResourcesFolder() {
  if (const char* env = std::getenv("LORVANE_RESOURCES"); env && *env) return env;
#ifdef LORVANE_DEFAULT_RESOURCES
  return LORVANE_DEFAULT_RESOURCES;
#else
  return "resources";
#endif
}

std::optional<std::vector<std::uint8_t>> readFile(const std::filesystem::path& path) {
  std::error_code ec;
  if (!std::filesystem::is_regular_file(path, ec)) return std::nullopt;
  std::ifstream in(path, std::ios::binary);
  if (!in) return std::nullopt;
  return std::vector<std::uint8_t>(std::istreambuf_iterator<char>(in), {});
}

std::uint32_t be32(const std::uint8_t* p) {
  return (std::uint32_t(p[0]) << 24) | (std::uint32_t(p[1]) << 16) | (std::uint32_t(p[2]) << 8) |
         p[3];
}

}  // namespace

std::optional<std::pair<int, int>> imagePixelSize(const std::vector<std::uint8_t>& b) {
  static const std::uint8_t kPng[8] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1a, '\n'};
  if (b.size() >= 24 && std::equal(kPng, kPng + 8, b.begin()) && b[12] == 'I' && b[13] == 'H' &&
      b[14] == 'D' && b[15] == 'R') {
    auto w = be32(&b[16]);
    auto h = be32(&b[20]);
    if (w == 0 || h == 0 || w > 65535 || h > 65535) return std::nullopt;
    return std::pair<int, int>(int(w), int(h));
  }
  if (b.size() >= 4 && b[0] == 0xFF && b[1] == 0xD8) {
    // Walk the JPEG markers to the first start-of-frame.
    std::size_t i = 2;
    while (i + 4 <= b.size()) {
      if (b[i] != 0xFF) return std::nullopt;
      std::uint8_t marker = b[i + 1];
      if (marker == 0xFF) {
        ++i;
        continue;
      }
      if (marker == 0xD8 || (marker >= 0xD0 && marker <= 0xD7) || marker == 0x01) {
        i += 2;
        continue;
      }
      std::size_t len = (std::size_t(b[i + 2]) << 8) | b[i + 3];
      if (len < 2) return std::nullopt;
      bool sof =
          marker >= 0xC0 && marker <= 0xCF && marker != 0xC4 && marker != 0xC8 && marker != 0xCC;
      if (sof) {
        if (i + 9 > b.size()) return std::nullopt;
        int h = (b[i + 5] << 8) | b[i + 6];
        int w = (b[i + 7] << 8) | b[i + 8];
        if (w == 0 || h == 0) return std::nullopt;
        return std::pair<int, int>(w, h);
      }
      i += 2 + len;
    }
  }
  return std::nullopt;
}

void Image::setDecoder(Decoder decoder) {
  std::lock_guard lock(registry().mutex);
  registry().decoder = std::move(decoder);
}

bool Image::hasDecoder() {
  std::lock_guard lock(registry().mutex);
  return bool(registry().decoder);
}

void Image::setResourcesFolder(std::filesystem::path folder) {
  std::lock_guard lock(registry().mutex);
  registry().folder = std::move(folder);
  registry().named.clear();
}

std::filesystem::path Image::resourcesFolder() {
  std::lock_guard lock(registry().mutex);
  if (!registry().folder) registry().folder = defaultResourcesFolder();
  return *registry().folder;
}

void Image::clearCache() {
  std::lock_guard lock(registry().mutex);
  registry().named.clear();
}

ImagePtr Image::imageNamed(const std::string& name) {
  if (name.empty()) return nullptr;
  {
    std::lock_guard lock(registry().mutex);
    auto it = registry().named.find(name);
    if (it != registry().named.end()) return it->second;
  }
  const auto folder = resourcesFolder();
  struct Candidate {
    std::string file;
    double scale;
  };
  std::vector<Candidate> candidates;
  if (Screen::mainScreen().scale() >= 2) candidates.push_back({name + "@2x.png", 2});
  candidates.push_back({name + ".png", 1});
  candidates.push_back({name + "@2x.jpg", 2});
  candidates.push_back({name + ".jpg", 1});
  for (const auto& c : candidates) {
    auto bytes = readFile(folder / c.file);
    if (!bytes) continue;
    auto image = imageWithData(std::move(*bytes), c.scale);
    if (!image) continue;
    auto named = std::const_pointer_cast<Image>(image);
    named->name_ = name;
    std::lock_guard lock(registry().mutex);
    registry().named[name] = named;
    return named;
  }
  return nullptr;
}

ImagePtr Image::imageWithContentsOfFile(const std::filesystem::path& path) {
  auto bytes = readFile(path);
  if (!bytes) return nullptr;
  double scale = path.stem().string().ends_with("@2x") ? 2 : 1;
  return imageWithData(std::move(*bytes), scale);
}

ImagePtr Image::imageWithData(std::vector<std::uint8_t> bytes, double scale) {
  auto size = imagePixelSize(bytes);
  if (!size) return nullptr;
  auto image = std::make_shared<Image>();
  image->content_ = std::make_shared<Content>();
  image->content_->encoded = std::move(bytes);
  image->pixelWidth_ = size->first;
  image->pixelHeight_ = size->second;
  image->scale_ = scale > 0 ? scale : 1;
  return image;
}

ImagePtr Image::imageWithPixels(PixelBuffer pixels, double scale) {
  if (pixels.width <= 0 || pixels.height <= 0 ||
      pixels.rgba.size() != std::size_t(pixels.width) * pixels.height * 4) {
    return nullptr;
  }
  auto image = std::make_shared<Image>();
  image->content_ = std::make_shared<Content>();
  image->pixelWidth_ = pixels.width;
  image->pixelHeight_ = pixels.height;
  image->content_->decoded = std::move(pixels);
  image->content_->decodeTried = true;
  image->scale_ = scale > 0 ? scale : 1;
  return image;
}

ImagePtr Image::resizableImageWithCapInsets(EdgeInsets capInsets) const {
  auto copy = std::make_shared<Image>(*this);
  copy->capInsets_ = capInsets;
  return copy;
}

ImagePtr Image::stretchableImage(int leftCapWidth, int topCapHeight) const {
  // The platform stretches one point after each cap.
  Size s = size();
  EdgeInsets caps;
  if (leftCapWidth > 0) {
    caps.left = leftCapWidth;
    caps.right = std::max(0.0, s.width - leftCapWidth - 1);
  }
  if (topCapHeight > 0) {
    caps.top = topCapHeight;
    caps.bottom = std::max(0.0, s.height - topCapHeight - 1);
  }
  return resizableImageWithCapInsets(caps);
}

Size Image::size() const {
  return {pixelWidth_ / scale_, pixelHeight_ / scale_};
}

const std::vector<std::uint8_t>& Image::encodedData() const {
  static const std::vector<std::uint8_t> none;
  return content_ ? content_->encoded : none;
}

const PixelBuffer* Image::pixels() const {
  if (!content_) return nullptr;
  std::lock_guard decodeLock(content_->decodeMutex);
  if (!content_->decodeTried) {
    Decoder decoder;
    {
      std::lock_guard lock(registry().mutex);
      decoder = registry().decoder;
    }
    if (!decoder) return nullptr;
    content_->decodeTried = true;
    content_->decoded = decoder(content_->encoded);
  }
  return content_->decoded ? &*content_->decoded : nullptr;
}

}  // namespace lorvane
