#include "platform/ui/text_view.h"

#include "platform/ui/font.h"

namespace lorvane {

namespace {
TextView*& focusSlot() {
  static TextView* focusedView = nullptr;
  return focusedView;
}
}  // namespace

TextView::TextView() : TextView(Rect{}) {}

TextView::TextView(const Rect& frame) : ScrollView(frame) {
  setBackgroundColor(Color::whiteColor());
  label_ = std::make_shared<Label>();
  label_->setNumberOfLines(0);
  label_->setLineBreakMode(LineBreakMode::WordWrap);
  label_->setFont(Font::systemFontOfSize(12));
  addSubview(label_);
  setNeedsLayout();
}

TextView::~TextView() {
  if (focusSlot() == this) focusSlot() = nullptr;
}

void TextView::setText(std::string text) {
  label_->setText(std::move(text));
  setNeedsLayout();
}

void TextView::setFont(const Font& font) {
  label_->setFont(font);
  setNeedsLayout();
}

void TextView::setEditable(bool e) {
  editable_ = e;
  if (!e) resignFocused();
}

void TextView::setTextContainerInset(EdgeInsets e) {
  inset_ = e;
  setNeedsLayout();
}

void TextView::layoutSubviews() {
  double width = std::max(0.0, bounds().width() - inset_.left - inset_.right);
  Size needed = sizeWithFont(label_->text(), label_->font(), width, LineBreakMode::WordWrap);
  label_->setFrame({inset_.left, inset_.top, width, needed.height});
  setContentSize({bounds().width(), needed.height + inset_.top + inset_.bottom});
}

void TextView::insertText(const std::string& text) {
  if (!editable_) return;
  setText(label_->text() + text);
}

void TextView::deleteBackward() {
  if (!editable_) return;
  auto cps = decodeUtf8(label_->text());
  if (cps.empty()) return;
  cps.pop_back();
  setText(encodeUtf8(cps));
}

TextView* TextView::focused() {
  return focusSlot();
}

void TextView::becomeFocused() {
  if (editable_) focusSlot() = this;
}

void TextView::resignFocused() {
  if (focusSlot() == this) focusSlot() = nullptr;
}

void TextView::touchesEnded(const TouchSet& touches, const Event& event) {
  ScrollView::touchesEnded(touches, event);
  becomeFocused();
}

}  // namespace lorvane
