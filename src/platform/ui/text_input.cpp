#include "platform/ui/text_input.h"

#include <vector>

#include "platform/ui/view.h"
#include "platform/ui/window.h"

namespace lorvane {
namespace {

TextInput*& firstResponderSlot() {
  static TextInput* responder = nullptr;
  return responder;
}

void collectInputs(View& view, std::vector<TextInput*>& out) {
  if (view.isHidden() || !view.isUserInteractionEnabled()) return;
  if (auto* input = dynamic_cast<TextInput*>(&view); input && input->canBecomeFirstResponder())
    out.push_back(input);
  for (const auto& sub : view.subviews()) collectInputs(*sub, out);
}

}  // namespace

TextInput::~TextInput() {
  // No editing callbacks from a half-destroyed view: just let go.
  if (firstResponderSlot() == this) firstResponderSlot() = nullptr;
}

TextInput* TextInput::firstResponder() {
  return firstResponderSlot();
}

bool TextInput::becomeFirstResponder() {
  if (isFirstResponder()) return true;
  if (!canBecomeFirstResponder()) return false;
  if (TextInput* previous = firstResponder()) previous->resignFirstResponder();
  firstResponderSlot() = this;
  didBeginEditing();
  selectionDidChange();
  return true;
}

bool TextInput::resignFirstResponder() {
  if (!isFirstResponder()) return true;
  firstResponderSlot() = nullptr;
  // What was being composed stays, as the user saw it.
  editor_.unmarkText();
  didEndEditing();
  selectionDidChange();
  return true;
}

void TextInput::touchWillBegin(View* hit) {
  TextInput* current = firstResponder();
  if (!current) return;
  if (hit && hit->isDescendantOfView(&current->inputView())) return;
  current->resignFirstResponder();
}

void TextInput::insertText(std::string_view text) {
  if (!acceptsEditing()) return;
  if (editor_.insertText(text)) textDidChange();
  selectionDidChange();
}

void TextInput::setMarkedText(std::string_view text, std::size_t caretInMarked) {
  if (!acceptsEditing()) return;
  if (editor_.setMarkedText(text, caretInMarked)) textDidChange();
  selectionDidChange();
}

void TextInput::keyDown(EditingKey key, bool shift) {
  // While composing, the input method owns the keys.
  if (!acceptsEditing() || editor_.hasMarkedText()) return;
  bool changed = false;
  switch (key) {
    case EditingKey::Backspace:
      changed = editor_.deleteBackward();
      break;
    case EditingKey::Delete:
      changed = editor_.deleteForward();
      break;
    case EditingKey::Left:
      editor_.moveLeft(shift);
      break;
    case EditingKey::Right:
      editor_.moveRight(shift);
      break;
    case EditingKey::Up:
      editor_.moveCaretTo(offsetOnNextLine(editor_.caret(), -1), shift);
      break;
    case EditingKey::Down:
      editor_.moveCaretTo(offsetOnNextLine(editor_.caret(), 1), shift);
      break;
    case EditingKey::Home:
      editor_.moveCaretTo(lineStart(editor_.caret()), shift);
      break;
    case EditingKey::End:
      editor_.moveCaretTo(lineEnd(editor_.caret()), shift);
      break;
    case EditingKey::Return:
      returnPressed();
      return;
    case EditingKey::Tab:
      tabPressed();
      return;
    case EditingKey::Escape:
      resignFirstResponder();
      return;
  }
  if (changed) textDidChange();
  selectionDidChange();
}

void TextInput::perform(EditingCommand command) {
  if (!acceptsEditing() || editor_.hasMarkedText()) return;
  bool changed = false;
  switch (command) {
    case EditingCommand::SelectAll:
      editor_.selectAll();
      break;
    case EditingCommand::Copy:
      editor_.copy();
      break;
    case EditingCommand::Cut:
      changed = editor_.cut();
      break;
    case EditingCommand::Paste:
      changed = editor_.paste();
      break;
  }
  if (changed) textDidChange();
  selectionDidChange();
}

std::size_t TextInput::lineStart(std::size_t) const {
  return 0;
}

std::size_t TextInput::lineEnd(std::size_t) const {
  return editor_.text().size();
}

std::size_t TextInput::offsetOnNextLine(std::size_t, int direction) const {
  return direction < 0 ? 0 : editor_.text().size();
}

void TextInput::returnPressed() {
  insertText("\n");
}

void TextInput::tabPressed() {
  insertText("\t");
}

bool TextInput::focusNextInput() {
  Window* window = inputView().window();
  if (!window) return false;
  std::vector<TextInput*> inputs;
  collectInputs(*window, inputs);
  for (std::size_t i = 0; i < inputs.size(); ++i) {
    if (inputs[i] == this) {
      if (i + 1 < inputs.size()) return inputs[i + 1]->becomeFirstResponder();
      break;
    }
  }
  return false;
}

}  // namespace lorvane
