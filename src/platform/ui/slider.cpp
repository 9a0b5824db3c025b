#include "platform/ui/slider.h"

#include <algorithm>
#include <cmath>

#include "platform/ui/gesture_recognizer.h"

namespace lorvane {

namespace {
constexpr double kDefaultThumbSize = 28;
constexpr double kDefaultTrackHeight = 2;
// The thumb takes touches a little beyond its picture.
constexpr double kThumbTouchMargin = 10;

template <class Map>
ImagePtr imageFor(const Map& images, unsigned state) {
  auto it = images.find(state);
  if (it != images.end()) return it->second;
  if (state & ControlStateHighlighted) {
    it = images.find(ControlStateHighlighted);
    if (it != images.end()) return it->second;
  }
  it = images.find(ControlStateNormal);
  return it == images.end() ? nullptr : it->second;
}
}  // namespace

Slider::Slider() : Slider(Rect{}) {}

Slider::Slider(const Rect& frame) : Control(frame) {
  setOpaque(false);
  minTrackView_ = std::make_shared<ImageView>();
  maxTrackView_ = std::make_shared<ImageView>();
  thumbView_ = std::make_shared<ImageView>();
  addSubview(minTrackView_);
  addSubview(maxTrackView_);
  addSubview(thumbView_);
  refresh();
}

void Slider::setValue(double value, bool animated) {
  double v = std::clamp(value, minimum_, maximum_);
  if (std::isnan(value)) v = minimum_;
  value_ = v;
  if (animated) {
    animateWithDuration(0.2, [this] { layoutSubviews(); });
  } else {
    setNeedsLayout();
  }
}

void Slider::setMinimumValue(double v) {
  minimum_ = v;
  if (maximum_ < minimum_) maximum_ = minimum_;
  setValue(value_);
}

void Slider::setMaximumValue(double v) {
  maximum_ = v;
  if (minimum_ > maximum_) minimum_ = maximum_;
  setValue(value_);
}

void Slider::setThumbImage(ImagePtr image, unsigned state) {
  if (image)
    thumbImages_[state] = std::move(image);
  else
    thumbImages_.erase(state);
  refresh();
}
void Slider::setMinimumTrackImage(ImagePtr image, unsigned state) {
  if (image)
    minTrackImages_[state] = std::move(image);
  else
    minTrackImages_.erase(state);
  refresh();
}
void Slider::setMaximumTrackImage(ImagePtr image, unsigned state) {
  if (image)
    maxTrackImages_[state] = std::move(image);
  else
    maxTrackImages_.erase(state);
  refresh();
}
ImagePtr Slider::thumbImageForState(unsigned state) const {
  return imageFor(thumbImages_, state);
}
ImagePtr Slider::minimumTrackImageForState(unsigned state) const {
  return imageFor(minTrackImages_, state);
}
ImagePtr Slider::maximumTrackImageForState(unsigned state) const {
  return imageFor(maxTrackImages_, state);
}

Rect Slider::trackRectForBounds(const Rect& b) {
  double h = kDefaultTrackHeight;
  if (auto img = minimumTrackImageForState(state())) h = img->size().height;
  return {b.x(), b.midY() - h / 2, b.width(), h};
}

Rect Slider::thumbRectForBounds(const Rect&, const Rect& track, double value) {
  Size s{kDefaultThumbSize, kDefaultThumbSize};
  if (auto img = currentThumbImage()) s = img->size();
  double range = maximum_ - minimum_;
  double fraction = range > 0 ? (value - minimum_) / range : 0;
  double x = track.x() + fraction * std::max(0.0, track.width() - s.width);
  return {x, track.midY() - s.height / 2, s.width, s.height};
}

void Slider::refresh() {
  unsigned s = state();
  auto thumb = thumbImageForState(s);
  auto minTrack = minimumTrackImageForState(s);
  auto maxTrack = maximumTrackImageForState(s);
  thumbView_->setImage(thumb);
  minTrackView_->setImage(minTrack);
  maxTrackView_->setImage(maxTrack);
  // Without pictures the parts are drawn in their tint colours.
  thumbView_->setBackgroundColor(thumb ? Color::clear() : thumbTint_);
  thumbView_->layer().setCornerRadius(thumb ? 0 : kDefaultThumbSize / 2);
  thumbView_->layer().setBorderWidth(thumb ? 0 : 0.5);
  thumbView_->layer().setBorderColor(Color::white(0, 0.15));
  minTrackView_->setBackgroundColor(minTrack ? Color::clear() : minimumTint_);
  maxTrackView_->setBackgroundColor(maxTrack ? Color::clear() : maximumTint_);
  setNeedsLayout();
}

void Slider::layoutSubviews() {
  Rect b = bounds();
  Rect track = trackRectForBounds(b);
  Rect thumb = thumbRectForBounds(b, track, value_);
  double split = std::clamp(thumb.midX(), track.minX(), track.maxX());
  minTrackView_->setFrame({track.x(), track.y(), split - track.x(), track.height()});
  maxTrackView_->setFrame({split, track.y(), track.maxX() - split, track.height()});
  thumbView_->setFrame(thumb);
}

double Slider::valueForThumbX(double x) {
  // The finger maps back along the travel the thumb is drawn on, whatever
  // rectangles a subclass answers, so the thumb stays under the finger.
  Rect b = bounds();
  Rect track = trackRectForBounds(b);
  double first = thumbRectForBounds(b, track, minimum_).x();
  double last = thumbRectForBounds(b, track, maximum_).x();
  double travel = last - first;
  if (!(std::fabs(travel) > 1e-9)) return minimum_;
  return minimum_ + (x - first) / travel * (maximum_ - minimum_);
}

bool Slider::beginTracking(const Touch& touch, const Event&) {
  Point p = touch.locationInView(this);
  Rect b = bounds();
  Rect thumb = thumbRectForBounds(b, trackRectForBounds(b), value_);
  if (!thumb.insetBy(-kThumbTouchMargin, -kThumbTouchMargin).contains(p)) return false;
  dragging_ = true;
  grabOffset_ = p.x - thumb.x();
  valueAtGrab_ = value_;
  refresh();
  return true;
}

bool Slider::continueTracking(const Touch& touch, const Event&) {
  if (!dragging_) return false;
  double old = value_;
  Point p = touch.locationInView(this);
  setValue(valueForThumbX(p.x - grabOffset_));
  layoutIfNeeded();
  if (continuous_ && value_ != old) sendActionsForControlEvents(ControlEventValueChanged);
  return true;
}

void Slider::endTracking(const Touch*, const Event&) {
  bool was = dragging_;
  dragging_ = false;
  if (was && !continuous_ && value_ != valueAtGrab_) {
    sendActionsForControlEvents(ControlEventValueChanged);
  }
  refresh();
}

void Slider::cancelTracking(const Event& event) {
  endTracking(nullptr, event);
}

bool Slider::gestureRecognizerShouldBegin(GestureRecognizer& recognizer) {
  // A drag that starts on the thumb belongs to the slider.
  if (recognizer.view() != this && dynamic_cast<PanGestureRecognizer*>(&recognizer)) {
    Rect b = bounds();
    Rect thumb = thumbRectForBounds(b, trackRectForBounds(b), value_);
    if (dragging_ || thumb.insetBy(-kThumbTouchMargin, -kThumbTouchMargin)
                         .contains(recognizer.locationInView(this))) {
      return false;
    }
  }
  return Control::gestureRecognizerShouldBegin(recognizer);
}

// ---- progress view ----

ProgressView::ProgressView() : ProgressView(Rect{}) {}

ProgressView::ProgressView(const Rect& frame) : View(frame) {
  trackView_ = std::make_shared<ImageView>();
  progressView_ = std::make_shared<ImageView>();
  addSubview(trackView_);
  addSubview(progressView_);
  setProgressTintColor(progressTint_);
  setTrackTintColor(trackTint_);
  setUserInteractionEnabled(false);
}

void ProgressView::setProgress(double p, bool animated) {
  progress_ = std::isnan(p) ? 0 : std::clamp(p, 0.0, 1.0);
  if (animated) {
    animateWithDuration(0.2, [this] { layoutSubviews(); });
  } else {
    setNeedsLayout();
  }
}

void ProgressView::setProgressTintColor(Color c) {
  progressTint_ = c;
  progressView_->setBackgroundColor(progressView_->image() ? Color::clear() : c);
}

void ProgressView::setTrackTintColor(Color c) {
  trackTint_ = c;
  trackView_->setBackgroundColor(trackView_->image() ? Color::clear() : c);
}

void ProgressView::setProgressImage(ImagePtr image) {
  progressView_->setImage(std::move(image));
  setProgressTintColor(progressTint_);
}

void ProgressView::setTrackImage(ImagePtr image) {
  trackView_->setImage(std::move(image));
  setTrackTintColor(trackTint_);
}

void ProgressView::layoutSubviews() {
  Rect b = bounds();
  trackView_->setFrame(b);
  progressView_->setFrame({b.x(), b.y(), b.width() * progress_, b.height()});
}

// ---- activity indicator ----

ActivityIndicatorView::ActivityIndicatorView(ActivityIndicatorViewStyle style) : style_(style) {
  setOpaque(false);
  setUserInteractionEnabled(false);
  setActivityIndicatorViewStyle(style);
  Size s = sizeThatFits({});
  setFrame({0, 0, s.width, s.height});
  setHidden(true);
}

void ActivityIndicatorView::setActivityIndicatorViewStyle(ActivityIndicatorViewStyle style) {
  style_ = style;
  color_ = style == ActivityIndicatorViewStyle::Gray ? Color::gray() : Color::whiteColor();
  refresh();
}

Size ActivityIndicatorView::sizeThatFits(Size) const {
  return style_ == ActivityIndicatorViewStyle::WhiteLarge ? Size{37, 37} : Size{20, 20};
}

void ActivityIndicatorView::startAnimating() {
  animating_ = true;
  setHidden(false);
  refresh();
}

void ActivityIndicatorView::stopAnimating() {
  animating_ = false;
  if (hidesWhenStopped_) setHidden(true);
  refresh();
}

void ActivityIndicatorView::setHidesWhenStopped(bool h) {
  hidesWhenStopped_ = h;
  if (!animating_) setHidden(h);
}

void ActivityIndicatorView::setColor(Color c) {
  color_ = c;
  refresh();
}

void ActivityIndicatorView::refresh() {
  layer().setSpinnerContent(SpinnerContent{color_, animating_});
}

}  // namespace lorvane
