#include "player/three_status_slider.h"

#include <algorithm>
#include <cstdlib>

#include "platform/ui/font.h"

namespace lorvane {

namespace {
std::string integerText(float value) {
  return std::to_string(static_cast<int>(value));
}
}  // namespace

NOThreeStatusSlider::NOThreeStatusSlider() = default;

NOThreeStatusSlider::NOThreeStatusSlider(const Rect& frame) : View(frame) {}

NOThreeStatusSlider::NOThreeStatusSlider(float minValue, float maxValue)
    : fMinValue_(minValue), fMaxValue_(maxValue), fEnabledValue_(0) {
  create();
  setFrame(frame());
}

void NOThreeStatusSlider::create() {
  if (lTextLabel_) return;
  lTextLabel_ = View::make<Label>();
  rTextLabel_ = View::make<Label>();
  for (auto* label : {lTextLabel_.get(), rTextLabel_.get()}) {
    label->setBackgroundColor(Color::clear());
    label->setTextAlignment(TextAlignment::Center);
  }
  thumb_ = View::make<ImageView>();
  status1_ = View::make<ImageView>();
  status2_ = View::make<ImageView>();
  status3_ = View::make<ImageView>();
  addSubview(lTextLabel_);
  addSubview(rTextLabel_);
  addSubview(thumb_);
  addSubview(status1_);
  addSubview(status3_);
  addSubview(status2_);  // the loaded stretch lies over the rest of the track
  setCurrentValue(fMinValue_);
}

float NOThreeStatusSlider::getWidthOfString(const std::string& text) const {
  Font font = lTextLabel_ ? lTextLabel_->font() : Label().font();
  return static_cast<float>(measureTextWidth(text, font));
}

float NOThreeStatusSlider::labelWidth() const {
  float widthOfMin = getWidthOfString(integerText(fMinValue_));
  float widest = fMaxValue_ > 0 ? -fMaxValue_ : fMaxValue_;
  float widthOfMax = getWidthOfString(integerText(widest));
  return std::max(widthOfMin, widthOfMax);
}

float NOThreeStatusSlider::currentLabelWidth() const {
  return lTextLabel_ ? static_cast<float>(lTextLabel_->frame().width()) : 0.0f;
}

float NOThreeStatusSlider::currentThumbWidth() const {
  return thumb_ ? static_cast<float>(thumb_->frame().width()) : 0.0f;
}

float NOThreeStatusSlider::trackLength() const {
  return static_cast<float>(frame().width()) - 2 * (currentLabelWidth() + kGap) -
         currentThumbWidth();
}

float NOThreeStatusSlider::getButtonXWithValue(float value) const {
  float range = fMaxValue_ - fMinValue_;
  float start = currentLabelWidth() + static_cast<float>(kGap);
  // An empty range has nowhere to go: keep the thumb at the start.
  if (range == 0) return start;
  return (value - fMinValue_) * trackLength() / range + start;
}

float NOThreeStatusSlider::getXStatus2WithValue(float value) const {
  return getButtonXWithValue(value) + currentThumbWidth();
}

float NOThreeStatusSlider::getCurrentValueWithButtonX(float x) const {
  float length = trackLength();
  if (length <= 0) return fMinValue_;
  return fMinValue_ +
         (x - currentLabelWidth() - static_cast<float>(kGap)) * (fMaxValue_ - fMinValue_) / length;
}

Rect NOThreeStatusSlider::adjustFrame(const Rect& r) const {
  float lw = labelWidth();
  double s1 = status1_ ? status1_->frame().width() : 0;
  double s3 = status3_ ? status3_->frame().width() : 0;
  double s3Reserved = (s1 == 0 && s3 == 0) ? 20 : s3;
  double minWidth = 2 * (lw + kGap) + currentThumbWidth() + s1 + s3Reserved;
  double labelHeight = lTextLabel_ ? lTextLabel_->frame().height() : 0;
  double height = r.height();
  if (height < labelHeight) {
    height = labelHeight;
  } else if (height == 0) {
    height = kDefaultHeight;
  }
  return {r.x(), r.y(), std::max(r.width(), minWidth), height};
}

void NOThreeStatusSlider::setFrame(const Rect& frame) {
  Rect adjusted = adjustFrame(frame);
  View::setFrame(adjusted);
  if (adjusted.width() != 0 && adjusted.height() != 0) adjust();
}

void NOThreeStatusSlider::adjust() {
  if (!lTextLabel_ || !rTextLabel_ || !thumb_ || !status1_ || !status2_) return;
  // Nothing can be placed in an empty frame (the parts would get negative
  // widths); the first real frame places them.
  if (frame().width() == 0 || frame().height() == 0) return;
  const double W = frame().width();
  const double lw = labelWidth();
  lTextLabel_->setFrame({0, 0, lw, kLabelHeight});
  rTextLabel_->setFrame({W - lw, 0, lw, kLabelHeight});
  double x = getButtonXWithValue(getCurrentValue());
  thumb_->setFrame({x, kThumbY, kThumbSize, kThumbSize});
  status1_->setFrame({lw + kGap, kTrackY, x - (lw + kGap), kTrackHeight});
  if (status3_) {
    status3_->setFrame({x + kThumbSize, kTrackY, (W - lw) - (x + kThumbSize) - kGap, kTrackHeight});
  }
  double enabledEnd = getXStatus2WithValue(fEnabledValue_);
  if (enabledEnd > x + kThumbSize) {
    status2_->setFrame({x + kThumbSize, kTrackY, enabledEnd - (x + kThumbSize), kTrackHeight});
    status2_->setHidden(false);
  } else {
    status2_->setHidden(true);
  }
}

float NOThreeStatusSlider::getCurrentValue() const {
  if (!lTextLabel_) return 0;
  // The value lives in the label's text, so it is always a whole number.
  return std::strtof(lTextLabel_->text().c_str(), nullptr);
}

void NOThreeStatusSlider::setCurrentValue(float value) {
  float k = std::max(value, fMinValue_);
  k = std::min(k, fMaxValue_);
  if (!lTextLabel_) return;
  lTextLabel_->setText(integerText(k));
  rTextLabel_->setText(integerText(k - fMaxValue_));
  lTextLabel_->setHidden(true);
  rTextLabel_->setHidden(true);
  adjust();
}

void NOThreeStatusSlider::setEnabledValue(float value) {
  fEnabledValue_ = std::min(std::max(value, fMinValue_), fMaxValue_);
  adjust();
}

void NOThreeStatusSlider::setButtonImage(ImagePtr image) {
  if (thumb_) thumb_->setImage(std::move(image));
}
void NOThreeStatusSlider::setStatus1Image(ImagePtr image) {
  if (status1_) status1_->setImage(std::move(image));
}
void NOThreeStatusSlider::setStatus2Image(ImagePtr image) {
  if (status2_) status2_->setImage(std::move(image));
}
void NOThreeStatusSlider::setStatus3Image(ImagePtr image) {
  if (status3_) status3_->setImage(std::move(image));
}

void NOThreeStatusSlider::touchesBegan(const TouchSet& touches, const Event&) {
  if (touches.empty() || !thumb_) return;
  Point p = touches.front()->locationInView(this);
  Rect t = thumb_->frame();
  if (p.x > t.x() && p.x < t.x() + t.width() && p.y > t.y() && p.y < t.y() + t.height()) {
    bButtonClicked_ = true;
    xOffset_ = static_cast<float>(p.x - t.x());
  }
}

void NOThreeStatusSlider::touchesMoved(const TouchSet& touches, const Event&) {
  if (!bButtonClicked_ || touches.empty()) return;
  float x = static_cast<float>(touches.front()->locationInView(this).x);
  Rect left = lTextLabel_->frame();
  Rect right = rTextLabel_->frame();
  float lower = static_cast<float>(left.x() + left.width() + kGap) + xOffset_;
  float upper = static_cast<float>(right.x() - kGap) - (currentThumbWidth() - xOffset_);
  x = std::max(x, lower);
  x = std::min(x, upper);
  float value = getCurrentValueWithButtonX(x - xOffset_);
  setCurrentValue(value);
  if (delegate_) delegate_->thumbMoved(value);
}

void NOThreeStatusSlider::touchesEnded(const TouchSet&, const Event&) {
  endDrag();
}

void NOThreeStatusSlider::touchesCancelled(const TouchSet&, const Event&) {
  endDrag();
}

void NOThreeStatusSlider::endDrag() {
  bButtonClicked_ = false;
  xOffset_ = 0;
}

}  // namespace lorvane
