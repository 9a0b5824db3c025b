#include "platform/ui/text_view.h"

#include <algorithm>

#include "platform/ui/font.h"

namespace lorvane {

TextView::TextView() : TextView(Rect{}) {}

TextView::TextView(const Rect& frame) : ScrollView(frame), TextInput(false) {
  setBackgroundColor(Color::whiteColor());
  label_ = std::make_shared<Label>();
  label_->setNumberOfLines(0);
  label_->setLineBreakMode(LineBreakMode::WordWrap);
  label_->setFont(Font::systemFontOfSize(12));
  addSubview(label_);
  setNeedsLayout();
}

TextView::~TextView() = default;

void TextView::setText(std::string text) {
  mutableEditor().setText(text);
  label_->setText(editor().text());
  setNeedsLayout();
}

void TextView::setFont(const Font& font) {
  label_->setFont(font);
  setNeedsLayout();
}

void TextView::setTextAlignment(TextAlignment a) {
  label_->setTextAlignment(a);
  setNeedsLayout();
}

void TextView::setEditable(bool e) {
  editable_ = e;
  if (!e) resignFirstResponder();
}

void TextView::setTextContainerInset(EdgeInsets e) {
  inset_ = e;
  setNeedsLayout();
}

bool TextView::canBecomeFirstResponder() const {
  return editable_ && window() && !isHidden();
}

TextGeometry TextView::geometry() const {
  TextGeometry g;
  g.text = text();
  g.font = font();
  g.width = std::max(0.0, bounds().width() - inset_.left - inset_.right);
  g.layout = layoutText(text(), font(), g.width, 0, LineBreakMode::WordWrap);
  g.alignment = textAlignment();
  return g;
}

void TextView::layoutSubviews() {
  const TextGeometry g = geometry();
  // A caret on a last empty line needs that line's room too.
  std::size_t lines = std::max<std::size_t>(g.layout.lines.size(), 1);
  double height = text().empty() ? 0 : g.layout.size().height;
  if (isFirstResponder()) height = std::max(height, double(lines) * g.lineHeight());
  label_->setFrame({inset_.left, inset_.top, g.width, height});
  setContentSize({bounds().width(), height + inset_.top + inset_.bottom});
  marks_.update(*this, editor(), isFirstResponder(), g, {inset_.left, inset_.top});
}

void TextView::showMarks(bool scrollToCaret) {
  label_->setText(text());
  setNeedsLayout();
  layoutIfNeeded();
  if (scrollToCaret && isFirstResponder()) {
    Rect caret = marks_.caretRect();
    if (caret.height() > 0) {
      scrollRectToVisible({caret.x(), caret.y() - inset_.top, caret.width(),
                           caret.height() + inset_.top + inset_.bottom},
                          false);
    }
  }
}

Rect TextView::caretRectInWindow() const {
  Rect caret = marks_.caretRect();
  if (caret.height() <= 0)
    caret = {inset_.left, inset_.top, EditingMarks::kCaretWidth, font().lineHeight()};
  return convertRectToView(caret, nullptr);
}

void TextView::textDidChange() {
  showMarks(true);
}

void TextView::selectionDidChange() {
  showMarks(true);
}

std::size_t TextView::lineStart(std::size_t offset) const {
  return geometry().lineStart(offset);
}

std::size_t TextView::lineEnd(std::size_t offset) const {
  return geometry().lineEnd(offset);
}

std::size_t TextView::offsetOnNextLine(std::size_t offset, int direction) const {
  const TextGeometry g = geometry();
  const std::size_t line = g.lineIndexForOffset(offset);
  if (direction < 0 && line == 0) return 0;
  if (direction > 0 && line + 1 >= g.layout.lines.size()) return text().size();
  Point p = g.caretPoint(offset);
  return g.offsetClosestTo({p.x, p.y + g.lineHeight() * (direction < 0 ? -0.5 : 1.5)});
}

void TextView::touchesEnded(const TouchSet& touches, const Event& event) {
  ScrollView::touchesEnded(touches, event);
  if (touches.empty() || !editable_) return;
  if (!becomeFirstResponder()) return;
  layoutIfNeeded();
  Point p = touches.front()->locationInView(this);
  mutableEditor().moveCaretTo(geometry().offsetClosestTo({p.x - inset_.left, p.y - inset_.top}));
  showMarks(false);
}

void TextView::willMoveToWindow(Window* window) {
  ScrollView::willMoveToWindow(window);
  if (!window) resignFirstResponder();
}

}  // namespace lorvane
