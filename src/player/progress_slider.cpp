#include "player/progress_slider.h"

namespace lorvane {

ProgressSlider::ProgressSlider() {
  build();
}

ProgressSlider::ProgressSlider(const Rect& frame) : Slider(frame) {
  build();
}

void ProgressSlider::build() {
  minimumValueView_ = View::make<ImageView>(Image::imageNamed("3"));
  maximumValueView_ = View::make<ImageView>(Image::imageNamed("6"));
  minimumValueView_->setUserInteractionEnabled(false);
  maximumValueView_->setUserInteractionEnabled(false);
  // Under the thumb, which the base class keeps on top.
  insertSubviewAtIndex(minimumValueView_, 0);
  insertSubviewAtIndex(maximumValueView_, 0);
  setMinimumTrackImage(Image::imageNamed("2"), ControlStateNormal);
  setMaximumTrackImage(Image::imageNamed("5"), ControlStateNormal);
  setThumbImage(Image::imageNamed("progressButton_h"), ControlStateNormal);
  setThumbImage(Image::imageNamed("ProgressButton"), ControlStateHighlighted);
  setMinimumValue(0);
  setMaximumValue(1);
}

Rect ProgressSlider::trackRectForBounds(const Rect& b) {
  return {b.x() + 3, 22, b.width() - 6, 6};
}

Rect ProgressSlider::thumbRectForBounds(const Rect& b, const Rect&, double value) {
  return {b.width() * value - 25, (b.height() - 51) / 2, 51, 51};
}

void ProgressSlider::layoutSubviews() {
  Slider::layoutSubviews();
  Rect track = trackRectForBounds(bounds());
  minimumValueView_->setFrame({track.x() - 3, track.y(), 3, track.height()});
  maximumValueView_->setFrame({track.maxX(), track.y(), 3, track.height()});
}

VolumeSlider::VolumeSlider() {
  build();
}

VolumeSlider::VolumeSlider(const Rect& frame) : Slider(frame) {
  build();
}

void VolumeSlider::build() {
  setMinimumTrackImage(Image::imageNamed("未标题-1_11"), ControlStateNormal);
  setMaximumTrackImage(Image::imageNamed("未标题-1_04"), ControlStateNormal);
  setThumbImage(Image::imageNamed("volumeButton"), ControlStateNormal);
  setThumbImage(Image::imageNamed("volumeButtonH"), ControlStateHighlighted);
  setMinimumValue(0);
  setMaximumValue(1);
}

Rect VolumeSlider::trackRectForBounds(const Rect& b) {
  return {b.x() + 4, (b.height() - 3) / 2, b.width() - 8, 3};
}

Rect VolumeSlider::thumbRectForBounds(const Rect& b, const Rect&, double value) {
  // The thumb's travel is computed in single precision, as the toolkit's
  // geometry is.
  float along = static_cast<float>(b.width()) * static_cast<float>(value);
  float x = static_cast<float>(along * 0.9);
  return {static_cast<double>(x - 19.0f), -19, 50, 50};
}

VolumeView::VolumeView() {
  build();
}

VolumeView::VolumeView(const Rect& frame) : View(frame) {
  build();
}

void VolumeView::build() {
  setBackgroundColor(Color::black().withAlpha(0.4));
  layer().setCornerRadius(12);
  layer().setBorderColor(Color::black());
  setVolumeSlider(View::make<VolumeSlider>(Rect{}));
}

void VolumeView::setVolumeSlider(std::shared_ptr<VolumeSlider> slider) {
  if (volumeSlider_ == slider) return;
  if (volumeSlider_) volumeSlider_->removeFromSuperview();
  volumeSlider_ = std::move(slider);
  if (volumeSlider_) addSubview(volumeSlider_);
  setNeedsLayout();
}

void VolumeView::layoutSubviews() {
  if (!volumeSlider_) return;
  Rect b = bounds();
  // Reset first so that repeated passes never turn it further.
  volumeSlider_->setTransform(AffineTransform::identity());
  volumeSlider_->setBounds({0, 0, b.height() - 20, 10});
  volumeSlider_->setCenter({b.width() / 2, b.height() / 2});
  volumeSlider_->setTransform(AffineTransform::rotation(static_cast<float>(-kPi / 2)));
}

}  // namespace lorvane
