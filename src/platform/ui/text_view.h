#pragma once

#include <string>

#include "platform/ui/label.h"
#include "platform/ui/scroll_view.h"

namespace lorvane {

// Scrolling multi-line text. Editable text views take typed text from the
// front end once touched (they become the focused text view).
class TextView : public ScrollView {
 public:
  TextView();
  explicit TextView(const Rect& frame);
  ~TextView() override;

  const std::string& text() const { return label_->text(); }
  void setText(std::string text);
  const Font& font() const { return label_->font(); }
  void setFont(const Font& font);
  Color textColor() const { return label_->textColor(); }
  void setTextColor(Color c) { label_->setTextColor(c); }
  TextAlignment textAlignment() const { return label_->textAlignment(); }
  void setTextAlignment(TextAlignment a) { label_->setTextAlignment(a); }
  bool isEditable() const { return editable_; }
  void setEditable(bool e);
  EdgeInsets textContainerInset() const { return inset_; }
  void setTextContainerInset(EdgeInsets e);

  // Typing, from the front end.
  void insertText(const std::string& text);
  void deleteBackward();
  bool isFocused() const { return focused() == this; }
  static TextView* focused();
  void becomeFocused();
  void resignFocused();

  void layoutSubviews() override;
  void touchesEnded(const TouchSet& touches, const Event& event) override;
  Label& textLabel() const { return *label_; }

 private:
  std::shared_ptr<Label> label_;
  bool editable_ = true;
  EdgeInsets inset_{8, 5, 8, 5};
};

}  // namespace lorvane
