#include "player/web_vtt.h"

#include <algorithm>
#include <cstdint>

namespace lorvane {

namespace {

constexpr std::string_view kByteOrderMark = "\xEF\xBB\xBF";
constexpr std::string_view kArrow = "-->";

bool isBlank(char c) {
  return c == ' ' || c == '\t' || c == '\f';
}

bool isDigit(char c) {
  return c >= '0' && c <= '9';
}

// Splits on CR LF, LF and CR alike.
std::vector<std::string_view> splitLines(std::string_view text) {
  std::vector<std::string_view> lines;
  std::size_t start = 0;
  for (std::size_t i = 0; i < text.size(); ++i) {
    char c = text[i];
    if (c != '\n' && c != '\r') continue;
    lines.push_back(text.substr(start, i - start));
    if (c == '\r' && i + 1 < text.size() && text[i + 1] == '\n') ++i;
    start = i + 1;
  }
  if (start < text.size()) lines.push_back(text.substr(start));
  return lines;
}

// "WEBVTT" alone or followed by a blank and header text.
bool isSignature(std::string_view line) {
  if (line.substr(0, 6) != "WEBVTT") return false;
  return line.size() == 6 || line[6] == ' ' || line[6] == '\t';
}

// A block whose first line is this word, alone or followed by a blank.
bool startsWithKeyword(std::string_view line, std::string_view word) {
  if (line.substr(0, word.size()) != word) return false;
  return line.size() == word.size() || isBlank(line[word.size()]);
}

class Cursor {
 public:
  explicit Cursor(std::string_view text) : text_(text) {}
  bool atEnd() const { return at_ >= text_.size(); }
  char peek() const { return atEnd() ? '\0' : text_[at_]; }
  void skipBlanks() {
    while (!atEnd() && isBlank(text_[at_])) ++at_;
  }
  bool take(std::string_view literal) {
    if (text_.substr(at_, literal.size()) != literal) return false;
    at_ += literal.size();
    return true;
  }
  // The run of digits here, its value saturating far above any real time.
  std::string_view digits(std::uint64_t* value) {
    std::size_t from = at_;
    *value = 0;
    while (!atEnd() && isDigit(text_[at_])) {
      if (*value < 100000000000ull) *value = *value * 10 + std::uint64_t(text_[at_] - '0');
      ++at_;
    }
    return text_.substr(from, at_ - from);
  }
  std::string_view rest() const { return atEnd() ? std::string_view() : text_.substr(at_); }

 private:
  std::string_view text_;
  std::size_t at_ = 0;
};

// The W3C timestamp rules: minutes and seconds two digits and at most 59,
// hours any number of digits (required when the first field is not two
// digits or is over 59), milliseconds three digits.
double collectTimestamp(Cursor& in) {
  if (!isDigit(in.peek())) return -1;
  std::uint64_t first = 0;
  std::string_view firstDigits = in.digits(&first);
  bool hours = firstDigits.size() != 2 || first > 59;
  if (!in.take(":")) return -1;
  std::uint64_t second = 0;
  if (in.digits(&second).size() != 2) return -1;
  std::uint64_t h = 0, m = 0, s = 0;
  if (hours || in.peek() == ':') {
    if (!in.take(":")) return -1;
    std::uint64_t third = 0;
    if (in.digits(&third).size() != 2) return -1;
    h = first;
    m = second;
    s = third;
  } else {
    m = first;
    s = second;
  }
  if (!in.take(".")) return -1;
  std::uint64_t millis = 0;
  if (in.digits(&millis).size() != 3) return -1;
  if (m > 59 || s > 59) return -1;
  return double(h) * 3600 + double(m) * 60 + double(s) + double(millis) / 1000;
}

bool parseTimings(std::string_view line, CaptionCue& cue) {
  Cursor in(line);
  in.skipBlanks();
  double start = collectTimestamp(in);
  if (start < 0) return false;
  in.skipBlanks();
  if (!in.take(kArrow)) return false;
  in.skipBlanks();
  double end = collectTimestamp(in);
  if (end < 0) return false;
  // The settings must be set off from the time by a blank.
  if (!in.atEnd() && !isBlank(in.peek())) return false;
  in.skipBlanks();
  cue.startSeconds = start;
  cue.endSeconds = end;
  cue.settings = std::string(in.rest());
  return true;
}

void appendCodePoint(std::string& out, std::uint32_t cp) {
  if (cp == 0 || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) cp = 0xFFFD;
  if (cp < 0x80) {
    out += char(cp);
  } else if (cp < 0x800) {
    out += char(0xC0 | (cp >> 6));
    out += char(0x80 | (cp & 0x3F));
  } else if (cp < 0x10000) {
    out += char(0xE0 | (cp >> 12));
    out += char(0x80 | ((cp >> 6) & 0x3F));
    out += char(0x80 | (cp & 0x3F));
  } else {
    out += char(0xF0 | (cp >> 18));
    out += char(0x80 | ((cp >> 12) & 0x3F));
    out += char(0x80 | ((cp >> 6) & 0x3F));
    out += char(0x80 | (cp & 0x3F));
  }
}

// The character a reference such as "amp" or "#x4E2D" names; 0 for none.
std::uint32_t characterReference(std::string_view name) {
  if (name == "amp") return '&';
  if (name == "lt") return '<';
  if (name == "gt") return '>';
  if (name == "quot") return '"';
  if (name == "apos") return '\'';
  if (name == "nbsp") return 0xA0;
  if (name == "lrm") return 0x200E;
  if (name == "rlm") return 0x200F;
  if (name.size() < 2 || name[0] != '#') return 0;
  bool hex = name[1] == 'x' || name[1] == 'X';
  std::string_view digits = name.substr(hex ? 2 : 1);
  if (digits.empty() || digits.size() > 8) return 0;
  std::uint32_t value = 0;
  for (char c : digits) {
    int d;
    if (isDigit(c)) {
      d = c - '0';
    } else if (hex && c >= 'a' && c <= 'f') {
      d = c - 'a' + 10;
    } else if (hex && c >= 'A' && c <= 'F') {
      d = c - 'A' + 10;
    } else {
      return 0;
    }
    value = value * (hex ? 16 : 10) + std::uint32_t(d);
  }
  return value == 0 ? 0xFFFD : value;
}

// A payload line as plain text: tags dropped, references decoded, NUL
// replaced, trailing blanks trimmed.
std::string plainText(std::string_view line) {
  std::string out;
  out.reserve(line.size());
  for (std::size_t i = 0; i < line.size(); ++i) {
    char c = line[i];
    if (c == '<') {
      std::size_t close = line.find('>', i);
      if (close == std::string_view::npos) break;
      i = close;
    } else if (c == '&') {
      std::size_t semicolon = line.find(';', i);
      std::uint32_t cp = 0;
      if (semicolon != std::string_view::npos && semicolon - i <= 10) {
        cp = characterReference(line.substr(i + 1, semicolon - i - 1));
      }
      if (cp) {
        appendCodePoint(out, cp);
        i = semicolon;
      } else {
        out += '&';
      }
    } else if (c == '\0') {
      appendCodePoint(out, 0xFFFD);
    } else {
      out += c;
    }
  }
  while (!out.empty() && isBlank(out.back())) out.pop_back();
  return out;
}

}  // namespace

const std::string& CaptionCue::english() const {
  static const std::string kNone;
  return lines.empty() ? kNone : lines.front();
}

std::string CaptionCue::translation() const {
  std::string joined;
  for (std::size_t i = 1; i < lines.size(); ++i) {
    if (i > 1) joined += '\n';
    joined += lines[i];
  }
  return joined;
}

CaptionTrack::CaptionTrack(std::vector<CaptionCue> cues) : cues_(std::move(cues)) {
  std::stable_sort(cues_.begin(), cues_.end(), [](const CaptionCue& a, const CaptionCue& b) {
    return a.startSeconds < b.startSeconds;
  });
}

std::size_t CaptionTrack::lineIndexAt(double seconds) const {
  auto after = std::upper_bound(cues_.begin(), cues_.end(), seconds,
                                [](double t, const CaptionCue& c) { return t < c.startSeconds; });
  if (after == cues_.begin()) return npos;
  return std::size_t(after - cues_.begin()) - 1;
}

std::size_t CaptionTrack::activeIndexAt(double seconds) const {
  std::size_t i = lineIndexAt(seconds);
  // Cues may overlap: the latest begun that still runs is the one spoken.
  for (std::size_t j = i; j != npos; --j) {
    if (seconds < cues_[j].endSeconds) return j;
    if (i - j >= 8) break;  // overlaps are short; do not scan a whole file
  }
  return npos;
}

double parseWebVTTTimestamp(std::string_view text) {
  Cursor in(text);
  double seconds = collectTimestamp(in);
  return in.atEnd() ? seconds : -1;
}

WebVTTResult parseWebVTT(std::string_view text) {
  WebVTTResult result;
  if (text.substr(0, kByteOrderMark.size()) == kByteOrderMark) text.remove_prefix(3);
  std::vector<std::string_view> lines = splitLines(text);
  if (lines.empty() || !isSignature(lines[0])) {
    result.problem = "the file does not begin with WEBVTT";
    return result;
  }
  result.valid = true;
  std::size_t i = 1;
  // Header text runs to the first blank line, or to a line of timings,
  // which begins the first cue.
  while (i < lines.size() && !lines[i].empty() && lines[i].find(kArrow) == std::string_view::npos)
    ++i;

  std::vector<CaptionCue> cues;
  while (i < lines.size()) {
    if (lines[i].empty()) {
      ++i;
      continue;
    }
    // One block: up to a blank line, or up to a second line of timings.
    std::vector<std::string_view> before;  // lines before the timings
    CaptionCue cue;
    bool timed = false;
    bool readable = false;
    for (; i < lines.size() && !lines[i].empty(); ++i) {
      std::string_view line = lines[i];
      bool arrow = line.find(kArrow) != std::string_view::npos;
      if (arrow && !timed && before.size() <= 1) {
        timed = true;
        if (!before.empty()) cue.identifier = std::string(before.front());
        readable = parseTimings(line, cue);
      } else if (arrow) {
        break;  // a cue with no blank line before it
      } else if (timed) {
        cue.lines.push_back(plainText(line));
      } else {
        before.push_back(line);
      }
    }
    if (!timed) {
      // NOTE, STYLE and REGION blocks are meant to be passed over; anything
      // else is a cue whose timings are missing.
      std::string_view first = before.empty() ? std::string_view() : before.front();
      if (!startsWithKeyword(first, "NOTE") && !startsWithKeyword(first, "STYLE") &&
          !startsWithKeyword(first, "REGION")) {
        ++result.skippedBlocks;
      }
      continue;
    }
    // A cue that ends before it begins never shows; it cannot be studied.
    if (!readable || !(cue.endSeconds > cue.startSeconds)) {
      ++result.skippedBlocks;
      continue;
    }
    cues.push_back(std::move(cue));
  }
  result.track = CaptionTrack(std::move(cues));
  return result;
}

}  // namespace lorvane
