#include "player/progress_hud.h"

namespace lorvane {

ProgressHUD::ProgressHUD() {
  build();
}

ProgressHUD::ProgressHUD(const Rect& frame) : View(frame) {
  build();
}

void ProgressHUD::build() {
  setBackgroundColor(Color::clear());
  layer().setBackgroundColor(Color::black().withAlpha(0.4));
  layer().setCornerRadius(8);
  // Stays centred when the player turns: the margins give, the size not.
  setAutoresizingMask(AutoresizingFlexibleLeftMargin | AutoresizingFlexibleRightMargin |
                      AutoresizingFlexibleTopMargin | AutoresizingFlexibleBottomMargin);
  HUDImageView_ = View::make<ImageView>();
  addSubview(HUDImageView_);
  label_ = View::make<Label>(Rect{});
  label_->setTag(kLabelTag);
  label_->setBackgroundColor(Color::clear());
  label_->setTextAlignment(TextAlignment::Center);
  label_->setTextColor(Color::whiteColor());
  label_->setFont(Font::systemFontOfSize(12));
  addSubview(label_);
  setNeedsLayout();
}

void ProgressHUD::setHUDImage(ImagePtr image) {
  HUDImageView_->setImage(std::move(image));
}

void ProgressHUD::setCurrentTime(const std::string& text) {
  label_->setText(text);
}

void ProgressHUD::layoutSubviews() {
  HUDImageView_->setFrame(bounds());
  Rect f = frame();
  label_->setFrame({0, f.height() / 2, f.width(), f.height() / 2});
}

}  // namespace lorvane
