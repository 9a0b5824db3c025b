#include "platform/ui/text_field.h"

#include <algorithm>

#include "platform/ui/window.h"

namespace lorvane {

TextField::TextField() : TextField(Rect{}) {}

TextField::TextField(const Rect& frame) : Control(frame), TextInput(true) {
  setOpaque(false);
  content_ = View::make<View>();
  content_->setUserInteractionEnabled(false);
  content_->setClipsToBounds(true);
  content_->setOpaque(false);
  addSubview(content_);
  placeholder_ = View::make<Label>();
  placeholder_->setTextColor(Color::white(0.7));
  placeholder_->setLineBreakMode(LineBreakMode::TruncateTail);
  content_->addSubview(placeholder_);
  label_ = View::make<Label>();
  label_->setLineBreakMode(LineBreakMode::TruncateTail);
  content_->addSubview(label_);
  setNeedsLayout();
}

TextField::~TextField() = default;

void TextField::setText(std::string text) {
  mutableEditor().setText(text);
  refresh();
}

void TextField::setPlaceholder(std::string text) {
  placeholder_->setText(std::move(text));
}

void TextField::setFont(const Font& font) {
  label_->setFont(font);
  placeholder_->setFont(font);
  refresh();
}

void TextField::setTextAlignment(TextAlignment a) {
  label_->setTextAlignment(a);
  placeholder_->setTextAlignment(a);
  refresh();
}

void TextField::setBorderStyle(TextBorderStyle style) {
  borderStyle_ = style;
  layer().setBorderWidth(style == TextBorderStyle::None ? 0 : 1);
  layer().setBorderColor(Color::white(0.75));
  layer().setCornerRadius(style == TextBorderStyle::RoundedRect ? 5 : 0);
  if (style == TextBorderStyle::RoundedRect && backgroundColor().alpha == 0)
    setBackgroundColor(Color::whiteColor());
}

bool TextField::canBecomeFirstResponder() const {
  return isEnabled() && window() && !isHidden();
}

TextGeometry TextField::geometry() const {
  TextGeometry g;
  g.text = text();
  g.font = font();
  g.layout = layoutText(text(), font(), 0, 1, LineBreakMode::Clip);
  g.width = content_->bounds().width();
  g.alignment = textAlignment();
  return g;
}

void TextField::layoutSubviews() {
  const Rect b = bounds();
  content_->setFrame({kTextInset, 0, std::max(0.0, b.width() - 2 * kTextInset), b.height()});
  placeholder_->setFrame(content_->bounds());
  refresh();
}

void TextField::refresh() {
  const Rect area = content_->bounds();
  placeholder_->setHidden(!text().empty() || editor().hasMarkedText());
  const TextGeometry g = geometry();
  const bool editing = isFirstResponder();
  double scroll = 0;
  if (editing && g.alignment == TextAlignment::Left) {
    // Keep the caret in view: move the text left as far as it must, and no
    // further than needed to show its end.
    const double caretX = g.caretPoint(editor().caret()).x;
    const double textWidth = g.layout.lines.empty() ? 0 : g.layout.lines[0].width;
    const double room = area.width() - EditingMarks::kCaretWidth;
    scroll = std::min(std::max(scroll_, caretX - room), caretX);
    scroll = std::max(0.0, std::min(scroll, textWidth - room));
  }
  scroll_ = scroll;
  const double textWidth = g.layout.lines.empty() ? 0 : g.layout.lines[0].width;
  // While editing the whole line is drawn and the field clips it; at rest
  // a long text ends in an ellipsis.
  label_->setLineBreakMode(editing ? LineBreakMode::Clip : LineBreakMode::TruncateTail);
  label_->setFrame(
      {-scroll, 0, editing ? std::max(area.width(), textWidth + 1) : area.width(), area.height()});
  label_->setText(text());
  const double top = (area.height() - g.lineHeight()) / 2;
  marks_.update(*content_, editor(), editing, g, {-scroll, top});
}

Rect TextField::caretRectInWindow() const {
  Rect caret = marks_.caretRect();
  if (caret.width() <= 0) caret = {kTextInset, 0, EditingMarks::kCaretWidth, bounds().height()};
  return content_->convertRectToView(caret, nullptr);
}

void TextField::touchesEnded(const TouchSet& touches, const Event& event) {
  const bool wasTracking = isTracking() || isHighlighted();
  Control::touchesEnded(touches, event);
  if (!wasTracking || !isTouchInside() || touches.empty()) return;
  if (!isFirstResponder()) {
    if (auto answer = delegate_ ? delegate_->textFieldShouldBeginEditing(*this) : std::nullopt;
        answer && !*answer)
      return;
    if (!becomeFirstResponder()) return;
  }
  layoutIfNeeded();
  Point p = touches.front()->locationInView(content_.get());
  const double top = (content_->bounds().height() - font().lineHeight()) / 2;
  mutableEditor().moveCaretTo(geometry().offsetClosestTo({p.x + scroll_, p.y - top}));
  refresh();
}

void TextField::willMoveToWindow(Window* window) {
  Control::willMoveToWindow(window);
  if (!window) resignFirstResponder();
}

void TextField::textDidChange() {
  refresh();
  sendActionsForControlEvents(ControlEventEditingChanged);
}

void TextField::selectionDidChange() {
  refresh();
}

void TextField::didBeginEditing() {
  if (delegate_) delegate_->textFieldDidBeginEditing(*this);
  sendActionsForControlEvents(ControlEventEditingDidBegin);
}

void TextField::didEndEditing() {
  if (delegate_) delegate_->textFieldDidEndEditing(*this);
  sendActionsForControlEvents(ControlEventEditingDidEnd);
}

void TextField::returnPressed() {
  if (auto answer = delegate_ ? delegate_->textFieldShouldReturn(*this) : std::nullopt;
      answer && !*answer)
    return;
  sendActionsForControlEvents(ControlEventEditingDidEndOnExit);
  resignFirstResponder();
}

void TextField::tabPressed() {
  focusNextInput();
}

}  // namespace lorvane
