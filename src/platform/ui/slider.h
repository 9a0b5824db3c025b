#pragma once

#include <map>

#include "platform/ui/control.h"
#include "platform/ui/label.h"

namespace lorvane {

// A thumb on a track between a minimum and a maximum. Dragging the thumb
// changes the value; touching the track elsewhere does nothing. Subclasses
// may move the track and the thumb by overriding the two rectangles.
class Slider : public Control {
 public:
  Slider();
  explicit Slider(const Rect& frame);

  double value() const { return value_; }
  void setValue(double value) { setValue(value, false); }
  void setValue(double value, bool animated);
  double minimumValue() const { return minimum_; }
  void setMinimumValue(double v);
  double maximumValue() const { return maximum_; }
  void setMaximumValue(double v);
  bool isContinuous() const { return continuous_; }
  void setContinuous(bool c) { continuous_ = c; }

  void setThumbImage(ImagePtr image, unsigned state);
  void setMinimumTrackImage(ImagePtr image, unsigned state);
  void setMaximumTrackImage(ImagePtr image, unsigned state);
  ImagePtr thumbImageForState(unsigned state) const;
  ImagePtr minimumTrackImageForState(unsigned state) const;
  ImagePtr maximumTrackImageForState(unsigned state) const;
  ImagePtr currentThumbImage() const { return thumbImageForState(state()); }
  Color minimumTrackTintColor() const { return minimumTint_; }
  void setMinimumTrackTintColor(Color c) {
    minimumTint_ = c;
    refresh();
  }
  Color maximumTrackTintColor() const { return maximumTint_; }
  void setMaximumTrackTintColor(Color c) {
    maximumTint_ = c;
    refresh();
  }
  Color thumbTintColor() const { return thumbTint_; }
  void setThumbTintColor(Color c) {
    thumbTint_ = c;
    refresh();
  }

  virtual Rect trackRectForBounds(const Rect& bounds);
  virtual Rect thumbRectForBounds(const Rect& bounds, const Rect& trackRect, double value);

  bool beginTracking(const Touch& touch, const Event& event) override;
  bool continueTracking(const Touch& touch, const Event& event) override;
  void endTracking(const Touch* touch, const Event& event) override;
  void cancelTracking(const Event& event) override;
  bool gestureRecognizerShouldBegin(GestureRecognizer& recognizer) override;
  void layoutSubviews() override;

  View& thumbView() const { return *thumbView_; }

 protected:
  void stateDidChange() override { refresh(); }

 private:
  void refresh();
  double valueForThumbX(double x);

  double value_ = 0;
  double minimum_ = 0;
  double maximum_ = 1;
  bool continuous_ = true;
  bool dragging_ = false;
  double grabOffset_ = 0;
  double valueAtGrab_ = 0;
  std::map<unsigned, ImagePtr> thumbImages_, minTrackImages_, maxTrackImages_;
  Color minimumTint_ = Color::rgb255(0, 122, 255);
  Color maximumTint_ = Color::rgb255(183, 183, 183);
  Color thumbTint_ = Color::whiteColor();
  std::shared_ptr<ImageView> minTrackView_;
  std::shared_ptr<ImageView> maxTrackView_;
  std::shared_ptr<ImageView> thumbView_;
};

// A bar that fills from the left with the progress, 0 to 1.
class ProgressView : public View {
 public:
  ProgressView();
  explicit ProgressView(const Rect& frame);
  double progress() const { return progress_; }
  void setProgress(double p, bool animated = false);
  Color progressTintColor() const { return progressTint_; }
  void setProgressTintColor(Color c);
  Color trackTintColor() const { return trackTint_; }
  void setTrackTintColor(Color c);
  void setProgressImage(ImagePtr image);
  void setTrackImage(ImagePtr image);
  ImagePtr progressImage() const { return progressView_->image(); }
  ImagePtr trackImage() const { return trackView_->image(); }
  void layoutSubviews() override;
  Size sizeThatFits(Size size) const override { return {size.width, 2}; }

 private:
  double progress_ = 0;
  Color progressTint_ = Color::rgb255(0, 122, 255);
  Color trackTint_ = Color::rgb255(183, 183, 183);
  std::shared_ptr<ImageView> trackView_;
  std::shared_ptr<ImageView> progressView_;
};

enum class ActivityIndicatorViewStyle { WhiteLarge = 0, White = 1, Gray = 2 };

// The spinning wheel shown while something loads.
class ActivityIndicatorView : public View {
 public:
  explicit ActivityIndicatorView(
      ActivityIndicatorViewStyle style = ActivityIndicatorViewStyle::White);
  ActivityIndicatorViewStyle style() const { return style_; }
  void setActivityIndicatorViewStyle(ActivityIndicatorViewStyle style);
  void startAnimating();
  void stopAnimating();
  bool isAnimating() const { return animating_; }
  bool hidesWhenStopped() const { return hidesWhenStopped_; }
  void setHidesWhenStopped(bool h);
  Color color() const { return color_; }
  void setColor(Color c);
  Size sizeThatFits(Size) const override;

 private:
  void refresh();
  ActivityIndicatorViewStyle style_;
  bool animating_ = false;
  bool hidesWhenStopped_ = true;
  Color color_;
};

}  // namespace lorvane
