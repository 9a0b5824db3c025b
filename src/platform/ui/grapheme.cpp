#include "platform/ui/grapheme.h"

#include <unicode/ubrk.h>
#include <unicode/utext.h>

#include <algorithm>
#include <memory>

namespace lorvane {
namespace {

struct BreakIteratorCloser {
  void operator()(UBreakIterator* iterator) const { ubrk_close(iterator); }
};
struct TextCloser {
  void operator()(UText* text) const { utext_close(text); }
};

// One character break iterator over UTF-8 text, whose native indexes are
// the text's byte offsets.
class CharacterBreaks {
 public:
  explicit CharacterBreaks(std::string_view text) {
    UErrorCode status = U_ZERO_ERROR;
    text_.reset(utext_openUTF8(nullptr, text.data(), int64_t(text.size()), &status));
    if (U_FAILURE(status)) return;
    iterator_.reset(ubrk_open(UBRK_CHARACTER, "", nullptr, 0, &status));
    if (U_FAILURE(status)) {
      iterator_.reset();
      return;
    }
    ubrk_setUText(iterator_.get(), text_.get(), &status);
    if (U_FAILURE(status)) iterator_.reset();
  }
  UBreakIterator* get() const { return iterator_.get(); }

 private:
  std::unique_ptr<UText, TextCloser> text_;
  std::unique_ptr<UBreakIterator, BreakIteratorCloser> iterator_;
};

bool isContinuationByte(char c) {
  return (static_cast<unsigned char>(c) & 0xC0) == 0x80;
}

// Without ICU's data the caret still steps over whole code points.
std::size_t nextCodePoint(std::string_view text, std::size_t offset) {
  std::size_t i = offset + 1;
  while (i < text.size() && isContinuationByte(text[i]) && i - offset < 4) ++i;
  return std::min(i, text.size());
}

}  // namespace

std::size_t codePointStart(std::string_view text, std::size_t offset) {
  offset = std::min(offset, text.size());
  std::size_t start = offset;
  while (start > 0 && start < text.size() && isContinuationByte(text[start]) &&
         offset - start < 3) {
    --start;
  }
  // A stray continuation byte is a character of its own.
  return start < text.size() && isContinuationByte(text[start]) ? offset : start;
}

std::size_t nextCharacterBoundary(std::string_view text, std::size_t offset) {
  if (offset >= text.size()) return text.size();
  CharacterBreaks breaks(text);
  if (!breaks.get()) return nextCodePoint(text, codePointStart(text, offset));
  int32_t next = ubrk_following(breaks.get(), int32_t(offset));
  return next == UBRK_DONE ? text.size() : std::size_t(next);
}

std::size_t previousCharacterBoundary(std::string_view text, std::size_t offset) {
  offset = std::min(offset, text.size());
  if (offset == 0) return 0;
  // From inside a character, the one before is where that character starts.
  if (codePointStart(text, offset) != offset) return characterBoundaryAtOrBefore(text, offset);
  CharacterBreaks breaks(text);
  if (!breaks.get()) return codePointStart(text, offset - 1);
  int32_t previous = ubrk_preceding(breaks.get(), int32_t(offset));
  return previous == UBRK_DONE ? 0 : std::size_t(previous);
}

std::size_t characterBoundaryAtOrBefore(std::string_view text, std::size_t offset) {
  // ICU takes an offset inside a code point as that code point's start.
  offset = codePointStart(text, offset);
  if (offset == 0 || offset == text.size()) return offset;
  CharacterBreaks breaks(text);
  if (!breaks.get()) return codePointStart(text, offset);
  if (ubrk_isBoundary(breaks.get(), int32_t(offset))) return offset;
  int32_t previous = ubrk_preceding(breaks.get(), int32_t(offset));
  return previous == UBRK_DONE ? 0 : std::size_t(previous);
}

}  // namespace lorvane
