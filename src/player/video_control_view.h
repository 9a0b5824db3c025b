#pragma once

#include <memory>
#include <mutex>
#include <string>

#include "platform/foundation/video_frame.h"
#include "platform/media/player_interface.h"
#include "platform/ui/button.h"
#include "platform/ui/label.h"
#include "platform/ui/slider.h"
#include "platform/ui/view.h"
#include "player/progress_slider.h"

namespace lorvane {

// What the overlay's layer draws: the current picture of whichever player
// it is given (the player's own video layer, seen from the view).
class PlayerFrameSource : public VideoFrameSource {
 public:
  PlayerPtr player() const;
  void setPlayer(PlayerPtr player);
  std::shared_ptr<const VideoFrame> currentFrame() const override;

 private:
  mutable std::mutex mutex_;
  PlayerPtr player_;
};

// The player's root view: the video fills it, and over the picture sit a
// translucent head bar (back, title, speed), a bottom bar (play/pause,
// scrubber with the buffered fraction beneath it, clock, volume,
// full screen), the upright volume panel and a centred activity indicator.
// It holds no playback logic; the controller drives every control.
class VideoControlView : public View {
 public:
  static constexpr int kSpeedTagInitial = 10;
  static constexpr double kHeadBarHeight = 33;
  static constexpr double kBottomBarHeight = 51;
  static constexpr double kCaptionHeight = 40;

  VideoControlView();
  explicit VideoControlView(const Rect& frame);

  // The player whose pictures the view shows. Setting one also puts both
  // bars on top of everything else.
  PlayerPtr player() const { return frameSource_->player(); }
  void setPlayer(PlayerPtr player);
  void setTitle(const std::string& title);

  Button& backButton() const { return *backButton_; }
  Label& titleLabel() const { return *titleLabel_; }
  View& headControlBar() const { return *headControlBar_; }
  View& bottomControlBar() const { return *bottomControlBar_; }
  Button& playPauseButton() const { return *playPauseButton_; }
  Button& volumeButton() const { return *volumeButton_; }
  ProgressSlider& videoScrubber() const { return *videoScrubber_; }
  Label& timeLabel() const { return *timeLabel_; }
  ProgressView& progressView() const { return *progressView_; }
  std::shared_ptr<VolumeView> volumeControlView() const { return volumeControlView_; }
  void setVolumeControlView(std::shared_ptr<VolumeView> view);
  Button& doublePlayButton() const { return *doublePlayButton_; }
  Button& fullScreenButton() const { return *fullScreenButton_; }
  ActivityIndicatorView& activityIndicator() const { return *activityIndicator_; }
  // The captions, over the picture just above the bottom bar, under the
  // bars; and the study bar while it sits over the picture (landscape),
  // under the head bar.
  void setCaptionView(std::shared_ptr<View> view);
  View* captionView() const { return captionView_.get(); }
  void setStudyBarView(std::shared_ptr<View> view);
  View* studyBarView() const { return studyBarView_.get(); }

  // The superview width from which the layout is landscape.
  static constexpr double kLandscapeMinimumWidth = 321;
  bool isLandscapeLayout() const;

  void layoutSubviews() override;

 private:
  void build();

  std::shared_ptr<PlayerFrameSource> frameSource_;
  std::shared_ptr<Button> backButton_;
  std::shared_ptr<Label> titleLabel_;
  std::shared_ptr<View> headControlBar_;
  std::shared_ptr<View> bottomControlBar_;
  std::shared_ptr<Button> playPauseButton_;
  std::shared_ptr<Button> volumeButton_;
  std::shared_ptr<ProgressSlider> videoScrubber_;
  std::shared_ptr<Label> timeLabel_;
  std::shared_ptr<ProgressView> progressView_;
  std::shared_ptr<VolumeView> volumeControlView_;
  std::shared_ptr<Button> doublePlayButton_;
  std::shared_ptr<Button> fullScreenButton_;
  std::shared_ptr<ActivityIndicatorView> activityIndicator_;
  std::shared_ptr<View> captionView_;
  std::shared_ptr<View> studyBarView_;
};

}  // namespace lorvane
