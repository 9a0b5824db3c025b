#pragma once

#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "platform/ui/geometry.h"

namespace lorvane {

struct Font {
  double pointSize = 17;
  bool bold = false;

  static Font systemFontOfSize(double size) { return {size, false}; }
  static Font boldSystemFontOfSize(double size) { return {size, true}; }
  Font withSize(double size) const { return {size, bold}; }
  bool operator==(const Font&) const = default;

  double lineHeight() const;
  double ascender() const;
};

struct FontMetrics {
  double ascender = 0;   // points above the baseline
  double descender = 0;  // points below it (positive)
  double lineHeight = 0;
};

// Where glyph measurements come from. The render layer installs one backed
// by the real font; without one a fixed metric keeps layout deterministic.
class FontBackend {
 public:
  virtual ~FontBackend() = default;
  // Horizontal advance of one code point, in points.
  virtual double advance(const Font& font, char32_t codePoint) = 0;
  virtual FontMetrics metrics(const Font& font) = 0;

  static FontBackend& current();
  // Nothing puts the fixed metric back.
  static void install(std::shared_ptr<FontBackend> backend);
};

// Half the size for narrow characters, the full size for wide (CJK) ones;
// line height 1.2 times the size.
class FixedFontBackend : public FontBackend {
 public:
  double advance(const Font& font, char32_t codePoint) override;
  FontMetrics metrics(const Font& font) override;
};

// The platform's values.
enum class LineBreakMode {
  WordWrap = 0,
  CharacterWrap = 1,
  Clip = 2,
  TruncateHead = 3,
  TruncateTail = 4,
  TruncateMiddle = 5
};

enum class TextAlignment { Left = 0, Center = 1, Right = 2 };

struct TextLine {
  std::string text;
  double width = 0;
  // The bytes of the laid-out text this line shows, [sourceBegin,
  // sourceEnd), spaces dropped at a wrap included.
  std::size_t sourceBegin = 0;
  std::size_t sourceEnd = 0;
};

struct TextLayout {
  std::vector<TextLine> lines;
  double lineHeight = 0;
  Size size() const;  // widest line by the lines' total height
};

// Breaks text into lines no wider than maxWidth (0 or less: no limit).
// numberOfLines 0 means as many as needed; the last allowed line is cut
// or truncated with an ellipsis as the mode says.
TextLayout layoutText(std::string_view text, const Font& font, double maxWidth, int numberOfLines,
                      LineBreakMode mode);

// How far into `line` (of a layout of `text`) a caret at byte `offset`
// of `text` stands, in points; offsets outside the line are clamped to it.
double caretPositionInLine(std::string_view text, const TextLine& line, std::size_t offset,
                           const Font& font);

// Width of one line of text.
double measureTextWidth(std::string_view text, const Font& font);
// The size text needs on one line.
Size sizeWithFont(std::string_view text, const Font& font);
// The size text needs within a width, on as many lines as it takes.
Size sizeWithFont(std::string_view text, const Font& font, double constrainedWidth,
                  LineBreakMode mode = LineBreakMode::WordWrap);

std::vector<char32_t> decodeUtf8(std::string_view text);
std::string encodeUtf8(const std::vector<char32_t>& codePoints, std::size_t from = 0,
                       std::size_t to = std::string::npos);
bool isWideCodePoint(char32_t c);

}  // namespace lorvane
