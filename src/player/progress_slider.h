#pragma once

#include <memory>

#include "platform/ui/slider.h"

namespace lorvane {

// The player's scrubber: the fraction of the lesson played, 0 to 1, on a
// 6-point track at y 22 with a 51-point thumb. The end caps "3" and "6" sit
// just left and right of the track.
class ProgressSlider : public Slider {
 public:
  ProgressSlider();
  explicit ProgressSlider(const Rect& frame);

  Rect trackRectForBounds(const Rect& bounds) override;
  Rect thumbRectForBounds(const Rect& bounds, const Rect& trackRect, double value) override;
  void layoutSubviews() override;

  ImagePtr minimumValueImage() const { return minimumValueView_->image(); }
  ImagePtr maximumValueImage() const { return maximumValueView_->image(); }
  ImageView& minimumValueImageView() const { return *minimumValueView_; }
  ImageView& maximumValueImageView() const { return *maximumValueView_; }

 private:
  void build();
  std::shared_ptr<ImageView> minimumValueView_;
  std::shared_ptr<ImageView> maximumValueView_;
};

// The volume slider, 0 to 1, on a 3-point track; the volume panel stands it
// upright.
class VolumeSlider : public Slider {
 public:
  VolumeSlider();
  explicit VolumeSlider(const Rect& frame);

  Rect trackRectForBounds(const Rect& bounds) override;
  Rect thumbRectForBounds(const Rect& bounds, const Rect& trackRect, double value) override;

 private:
  void build();
};

// The translucent rounded panel beside the volume button (landscape) that
// holds one upright VolumeSlider, minimum at the bottom.
class VolumeView : public View {
 public:
  VolumeView();
  explicit VolumeView(const Rect& frame);

  std::shared_ptr<VolumeSlider> volumeSlider() const { return volumeSlider_; }
  void setVolumeSlider(std::shared_ptr<VolumeSlider> slider);

  void layoutSubviews() override;

 private:
  void build();
  std::shared_ptr<VolumeSlider> volumeSlider_;
};

}  // namespace lorvane
