#pragma once

#include <cstddef>
#include <string>
#include <string_view>

#include "platform/ui/geometry.h"
#include "platform/ui/text_editor.h"

namespace lorvane {

class View;

// Keys that edit, as the desktop keyboard (or a script) sends them.
enum class EditingKey { Backspace, Delete, Left, Right, Up, Down, Home, End, Return, Tab, Escape };
// The edit menu's commands (Ctrl or Command with A, C, X, V).
enum class EditingCommand { SelectAll, Copy, Cut, Paste };

// A view that takes typed text while it is the first responder: one at a
// time in the process. A tap in it makes it the first responder, a tap
// anywhere else ends its editing, and leaving the window or going away
// does too. The front end sends typed text, the input method's
// composition, editing keys and commands to the first responder.
class TextInput {
 public:
  TextInput(const TextInput&) = delete;
  TextInput& operator=(const TextInput&) = delete;

  static TextInput* firstResponder();
  bool isFirstResponder() const { return firstResponder() == this; }
  virtual bool canBecomeFirstResponder() const = 0;
  bool becomeFirstResponder();
  bool resignFirstResponder();

  // A finger went down on `hit` (nothing: outside every view): editing
  // elsewhere ends.
  static void touchWillBegin(View* hit);

  // From the front end.
  void insertText(std::string_view text);
  void setMarkedText(std::string_view text, std::size_t caretInMarked);
  bool hasMarkedText() const { return editor_.hasMarkedText(); }
  void deleteBackward() { keyDown(EditingKey::Backspace); }
  void keyDown(EditingKey key, bool shift = false);
  void perform(EditingCommand command);
  // Where the caret is, in window points (the input method's candidate
  // list opens beside it).
  virtual Rect caretRectInWindow() const = 0;
  virtual View& inputView() = 0;

  const TextEditor& editor() const { return editor_; }

 protected:
  explicit TextInput(bool singleLine) : editor_(singleLine) {}
  virtual ~TextInput();

  TextEditor& mutableEditor() { return editor_; }

  // Whether typing changes the text now (a read-only text view says no).
  virtual bool acceptsEditing() const { return true; }
  // Hooks for the view: it redraws and tells its listeners.
  virtual void textDidChange() = 0;
  virtual void selectionDidChange() = 0;
  virtual void didBeginEditing() {}
  virtual void didEndEditing() {}
  // Where a line of the caret starts and ends, and the offset a line above
  // or below; one line by default.
  virtual std::size_t lineStart(std::size_t offset) const;
  virtual std::size_t lineEnd(std::size_t offset) const;
  virtual std::size_t offsetOnNextLine(std::size_t offset, int direction) const;
  // Return and tab, once any composition is over.
  virtual void returnPressed();
  virtual void tabPressed();

  // Focus moves to the next text input of the window, in view order.
  bool focusNextInput();

 private:
  TextEditor editor_;
};

}  // namespace lorvane
