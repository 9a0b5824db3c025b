#include "feeds/feed_error_view.h"

#include "platform/ui/font.h"

namespace lorvane {

namespace {
Color panelColor(bool highlighted) {
  return highlighted ? Color::rgb255(64, 40, 82, 0.9) : Color::rgb255(30, 33, 54, 0.86);
}
}  // namespace

FeedErrorView::FeedErrorView(const Rect& frame) : Control(frame) {
  setBackgroundColor(Color::clear());

  panel_ = View::make<View>(Rect{0, 0, kPanelWidth, kPanelHeight});
  panel_->setBackgroundColor(panelColor(false));
  panel_->setUserInteractionEnabled(false);
  panel_->layer().setCornerRadius(12);
  panel_->layer().setBorderWidth(1);
  panel_->layer().setBorderColor(feedAccentColor().withAlpha(0.55));
  panel_->setClipsToBounds(true);
  addSubview(panel_);

  // A short accent stroke above the text, as the selected tab wears one.
  accent_ = View::make<View>(Rect{(kPanelWidth - 28) / 2, 12, 28, 3});
  accent_->setBackgroundColor(feedAccentColor());
  accent_->layer().setCornerRadius(1.5);
  accent_->setUserInteractionEnabled(false);
  panel_->addSubview(accent_);

  message_ = View::make<Label>(Rect{8, 22, kPanelWidth - 16, kPanelHeight - 30});
  message_->setText(kMessage);
  message_->setTextColor(Color::whiteColor().withAlpha(0.92));
  message_->setFont(Font::systemFontOfSize(15));
  message_->setTextAlignment(TextAlignment::Center);
  message_->setBackgroundColor(Color::clear());
  message_->setNumberOfLines(1);
  message_->setUserInteractionEnabled(false);
  panel_->addSubview(message_);
}

void FeedErrorView::layoutSubviews() {
  const Rect b = bounds();
  panel_->setCenter({b.midX(), b.midY()});
}

void FeedErrorView::stateDidChange() {
  panel_->setBackgroundColor(panelColor(isHighlighted()));
}

}  // namespace lorvane
