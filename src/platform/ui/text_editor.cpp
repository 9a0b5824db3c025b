#include "platform/ui/text_editor.h"

#include <algorithm>
#include <vector>

#include "platform/ui/font.h"
#include "platform/ui/grapheme.h"
#include "platform/ui/pasteboard.h"

namespace lorvane {

std::string TextEditor::cleaned(std::string_view text) const {
  std::vector<char32_t> out;
  const std::vector<char32_t> cps = decodeUtf8(text);
  out.reserve(cps.size());
  for (std::size_t i = 0; i < cps.size(); ++i) {
    char32_t c = cps[i];
    if (c == U'\r') {
      if (i + 1 < cps.size() && cps[i + 1] == U'\n') continue;  // CR LF is one break
      c = U'\n';
    }
    if (singleLine_ && (c == U'\n' || c == U'\t')) c = U' ';
    if (c < 0x20 && c != U'\n' && c != U'\t') continue;
    if (c == 0x7F || (c >= 0xD800 && c <= 0xDFFF) || c > 0x10FFFF) continue;
    out.push_back(c);
  }
  return encodeUtf8(out);
}

void TextEditor::setText(std::string_view text) {
  text_ = cleaned(text);
  marked_.reset();
  caret_ = anchor_ = text_.size();
}

std::size_t TextEditor::snapped(std::size_t offset) const {
  return characterBoundaryAtOrBefore(text_, offset);
}

TextRange TextEditor::selectedRange() const {
  std::size_t from = std::min(caret_, anchor_);
  return {from, std::max(caret_, anchor_) - from};
}

std::string TextEditor::selectedText() const {
  TextRange r = selectedRange();
  return text_.substr(r.location, r.length);
}

void TextEditor::setSelection(std::size_t anchor, std::size_t caret) {
  anchor_ = snapped(anchor);
  caret_ = snapped(caret);
}

void TextEditor::moveCaretTo(std::size_t offset, bool extend) {
  caret_ = snapped(offset);
  if (!extend) anchor_ = caret_;
}

void TextEditor::moveLeft(bool extend) {
  // Without shift, a selection collapses to its start.
  if (hasSelection() && !extend) {
    moveCaretTo(selectedRange().location);
    return;
  }
  moveCaretTo(previousCharacterBoundary(text_, caret_), extend);
}

void TextEditor::moveRight(bool extend) {
  if (hasSelection() && !extend) {
    moveCaretTo(selectedRange().end());
    return;
  }
  moveCaretTo(nextCharacterBoundary(text_, caret_), extend);
}

void TextEditor::selectAll() {
  anchor_ = 0;
  caret_ = text_.size();
}

void TextEditor::replace(TextRange range, std::string_view with) {
  text_.replace(range.location, range.length, with);
  caret_ = anchor_ = range.location + with.size();
}

bool TextEditor::insertText(std::string_view text) {
  const std::string clean = cleaned(text);
  TextRange target = marked_ ? *marked_ : selectedRange();
  marked_.reset();
  if (clean.empty() && target.length == 0) return false;
  replace(target, clean);
  return true;
}

bool TextEditor::setMarkedText(std::string_view text, std::size_t caretInMarked) {
  const std::string clean = cleaned(text);
  TextRange target = marked_ ? *marked_ : selectedRange();
  const bool changed = target.length > 0 || !clean.empty();
  replace(target, clean);
  if (clean.empty()) {
    marked_.reset();
    return changed;
  }
  marked_ = TextRange{target.location, clean.size()};
  // The input method counts characters (code points) into its composition.
  std::size_t offset = 0;
  for (std::size_t n = 0; n < caretInMarked && offset < clean.size(); ++n) {
    offset = nextCharacterBoundary(clean, offset);
  }
  caret_ = anchor_ = target.location + offset;
  return changed;
}

void TextEditor::unmarkText() {
  marked_.reset();
}

bool TextEditor::deleteBackward() {
  marked_.reset();
  if (hasSelection()) {
    replace(selectedRange(), {});
    return true;
  }
  if (caret_ == 0) return false;
  std::size_t from = previousCharacterBoundary(text_, caret_);
  replace({from, caret_ - from}, {});
  return true;
}

bool TextEditor::deleteForward() {
  marked_.reset();
  if (hasSelection()) {
    replace(selectedRange(), {});
    return true;
  }
  if (caret_ >= text_.size()) return false;
  std::size_t to = nextCharacterBoundary(text_, caret_);
  replace({caret_, to - caret_}, {});
  return true;
}

void TextEditor::copy() const {
  if (hasSelection()) Pasteboard::generalPasteboard().setString(selectedText());
}

bool TextEditor::cut() {
  if (!hasSelection()) return false;
  copy();
  return deleteBackward();
}

bool TextEditor::paste() {
  auto text = Pasteboard::generalPasteboard().string();
  if (!text || text->empty()) return false;
  return insertText(*text);
}

}  // namespace lorvane
