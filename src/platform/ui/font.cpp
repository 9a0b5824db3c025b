#include "platform/ui/font.h"

#include <algorithm>
#include <cmath>
#include <mutex>

namespace lorvane {

namespace {

std::mutex backendMutex;

std::shared_ptr<FontBackend>& installedBackend() {
  static std::shared_ptr<FontBackend> backend = std::make_shared<FixedFontBackend>();
  return backend;
}

constexpr char32_t kEllipsis = U'\u2026';

bool isBreakableSpace(char32_t c) {
  return c == U' ' || c == U'\t';
}

// Closing marks that must not begin a line (Chinese typesetting).
bool mustNotStartLine(char32_t c) {
  static constexpr char32_t kClosing[] =
      U"\uFF0C\u3002\u3001\uFF01\uFF1F\uFF1B\uFF1A\uFF09\u300B\u300D\u300F\u3011\u201D\u2019,.!?;:"
      U")";
  for (char32_t k : kClosing) {
    if (k && k == c) return true;
  }
  return false;
}

struct Measurer {
  const Font& font;
  FontBackend& backend;
  double width(const std::vector<char32_t>& cps, std::size_t from, std::size_t to) const {
    double w = 0;
    for (std::size_t i = from; i < to; ++i) w += backend.advance(font, cps[i]);
    return w;
  }
};

// Index one past the last code point of a line starting at `from` that fits.
std::size_t fitLine(const std::vector<char32_t>& cps, std::size_t from, std::size_t end,
                    double maxWidth, bool wordWrap, const Measurer& m) {
  if (maxWidth <= 0) return end;
  double w = 0;
  std::size_t i = from;
  while (i < end) {
    double a = m.backend.advance(m.font, cps[i]);
    if (w + a > maxWidth + 1e-9 && i > from) break;
    w += a;
    ++i;
  }
  if (i >= end || !wordWrap) return i;
  // Step back to the last break opportunity: after a space or around a wide
  // character; a single word wider than the line is cut by characters.
  for (std::size_t j = i; j > from; --j) {
    char32_t before = cps[j - 1];
    char32_t after = cps[j];
    if (mustNotStartLine(after)) continue;
    if (isBreakableSpace(before) || isBreakableSpace(after) || isWideCodePoint(before) ||
        isWideCodePoint(after)) {
      return j;
    }
  }
  return i;
}

std::size_t skipSpaces(const std::vector<char32_t>& cps, std::size_t i, std::size_t end) {
  while (i < end && isBreakableSpace(cps[i])) ++i;
  return i;
}

std::vector<char32_t> trimmedRight(std::vector<char32_t> v) {
  while (!v.empty() && isBreakableSpace(v.back())) v.pop_back();
  return v;
}

// Shortens a line to fit, replacing the cut part with an ellipsis.
std::vector<char32_t> truncate(const std::vector<char32_t>& line, double maxWidth,
                               LineBreakMode mode, const Measurer& m) {
  if (maxWidth <= 0 || m.width(line, 0, line.size()) <= maxWidth + 1e-9) return line;
  double budget = maxWidth - m.backend.advance(m.font, kEllipsis);
  std::vector<char32_t> out;
  if (budget <= 0) return {kEllipsis};
  if (mode == LineBreakMode::TruncateHead) {
    double w = 0;
    std::size_t i = line.size();
    while (i > 0 && w + m.backend.advance(m.font, line[i - 1]) <= budget)
      w += m.backend.advance(m.font, line[--i]);
    out.push_back(kEllipsis);
    out.insert(out.end(), line.begin() + long(i), line.end());
  } else if (mode == LineBreakMode::TruncateMiddle) {
    std::size_t head = 0, tail = line.size();
    double w = 0;
    bool takeHead = true;
    for (;;) {
      if (head >= tail) break;
      std::size_t idx = takeHead ? head : tail - 1;
      double a = m.backend.advance(m.font, line[idx]);
      if (w + a > budget) break;
      w += a;
      if (takeHead)
        ++head;
      else
        --tail;
      takeHead = !takeHead;
    }
    out.assign(line.begin(), line.begin() + long(head));
    out.push_back(kEllipsis);
    out.insert(out.end(), line.begin() + long(tail), line.end());
  } else {
    double w = 0;
    std::size_t i = 0;
    while (i < line.size() && w + m.backend.advance(m.font, line[i]) <= budget)
      w += m.backend.advance(m.font, line[i++]);
    out.assign(line.begin(), line.begin() + long(i));
    out = trimmedRight(std::move(out));
    out.push_back(kEllipsis);
  }
  return out;
}

}  // namespace

FontBackend& FontBackend::current() {
  std::lock_guard lock(backendMutex);
  return *installedBackend();
}

void FontBackend::install(std::shared_ptr<FontBackend> backend) {
  std::lock_guard lock(backendMutex);
  installedBackend() = backend ? std::move(backend) : std::make_shared<FixedFontBackend>();
}

bool isWideCodePoint(char32_t c) {
  return (c >= 0x1100 && c <= 0x115F) || (c >= 0x2E80 && c <= 0xA4CF) ||
         (c >= 0xAC00 && c <= 0xD7A3) || (c >= 0xF900 && c <= 0xFAFF) ||
         (c >= 0xFE30 && c <= 0xFE4F) || (c >= 0xFF00 && c <= 0xFF60) ||
         (c >= 0xFFE0 && c <= 0xFFE6) || (c >= 0x20000 && c <= 0x3FFFD);
}

double FixedFontBackend::advance(const Font& font, char32_t c) {
  if (c == U'\n') return 0;
  return isWideCodePoint(c) ? font.pointSize : font.pointSize * 0.5;
}

FontMetrics FixedFontBackend::metrics(const Font& font) {
  return {font.pointSize * 0.95, font.pointSize * 0.25, std::ceil(font.pointSize * 1.2)};
}

double Font::lineHeight() const {
  return FontBackend::current().metrics(*this).lineHeight;
}
double Font::ascender() const {
  return FontBackend::current().metrics(*this).ascender;
}

namespace {

// Code points with the byte offset each starts at, and the text's size
// after the last.
struct DecodedText {
  std::vector<char32_t> codePoints;
  std::vector<std::size_t> offsets;
  std::size_t sourceOffset(std::size_t index) const {
    return index < offsets.size() ? offsets[index] : end;
  }
  std::size_t end = 0;
};

DecodedText decodeWithOffsets(std::string_view s) {
  DecodedText out;
  out.codePoints.reserve(s.size());
  out.offsets.reserve(s.size());
  out.end = s.size();
  std::size_t i = 0;
  while (i < s.size()) {
    out.offsets.push_back(i);
    unsigned char c = static_cast<unsigned char>(s[i]);
    int extra = c < 0x80 ? 0 : (c >> 5) == 6 ? 1 : (c >> 4) == 14 ? 2 : (c >> 3) == 30 ? 3 : -1;
    if (extra < 0 || i + std::size_t(extra) >= s.size()) {
      out.codePoints.push_back(U'\uFFFD');  // a stray byte shows as a replacement, not a crash
      ++i;
      continue;
    }
    char32_t cp = extra == 0 ? c : c & (0x3F >> extra);
    bool ok = true;
    for (int k = 1; k <= extra; ++k) {
      unsigned char cc = static_cast<unsigned char>(s[i + std::size_t(k)]);
      if ((cc & 0xC0) != 0x80) {
        ok = false;
        break;
      }
      cp = (cp << 6) | (cc & 0x3F);
    }
    if (!ok) {
      out.codePoints.push_back(U'\uFFFD');
      ++i;
      continue;
    }
    out.codePoints.push_back(cp);
    i += std::size_t(extra) + 1;
  }
  return out;
}

}  // namespace

std::vector<char32_t> decodeUtf8(std::string_view s) {
  return decodeWithOffsets(s).codePoints;
}

std::string encodeUtf8(const std::vector<char32_t>& cps, std::size_t from, std::size_t to) {
  std::string out;
  to = std::min(to, cps.size());
  for (std::size_t i = from; i < to; ++i) {
    char32_t c = cps[i];
    if (c < 0x80) {
      out += char(c);
    } else if (c < 0x800) {
      out += char(0xC0 | (c >> 6));
      out += char(0x80 | (c & 0x3F));
    } else if (c < 0x10000) {
      out += char(0xE0 | (c >> 12));
      out += char(0x80 | ((c >> 6) & 0x3F));
      out += char(0x80 | (c & 0x3F));
    } else {
      out += char(0xF0 | (c >> 18));
      out += char(0x80 | ((c >> 12) & 0x3F));
      out += char(0x80 | ((c >> 6) & 0x3F));
      out += char(0x80 | (c & 0x3F));
    }
  }
  return out;
}

namespace {

// Fonts have no picture for control characters: a tab becomes four spaces,
// a carriage return (alone or before a line feed) one line break, and the
// rest are dropped, so that neither measuring nor drawing meets them.
DecodedText withoutControlCharacters(const DecodedText& in) {
  DecodedText out;
  const auto& cps = in.codePoints;
  out.codePoints.reserve(cps.size());
  out.offsets.reserve(cps.size());
  out.end = in.end;
  auto keep = [&](char32_t c, std::size_t i) {
    out.codePoints.push_back(c);
    out.offsets.push_back(in.offsets[i]);
  };
  for (std::size_t i = 0; i < cps.size(); ++i) {
    char32_t c = cps[i];
    if (c == U'\t') {
      for (int k = 0; k < 4; ++k) keep(U' ', i);
    } else if (c == U'\r') {
      if (i + 1 == cps.size() || cps[i + 1] != U'\n') keep(U'\n', i);
    } else if (c == U'\n' || c >= 0x20) {
      keep(c, i);
    }
  }
  return out;
}

}  // namespace

Size TextLayout::size() const {
  double w = 0;
  for (const auto& l : lines) w = std::max(w, l.width);
  return {std::ceil(w), lineHeight * double(lines.size())};
}

TextLayout layoutText(std::string_view text, const Font& font, double maxWidth, int numberOfLines,
                      LineBreakMode mode) {
  FontBackend& backend = FontBackend::current();
  Measurer m{font, backend};
  TextLayout layout;
  layout.lineHeight = backend.metrics(font).lineHeight;
  if (text.empty()) return layout;
  const DecodedText shown = withoutControlCharacters(decodeWithOffsets(text));
  const auto& cps = shown.codePoints;
  const bool wraps = mode == LineBreakMode::WordWrap || mode == LineBreakMode::CharacterWrap;
  const bool truncates = mode == LineBreakMode::TruncateHead ||
                         mode == LineBreakMode::TruncateTail ||
                         mode == LineBreakMode::TruncateMiddle;
  const bool byWord = mode != LineBreakMode::CharacterWrap;
  auto push = [&](std::vector<char32_t> line, std::size_t from, std::size_t to) {
    layout.lines.push_back({encodeUtf8(line), m.width(line, 0, line.size()),
                            shown.sourceOffset(from), shown.sourceOffset(to)});
  };

  std::size_t pos = 0;
  for (;;) {
    std::size_t paraEnd =
        std::size_t(std::find(cps.begin() + long(pos), cps.end(), U'\n') - cps.begin());
    std::size_t i = pos;
    do {
      bool last = numberOfLines > 0 && int(layout.lines.size()) == numberOfLines - 1;
      if (last && !wraps) {
        // The last allowed line holds the rest of the text: truncated, or
        // kept whole for drawing to clip.
        std::vector<char32_t> rest(cps.begin() + long(i),
                                   truncates ? cps.end() : cps.begin() + long(paraEnd));
        for (char32_t& c : rest) {
          if (c == U'\n') c = U' ';
        }
        push(truncates ? truncate(trimmedRight(std::move(rest)), maxWidth, mode, m)
                       : std::move(rest),
             i, truncates ? cps.size() : paraEnd);
        return layout;
      }
      // Every other line wraps, by word unless characters were asked for.
      std::size_t end = fitLine(cps, i, paraEnd, maxWidth, byWord, m);
      std::size_t next = skipSpaces(cps, end, paraEnd);
      push(trimmedRight({cps.begin() + long(i), cps.begin() + long(end)}), i, next);
      if (last) return layout;
      i = next;
    } while (i < paraEnd);
    if (paraEnd >= cps.size()) break;
    pos = paraEnd + 1;
  }
  return layout;
}

double caretPositionInLine(std::string_view text, const TextLine& line, std::size_t offset,
                           const Font& font) {
  const std::size_t begin = std::min(line.sourceBegin, text.size());
  const std::size_t end =
      std::clamp(offset, begin, std::max(begin, std::min(line.sourceEnd, text.size())));
  const DecodedText prefix =
      withoutControlCharacters(decodeWithOffsets(text.substr(begin, end - begin)));
  FontBackend& backend = FontBackend::current();
  double x = 0;
  for (char32_t c : prefix.codePoints) {
    if (c != U'\n') x += backend.advance(font, c);
  }
  return x;
}

double measureTextWidth(std::string_view text, const Font& font) {
  FontBackend& backend = FontBackend::current();
  double w = 0;
  for (char32_t c : decodeUtf8(text)) w += backend.advance(font, c);
  return w;
}

Size sizeWithFont(std::string_view text, const Font& font) {
  return {std::ceil(measureTextWidth(text, font)), font.lineHeight()};
}

Size sizeWithFont(std::string_view text, const Font& font, double width, LineBreakMode mode) {
  return layoutText(text, font, width, 0, mode).size();
}

}  // namespace lorvane
