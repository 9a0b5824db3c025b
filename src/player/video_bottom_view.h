#pragma once

#include <memory>
#include <string>

#include "platform/ui/button.h"
#include "platform/ui/label.h"
#include "platform/ui/view.h"
#include "player/three_status_slider.h"

namespace lorvane {

// A standalone bottom bar of the player's family: play/pause, the
// three-state slider, a volume button and the current and total times.
class VideoBottomView : public View {
 public:
  // The slider's range: per cent of the lesson.
  static constexpr float kSliderMinimum = 0;
  static constexpr float kSliderMaximum = 100;

  VideoBottomView();
  explicit VideoBottomView(const Rect& frame);

  std::shared_ptr<View> bottomControlBar() const { return bottomControlBar_; }
  void setBottomControlBar(std::shared_ptr<View> v) { bottomControlBar_ = std::move(v); }
  std::shared_ptr<Button> playPauseButton() const { return playPauseButton_; }
  void setPlayPauseButton(std::shared_ptr<Button> b) { playPauseButton_ = std::move(b); }
  std::shared_ptr<NOThreeStatusSlider> videoProgressSlider() const { return videoProgressSlider_; }
  void setVideoProgressSlider(std::shared_ptr<NOThreeStatusSlider> s) {
    videoProgressSlider_ = std::move(s);
  }
  std::shared_ptr<Button> volumeButton() const { return volumeButton_; }
  void setVolumeButton(std::shared_ptr<Button> b) { volumeButton_ = std::move(b); }
  std::shared_ptr<Label> currentTimeLabel() const { return currentTimeLabel_; }
  void setCurrentTimeLabel(std::shared_ptr<Label> l) { currentTimeLabel_ = std::move(l); }
  std::shared_ptr<Label> totalTimeLabel() const { return totalTimeLabel_; }
  void setTotalTimeLabel(std::shared_ptr<Label> l) { totalTimeLabel_ = std::move(l); }

  void setCurrentTimeLabelText(const std::string& text);
  void setTotalTimeLabelText(const std::string& text);
  void layoutSubviews() override;

 private:
  void build();
  std::shared_ptr<View> bottomControlBar_;
  std::shared_ptr<Button> playPauseButton_;
  std::shared_ptr<NOThreeStatusSlider> videoProgressSlider_;
  std::shared_ptr<Button> volumeButton_;
  std::shared_ptr<Label> currentTimeLabel_;
  std::shared_ptr<Label> totalTimeLabel_;
};

}  // namespace lorvane
