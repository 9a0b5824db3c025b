#pragma once

#include <string>

#include "platform/ui/editing_marks.h"
#include "platform/ui/label.h"
#include "platform/ui/scroll_view.h"
#include "platform/ui/text_input.h"

namespace lorvane {

// Scrolling multi-line text. An editable text view takes typed text once
// tapped (it becomes the first responder, the caret where the tap was):
// return starts a new line, tab types a tab, the arrow keys, home and end
// move along and between lines, and the caret stays in view.
class TextView : public ScrollView, public TextInput {
 public:
  TextView();
  explicit TextView(const Rect& frame);
  ~TextView() override;

  const std::string& text() const { return editor().text(); }
  void setText(std::string text);
  const Font& font() const { return label_->font(); }
  void setFont(const Font& font);
  Color textColor() const { return label_->textColor(); }
  void setTextColor(Color c) { label_->setTextColor(c); }
  TextAlignment textAlignment() const { return label_->textAlignment(); }
  void setTextAlignment(TextAlignment a);
  bool isEditable() const { return editable_; }
  void setEditable(bool e);
  EdgeInsets textContainerInset() const { return inset_; }
  void setTextContainerInset(EdgeInsets e);

  // TextInput
  bool canBecomeFirstResponder() const override;
  Rect caretRectInWindow() const override;
  View& inputView() override { return *this; }

  void layoutSubviews() override;
  void touchesEnded(const TouchSet& touches, const Event& event) override;
  void willMoveToWindow(Window* window) override;
  Label& textLabel() const { return *label_; }
  const EditingMarks& marks() const { return marks_; }

 protected:
  bool acceptsEditing() const override { return editable_; }
  void textDidChange() override;
  void selectionDidChange() override;
  std::size_t lineStart(std::size_t offset) const override;
  std::size_t lineEnd(std::size_t offset) const override;
  std::size_t offsetOnNextLine(std::size_t offset, int direction) const override;

 private:
  TextGeometry geometry() const;
  void showMarks(bool scrollToCaret);

  std::shared_ptr<Label> label_;
  EditingMarks marks_;
  bool editable_ = true;
  EdgeInsets inset_{8, 5, 8, 5};
};

}  // namespace lorvane
