#include "player/video_control_view.h"

#include <algorithm>

#include "platform/ui/image.h"

namespace lorvane {

PlayerPtr PlayerFrameSource::player() const {
  std::lock_guard lock(mutex_);
  return player_;
}

void PlayerFrameSource::setPlayer(PlayerPtr player) {
  std::lock_guard lock(mutex_);
  player_ = std::move(player);
}

std::shared_ptr<const VideoFrame> PlayerFrameSource::currentFrame() const {
  PlayerPtr p = player();
  return p ? p->currentVideoFrame() : nullptr;
}

VideoControlView::VideoControlView() {
  build();
}

VideoControlView::VideoControlView(const Rect& frame) : View(frame) {
  build();
}

void VideoControlView::build() {
  frameSource_ = std::make_shared<PlayerFrameSource>();
  layer().setVideoFrameSource(frameSource_);

  headControlBar_ = View::make<View>();
  headControlBar_->setOpaque(false);
  headControlBar_->setBackgroundColor(Color::black().withAlpha(0.4));

  titleLabel_ = View::make<Label>(Rect{});
  titleLabel_->setFont(Font::boldSystemFontOfSize(18));
  titleLabel_->setTextColor(Color::whiteColor());
  titleLabel_->setBackgroundColor(Color::clear());
  titleLabel_->setTextAlignment(TextAlignment::Center);
  titleLabel_->setNumberOfLines(1);
  titleLabel_->setLineBreakMode(LineBreakMode::TruncateTail);

  doublePlayButton_ = Button::buttonWithType(ButtonType::Custom);
  doublePlayButton_->setTag(kSpeedTagInitial);
  doublePlayButton_->setBackgroundImage(Image::imageNamed("视频课程播放-倍数"), ControlStateNormal);
  doublePlayButton_->setBackgroundImage(Image::imageNamed("视频课程播放-倍数2"),
                                        ControlStateHighlighted);
  doublePlayButton_->setTitle("1.0倍", ControlStateNormal);
  doublePlayButton_->setTitleColor(Color::black(), ControlStateNormal);
  doublePlayButton_->titleLabel().setFont(Font::systemFontOfSize(13));

  backButton_ = Button::buttonWithType(ButtonType::Custom);
  backButton_->setImage(Image::imageNamed("返回按下-1"), ControlStateNormal);
  backButton_->setImage(Image::imageNamed("返回-1"), ControlStateHighlighted);

  headControlBar_->addSubview(titleLabel_);
  headControlBar_->addSubview(doublePlayButton_);
  headControlBar_->addSubview(backButton_);

  bottomControlBar_ = View::make<View>();
  bottomControlBar_->setOpaque(false);
  bottomControlBar_->setBackgroundColor(Color::black().withAlpha(0.4));

  playPauseButton_ = Button::buttonWithType(ButtonType::Custom);
  volumeButton_ = Button::buttonWithType(ButtonType::Custom);
  volumeButton_->setImage(Image::imageNamed("视频课程播放-音量"), ControlStateNormal);
  volumeButton_->setImage(Image::imageNamed("视频课程播放-音量-按下"), ControlStateHighlighted);
  fullScreenButton_ = Button::buttonWithType(ButtonType::Custom);
  fullScreenButton_->setImage(Image::imageNamed("屏幕 -2"), ControlStateNormal);
  videoScrubber_ = View::make<ProgressSlider>(Rect{});
  timeLabel_ = View::make<Label>(Rect{});
  timeLabel_->setBackgroundColor(Color::clear());
  timeLabel_->setTextColor(Color::lightGray());
  timeLabel_->setFont(Font::systemFontOfSize(15));
  timeLabel_->setTextAlignment(TextAlignment::Left);

  // The buffered fraction, drawn along the scrubber's track and beneath the
  // scrubber so the thumb and the played part stay on top.
  progressView_ = View::make<ProgressView>(Rect{});
  progressView_->setProgressTintColor(Color::darkGray());
  progressView_->setTrackTintColor(Color::clear());
  progressView_->setUserInteractionEnabled(false);

  bottomControlBar_->addSubview(playPauseButton_);
  bottomControlBar_->addSubview(volumeButton_);
  bottomControlBar_->addSubview(fullScreenButton_);
  bottomControlBar_->addSubview(progressView_);
  bottomControlBar_->addSubview(videoScrubber_);
  bottomControlBar_->addSubview(timeLabel_);

  volumeControlView_ = View::make<VolumeView>(Rect{});
  addSubview(volumeControlView_);
  activityIndicator_ = View::make<ActivityIndicatorView>(ActivityIndicatorViewStyle::White);
  activityIndicator_->sizeToFit();
  addSubview(activityIndicator_);
}

void VideoControlView::setPlayer(PlayerPtr player) {
  frameSource_->setPlayer(std::move(player));
  // Added (or moved) last, so both bars lie above the panel and indicator.
  addSubview(headControlBar_);
  addSubview(bottomControlBar_);
}

void VideoControlView::setTitle(const std::string& title) {
  titleLabel_->setText(title);
  setNeedsLayout();
}

void VideoControlView::setVolumeControlView(std::shared_ptr<VolumeView> view) {
  if (view == volumeControlView_) return;
  std::size_t index = subviews().size();
  if (volumeControlView_) {
    for (std::size_t i = 0; i < subviews().size(); ++i) {
      if (subviews()[i] == volumeControlView_) index = i;
    }
    volumeControlView_->removeFromSuperview();
  }
  volumeControlView_ = std::move(view);
  if (volumeControlView_)
    insertSubviewAtIndex(volumeControlView_, std::min(index, subviews().size()));
  setNeedsLayout();
}

bool VideoControlView::isLandscapeLayout() const {
  View* parent = superview();
  return parent && parent->frame().width() >= kLandscapeMinimumWidth;
}

void VideoControlView::layoutSubviews() {
  Rect b = bounds();
  const double W = b.width();
  const double H = b.height();
  const double F = frame().height();
  ImagePtr reference = Image::imageNamed("xxxxxxxx");
  Size ref = reference ? reference->size() : Size{};
  const double iw = ref.width;
  const double ih = ref.height;
  const bool landscape = isLandscapeLayout();

  backButton_->setFrame({10, 0, ih, kHeadBarHeight});
  titleLabel_->setFrame({iw, 0, W - 2 * iw, kHeadBarHeight});
  doublePlayButton_->setFrame({W - iw, 0, iw, kHeadBarHeight});
  headControlBar_->setFrame({0, 20, W, kHeadBarHeight});
  bottomControlBar_->setFrame({0, H - kBottomBarHeight, W, kBottomBarHeight});
  activityIndicator_->setCenter({b.midX(), b.midY()});
  playPauseButton_->setFrame({0, 0, 51, 51});
  volumeButton_->setFrame({W - 153 + 10, 0, 51, 51});
  if (volumeControlView_) {
    volumeControlView_->setFrame({volumeButton_->frame().x() + 13, F - 210, 24, 148});
  }
  if (landscape) {
    volumeButton_->setHidden(false);
    timeLabel_->setFrame({W - 102 + 10, 0, 102, 51});
    fullScreenButton_->setHidden(true);
  } else {
    volumeButton_->setHidden(true);
    if (volumeControlView_) volumeControlView_->setAlpha(0);
    timeLabel_->setFrame({W - 153 + 20, 0, 102, 51});
    fullScreenButton_->setFrame({W - 51, 0, 51, 51});
    fullScreenButton_->setHidden(false);
  }
  videoScrubber_->setFrame({61, 0, W - 204 + 10 - 20, 51});
  Rect track = videoScrubber_->trackRectForBounds(videoScrubber_->bounds());
  progressView_->setFrame(
      {videoScrubber_->frame().x() + track.x(), track.y(), track.width(), track.height()});
  if (captionView_ && captionView_->superview() == this) {
    captionView_->setFrame({10, H - kBottomBarHeight - kCaptionHeight - 2, W - 20, kCaptionHeight});
  }
  if (studyBarView_ && studyBarView_->superview() == this) {
    Rect bar = studyBarView_->frame();
    studyBarView_->setFrame({0, 20 + kHeadBarHeight, W, bar.height()});
  }
}

void VideoControlView::setCaptionView(std::shared_ptr<View> view) {
  if (captionView_ && captionView_->superview() == this) captionView_->removeFromSuperview();
  captionView_ = std::move(view);
  if (!captionView_) return;
  // Below the bars, which stay on top.
  insertSubviewAtIndex(captionView_, 0);
  setNeedsLayout();
}

void VideoControlView::setStudyBarView(std::shared_ptr<View> view) {
  if (studyBarView_ && studyBarView_->superview() == this) studyBarView_->removeFromSuperview();
  studyBarView_ = std::move(view);
  if (!studyBarView_) return;
  addSubview(studyBarView_);
  setNeedsLayout();
}

}  // namespace lorvane
