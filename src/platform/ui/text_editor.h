#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

namespace lorvane {

// A run of text as byte offsets [location, location + length).
struct TextRange {
  std::size_t location = 0;
  std::size_t length = 0;
  std::size_t end() const { return location + length; }
  bool operator==(const TextRange&) const = default;
};

// The text being edited, its selection and the input method's marked
// (composing) text. Offsets are bytes of the UTF-8 text and always fall
// between whole characters: the caret never lands inside a multi-byte
// sequence, and backspace removes a whole user-perceived character.
// Marked text is part of the text, as the user sees it, until the input
// method commits or replaces it.
class TextEditor {
 public:
  explicit TextEditor(bool singleLine) : singleLine_(singleLine) {}

  const std::string& text() const { return text_; }
  // Replaces everything; the caret goes to the end.
  void setText(std::string_view text);
  bool isSingleLine() const { return singleLine_; }

  // The selection runs from the anchor (where it started) to the caret;
  // both are the same when nothing is selected.
  std::size_t caret() const { return caret_; }
  std::size_t anchor() const { return anchor_; }
  TextRange selectedRange() const;
  bool hasSelection() const { return caret_ != anchor_; }
  std::string selectedText() const;
  void setSelection(std::size_t anchor, std::size_t caret);
  // Moves the caret; `extend` keeps the anchor (shift held).
  void moveCaretTo(std::size_t offset, bool extend = false);
  void moveLeft(bool extend = false);
  void moveRight(bool extend = false);
  void selectAll();

  const std::optional<TextRange>& markedRange() const { return marked_; }
  bool hasMarkedText() const { return marked_.has_value(); }

  // Each answers whether the text changed.
  // Typed or committed text replaces the marked text, else the selection.
  bool insertText(std::string_view text);
  // The input method's composition replaces the marked text (else the
  // selection); the caret sits `caretInMarked` characters into it. Empty
  // text ends the composition with nothing inserted.
  bool setMarkedText(std::string_view text, std::size_t caretInMarked);
  // The composition stays as typed text.
  void unmarkText();
  bool deleteBackward();
  bool deleteForward();

  // The clipboard.
  void copy() const;
  bool cut();
  bool paste();

  // What may be kept of typed or pasted text: valid UTF-8, no control
  // characters but tabs and line breaks, and on one line nothing but spaces.
  std::string cleaned(std::string_view text) const;

 private:
  std::size_t snapped(std::size_t offset) const;
  void replace(TextRange range, std::string_view with);

  bool singleLine_;
  std::string text_;
  std::size_t caret_ = 0;
  std::size_t anchor_ = 0;
  std::optional<TextRange> marked_;
};

}  // namespace lorvane
