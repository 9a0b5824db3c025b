#include "platform/render/font_provider.h"

#include <fontconfig/fontconfig.h>

#include <cmath>

#include "platform/foundation/log.h"

namespace lorvane {

namespace {

bool ensureTtf() {
  static bool ok = TTF_Init() == 0;
  return ok;
}

int pixelSizeFor(const Font& font) {
  return std::max(1, int(std::lround(font.pointSize * FontProvider::kMeasureScale)));
}

}  // namespace

std::optional<FontFace> FontProvider::findFace(const std::string& pattern) {
  FcPattern* pat = FcNameParse(reinterpret_cast<const FcChar8*>(pattern.c_str()));
  if (!pat) return std::nullopt;
  FcConfigSubstitute(nullptr, pat, FcMatchPattern);
  FcDefaultSubstitute(pat);
  FcResult result = FcResultNoMatch;
  FcPattern* match = FcFontMatch(nullptr, pat, &result);
  FcPatternDestroy(pat);
  if (!match) return std::nullopt;
  std::optional<FontFace> face;
  FcChar8* file = nullptr;
  int index = 0;
  if (FcPatternGetString(match, FC_FILE, 0, &file) == FcResultMatch && file) {
    FcPatternGetInteger(match, FC_INDEX, 0, &index);
    face = FontFace{reinterpret_cast<const char*>(file), index};
  }
  FcPatternDestroy(match);
  return face;
}

std::shared_ptr<FontProvider> FontProvider::create() {
  if (!FcInit()) return nullptr;
  auto regular = findFace("Noto Sans CJK SC:style=Regular");
  auto bold = findFace("Noto Sans CJK SC:style=Bold");
  // Only the file names are needed from here on; fontconfig's
  // configuration would otherwise stay in memory for the whole run.
  FcFini();
  if (!regular) {
    Log("fonts: no CJK font found through fontconfig");
    return nullptr;
  }
  return createWithFaces(*regular, bold.value_or(*regular));
}

std::shared_ptr<FontProvider> FontProvider::createWithFaces(FontFace regular, FontFace bold) {
  if (!ensureTtf()) return nullptr;
  std::shared_ptr<FontProvider> provider(new FontProvider(std::move(regular), std::move(bold)));
  std::lock_guard lock(provider->mutex_);
  if (!provider->fontLocked(false, 20)) return nullptr;
  return provider;
}

TTF_Font* FontProvider::font(bool bold, int pixelSize) {
  std::lock_guard lock(mutex_);
  return fontLocked(bold, pixelSize);
}

TTF_Font* FontProvider::fontLocked(bool bold, int pixelSize) {
  auto key = std::make_pair(bold, pixelSize);
  auto it = fonts_.find(key);
  if (it != fonts_.end()) return it->second.get();
  const FontFace& f = bold ? bold_ : regular_;
  TTF_Font* font = TTF_OpenFontIndex(f.file.c_str(), pixelSize, f.index);
  if (!font) {
    Log(std::string("fonts: cannot open ") + f.file + ": " + TTF_GetError());
    return nullptr;
  }
  // Layout adds up glyph advances, so drawing must not kern either.
  TTF_SetFontKerning(font, 0);
  TTF_SetFontHinting(font, TTF_HINTING_LIGHT);
  fonts_.emplace(key, FontPtr(font));
  return font;
}

double FontProvider::advance(const Font& f, char32_t cp) {
  if (cp == U'\n') return 0;
  int px = pixelSizeFor(f);
  std::lock_guard lock(mutex_);
  AdvanceKey key{f.bold, px, cp};
  auto it = advances_.find(key);
  if (it != advances_.end()) return it->second;
  double result = f.pointSize * 0.5;
  if (TTF_Font* font = fontLocked(f.bold, px)) {
    int minx, maxx, miny, maxy, adv = 0;
    if (TTF_GlyphMetrics32(font, Uint32(cp), &minx, &maxx, &miny, &maxy, &adv) == 0) {
      result = adv / kMeasureScale;
    } else if (cp >= 0x2E80) {
      result = f.pointSize;
    }
  }
  advances_.emplace(key, result);
  return result;
}

FontMetrics FontProvider::metrics(const Font& f) {
  int px = pixelSizeFor(f);
  std::lock_guard lock(mutex_);
  auto key = std::make_pair(f.bold, px);
  auto it = metrics_.find(key);
  if (it != metrics_.end()) return it->second;
  FontMetrics m{f.pointSize * 0.95, f.pointSize * 0.25, std::ceil(f.pointSize * 1.2)};
  if (TTF_Font* font = fontLocked(f.bold, px)) {
    // The CJK face's own line gap is very tall; a line of 1.2 em reads
    // like the platform's system font.
    double ascent = TTF_FontAscent(font) / kMeasureScale;
    double descent = -TTF_FontDescent(font) / kMeasureScale;
    double natural = ascent + descent;
    double line = std::ceil(f.pointSize * 1.2);
    double shrink = natural > 0 ? std::min(1.0, line / natural) : 1;
    m = {ascent * shrink, descent * shrink, line};
  }
  metrics_.emplace(key, m);
  return m;
}

}  // namespace lorvane
