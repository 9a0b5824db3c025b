#include "player/video_bottom_view.h"

#include <algorithm>

namespace lorvane {

VideoBottomView::VideoBottomView() {
  build();
}

VideoBottomView::VideoBottomView(const Rect& frame) : View(frame) {
  build();
}

void VideoBottomView::build() {
  bottomControlBar_ = View::make<View>();
  bottomControlBar_->setOpaque(false);
  bottomControlBar_->setBackgroundColor(Color::black().withAlpha(0.6));
  addSubview(bottomControlBar_);

  playPauseButton_ = Button::buttonWithType(ButtonType::Custom);
  playPauseButton_->setImage(Image::imageNamed("16-视频课程播放--切图-恢复的2_10"),
                             ControlStateNormal);
  playPauseButton_->setImage(Image::imageNamed("2_10"), ControlStateHighlighted);
  addSubview(playPauseButton_);

  // Built with a range so that its parts exist; a slider without them
  // could never show or move.
  videoProgressSlider_ = View::make<NOThreeStatusSlider>(kSliderMinimum, kSliderMaximum);
  videoProgressSlider_->setStatus1Image(Image::imageNamed("音量1"));
  videoProgressSlider_->setStatus3Image(Image::imageNamed("音量2png"));
  addSubview(videoProgressSlider_);

  volumeButton_ = Button::buttonWithType(ButtonType::Custom);
  volumeButton_->setImage(Image::imageNamed("音量_"), ControlStateNormal);
  volumeButton_->setImage(Image::imageNamed("音量_13"), ControlStateHighlighted);
  volumeButton_->setBackgroundColor(Color::redColor());
  addSubview(volumeButton_);

  currentTimeLabel_ = View::make<Label>();
  totalTimeLabel_ = View::make<Label>();
  for (auto* label : {currentTimeLabel_.get(), totalTimeLabel_.get()}) {
    label->setBackgroundColor(Color::clear());
    label->setTextAlignment(TextAlignment::Center);
    label->setFont(Font::systemFontOfSize(13));
    label->setTextColor(Color::whiteColor());
    addSubview(label->sharedFromThis());
  }
}

void VideoBottomView::setCurrentTimeLabelText(const std::string& text) {
  currentTimeLabel_->setText(text);
}

void VideoBottomView::setTotalTimeLabelText(const std::string& text) {
  totalTimeLabel_->setText(text);
}

void VideoBottomView::layoutSubviews() {
  Rect b = bounds();
  const double W = b.width();
  const double H = b.height();
  if (bottomControlBar_) bottomControlBar_->setFrame(b);
  if (playPauseButton_) playPauseButton_->setFrame({0, 0, H, H});
  if (totalTimeLabel_) {
    totalTimeLabel_->setFrame({W - H - 10, 0, H, H});
    totalTimeLabel_->setAdjustsFontSizeToFitWidth(false);
  }
  if (currentTimeLabel_) currentTimeLabel_->setFrame({W - 2 * H - 10, 0, H, H});
  if (volumeButton_) volumeButton_->setFrame({W - 3 * H - 10, 0, H, H});
  // The slider fills the room between the play button and the volume
  // button, centred in the bar's height.
  if (videoProgressSlider_ && volumeButton_) {
    double left = H + NOThreeStatusSlider::kGap;
    double right = volumeButton_->frame().x() - NOThreeStatusSlider::kGap;
    double height = NOThreeStatusSlider::kDefaultHeight;
    videoProgressSlider_->setFrame({left, (H - height) / 2, std::max(0.0, right - left), height});
  }
}

}  // namespace lorvane
