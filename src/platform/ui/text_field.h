#pragma once

#include <memory>
#include <optional>
#include <string>

#include "platform/foundation/weak_ptr.h"
#include "platform/ui/control.h"
#include "platform/ui/editing_marks.h"
#include "platform/ui/label.h"
#include "platform/ui/text_input.h"

namespace lorvane {

class TextField;

// Every operation optional: nothing (or false) means "not implemented".
class TextFieldDelegate : public virtual Weakable {
 public:
  virtual ~TextFieldDelegate() = default;
  virtual std::optional<bool> textFieldShouldBeginEditing(TextField&) { return std::nullopt; }
  virtual bool textFieldDidBeginEditing(TextField&) { return false; }
  virtual bool textFieldDidEndEditing(TextField&) { return false; }
  virtual std::optional<bool> textFieldShouldReturn(TextField&) { return std::nullopt; }
};

// The platform's values.
enum class TextBorderStyle { None = 0, Line = 1, Bezel = 2, RoundedRect = 3 };

// One line of editable text. A tap puts the caret there and starts
// editing; typing, the editing keys and the clipboard change the text;
// return ends editing, tab goes on to the next field. Text wider than the
// field scrolls to keep the caret in view. Reports the editing events.
class TextField : public Control, public TextInput {
 public:
  TextField();
  explicit TextField(const Rect& frame);
  ~TextField() override;

  const std::string& text() const { return editor().text(); }
  void setText(std::string text);
  const std::string& placeholder() const { return placeholder_->text(); }
  void setPlaceholder(std::string text);
  const Font& font() const { return label_->font(); }
  void setFont(const Font& font);
  Color textColor() const { return label_->textColor(); }
  void setTextColor(Color c) { label_->setTextColor(c); }
  TextAlignment textAlignment() const { return label_->textAlignment(); }
  void setTextAlignment(TextAlignment a);
  TextBorderStyle borderStyle() const { return borderStyle_; }
  void setBorderStyle(TextBorderStyle style);
  TextFieldDelegate* delegate() const { return delegate_.get(); }
  void setDelegate(TextFieldDelegate* d) { delegate_ = d; }
  bool isEditing() const { return isFirstResponder(); }

  // TextInput
  bool canBecomeFirstResponder() const override;
  Rect caretRectInWindow() const override;
  View& inputView() override { return *this; }

  // What is drawn, for those who look.
  Label& textLabel() const { return *label_; }
  Label& placeholderLabel() const { return *placeholder_; }
  const EditingMarks& marks() const { return marks_; }

  void layoutSubviews() override;
  void touchesEnded(const TouchSet& touches, const Event& event) override;
  void willMoveToWindow(Window* window) override;

  // Room between the border and the text.
  static constexpr double kTextInset = 6;

 protected:
  void textDidChange() override;
  void selectionDidChange() override;
  void didBeginEditing() override;
  void didEndEditing() override;
  void returnPressed() override;
  void tabPressed() override;

 private:
  TextGeometry geometry() const;
  void refresh();

  std::shared_ptr<View> content_;
  std::shared_ptr<Label> label_;
  std::shared_ptr<Label> placeholder_;
  EditingMarks marks_;
  WeakPtr<TextFieldDelegate> delegate_;
  TextBorderStyle borderStyle_ = TextBorderStyle::None;
  double scroll_ = 0;  // how far the text is moved left to keep the caret in view
};

}  // namespace lorvane
