#pragma once

#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <unordered_map>

#include "platform/render/sdl_handles.h"
#include "platform/ui/font.h"

namespace lorvane {

// A font file and the face inside it (CJK collections hold several).
struct FontFace {
  std::string file;
  int index = 0;
};

// Finds the CJK-capable system font through fontconfig ("Noto Sans CJK SC",
// regular and bold) and opens it with SDL_ttf at any pixel size. Also the
// UI layer's measuring backend, so layout and drawing agree.
class FontProvider : public FontBackend {
 public:
  // Nothing when no usable font is found.
  static std::shared_ptr<FontProvider> create();
  // A fixed pair of faces (tests pin their font this way).
  static std::shared_ptr<FontProvider> createWithFaces(FontFace regular, FontFace bold);
  // Needs fontconfig initialised (create() does that around its look-ups).
  static std::optional<FontFace> findFace(const std::string& pattern);

  // The font for drawing at a pixel size; owned by the provider.
  TTF_Font* font(bool bold, int pixelSize);
  const FontFace& face(bool bold) const { return bold ? bold_ : regular_; }

  double advance(const Font& font, char32_t codePoint) override;
  FontMetrics metrics(const Font& font) override;

  // Points are measured at this many pixels per point, whatever the
  // screen scale, so layout does not depend on the display.
  static constexpr double kMeasureScale = 2;

 private:
  FontProvider(FontFace regular, FontFace bold)
      : regular_(std::move(regular)), bold_(std::move(bold)) {}
  TTF_Font* fontLocked(bool bold, int pixelSize);

  FontFace regular_;
  FontFace bold_;
  std::mutex mutex_;
  std::map<std::pair<bool, int>, FontPtr> fonts_;
  struct AdvanceKey {
    bool bold;
    int size;
    char32_t cp;
    bool operator==(const AdvanceKey&) const = default;
  };
  struct AdvanceHash {
    std::size_t operator()(const AdvanceKey& k) const {
      return std::hash<std::uint64_t>()((std::uint64_t(k.cp) << 17) ^ (std::uint64_t(k.size) << 1) ^
                                        k.bold);
    }
  };
  std::unordered_map<AdvanceKey, double, AdvanceHash> advances_;
  std::map<std::pair<bool, int>, FontMetrics> metrics_;
};

}  // namespace lorvane
