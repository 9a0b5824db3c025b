#include <algorithm>
#include <cmath>

#include "platform/ui/animation.h"
#include "platform/ui/image.h"
#include "player/play_video_view_controller.h"
#include "player/record_values.h"

// The player's touch handling: taps show or hide the bars, a sideways swipe
// seeks from where the video is by the finger's travel, an upright swipe
// sets the volume by its travel, the scrubber seeks to where it is dragged,
// and the volume panel fades in and out.

namespace lorvane {

namespace {
constexpr std::int32_t kMicrosecondTimescale = 1000000;
constexpr std::int32_t kNanosecondTimescale = 1000000000;
constexpr double kHUDSize = 155;
}  // namespace

std::optional<bool> PlayVideoViewController::shouldReceiveTouch(GestureRecognizer&,
                                                                const Touch& touch) {
  View* touched = touch.view();
  if (!touched) return true;
  VideoControlView& v = overlay();
  // Bars, buttons, the scrubber and the volume panel keep their own touches.
  if (touched->isDescendantOfView(&v.bottomControlBar()) ||
      touched->isDescendantOfView(&v.headControlBar())) {
    return false;
  }
  if (auto panel = v.volumeControlView(); panel && touched->isDescendantOfView(panel.get())) {
    return false;
  }
  return true;
}

void PlayVideoViewController::videoTapHandler() {
  if (overlay().bottomControlBar().alpha() == 0) {
    showControls();
  } else {
    hideControlsAnimated(true);
  }
}

void PlayVideoViewController::panGestureHandle(PanGestureRecognizer& recognizer) {
  // The pan's whole travel is kept: a swipe seeks and sets the volume by
  // how far the finger went, not by how often it was reported.
  handlePan(recognizer.state(), recognizer.velocityInView(view().get()),
            recognizer.translationInView(view().get()));
}

void PlayVideoViewController::handlePan(GestureRecognizerState state, Point velocity,
                                        Point translation) {
  using S = GestureRecognizerState;
  if (state == S::Began) {
    panMode_ = PanMode::Undecided;
    panStartSeconds_ = displayedSeconds();
    panStartVolume_ = appMusicPlayer_ ? appMusicPlayer_->volume() : 0;
    panTarget_ = panStartSeconds_;  // nothing to seek until the finger travels
  }
  if (state == S::Began || state == S::Changed) {
    if (panMode_ == PanMode::Undecided) beginPan(velocity);
    if (panMode_ == PanMode::Seeking) panSeek(translation);
    if (panMode_ == PanMode::Volume) panVolume(translation);
  } else if (state == S::Ended) {
    endPan();
  } else {
    if (progHUD_) progHUD_->setAlpha(0);
    if (volumeLevelView_) volumeLevelView_->setAlpha(0);
    panMode_ = PanMode::Undecided;
  }
}

void PlayVideoViewController::beginPan(Point velocity) {
  // The first report that says sideways or upright decides for the whole
  // swipe, so that a wobble never turns a seek into a volume change.
  double across = std::fabs(velocity.x);
  double upright = std::fabs(velocity.y);
  if (across > upright) {
    panMode_ = PanMode::Seeking;
    auto hud = View::make<ProgressHUD>();
    if (progHUD_) progHUD_->removeFromSuperview();
    progHUD_ = hud;
    Rect f = view()->frame();
    hud->setCenter({f.width() * 0.5, f.height() * 0.5});
    hud->setBounds({0, 0, kHUDSize, kHUDSize});
    hud->setHUDImage(Image::imageNamed(velocity.x > 0 ? "进(2)" : "退(2)"));
    view()->addSubview(hud);
    pause();
  } else if (across < upright) {
    panMode_ = PanMode::Volume;
    if (!volumeLevelView_) volumeLevelView_ = View::make<VolumeLevelView>();
    Rect f = view()->frame();
    volumeLevelView_->setCenter({f.width() * 0.5, f.height() * 0.5});
    volumeLevelView_->setAlpha(1);
    volumeLevelView_->setLevel(panStartVolume_);
    view()->addSubview(volumeLevelView_);
  }
}

void PlayVideoViewController::panSeek(Point translation) {
  double total = playerItemDuration().seconds();
  // Whole seconds of travel: the indicator moves in one-second steps.
  double step = std::round(translation.x / kSwipePointsPerSecond);
  double target = panStartSeconds_ + step;
  if (progHUD_ && step != 0) progHUD_->setHUDImage(Image::imageNamed(step > 0 ? "进(2)" : "退(2)"));
  if (target < 0) target = 0;
  if (std::isfinite(total)) {
    target = std::min(target, total);
  } else if (step > 0) {
    // Before the stream's length is known a forward step has nowhere to go.
    showControls();
    return;
  }
  if (progHUD_) progHUD_->setCurrentTime(stringTimeFromSeconds(target));
  preSeconds_ = target;
  if (target != panTarget_) {
    panTarget_ = target;
    seekTo(target, kMicrosecondTimescale);
  }
  overlay().timeLabel().setText(stringTimeFromSeconds(target) + "/" +
                                stringTimeFromSeconds(std::isfinite(total) ? total : 0));
  showControls();
}

void PlayVideoViewController::panVolume(Point translation) {
  if (!appMusicPlayer_) return;
  // Up is louder.
  double volume = panStartVolume_ - translation.y / kSwipePointsPerVolume;
  appMusicPlayer_->setVolume(static_cast<float>(std::clamp(volume, 0.0, 1.0)));
  double now = appMusicPlayer_->volume();
  if (auto panel = overlay().volumeControlView()) {
    if (auto slider = panel->volumeSlider()) slider->setValue(now);
  }
  if (volumeLevelView_) volumeLevelView_->setLevel(now);
}

void PlayVideoViewController::endPan() {
  PanMode mode = panMode_;
  panMode_ = PanMode::Undecided;
  if (mode == PanMode::Seeking) {
    // Plays on from the target once it is reached; a swipe always does.
    if (seeker_.isBusy()) {
      scrubBuffering_ = true;
    } else {
      playVideo();
    }
    if (auto hud = progHUD_) {
      animateWithDuration(0, [hud] { hud->setAlpha(0); });
    }
  } else if (mode == PanMode::Volume) {
    // The volume says nothing about playing: a paused video stays paused.
    if (auto level = volumeLevelView_) {
      animateWithDuration(kControlsFadeDuration, [level] { level->setAlpha(0); });
    }
  }
}

void PlayVideoViewController::scrubbingDidBegin() {
  // Whether to play on afterwards is what the video was doing before: a
  // resume still owed to an earlier gesture counts as playing.
  restoreVideoPlayStateAfterScrubbing_ = isPlaying() || scrubBuffering_;
  scrubBuffering_ = false;
  pause();
}

void PlayVideoViewController::scrubberIsScrolling() {
  double length = lengthForScrubbing();
  if (std::isfinite(length) && length > 0) {
    double target = overlay().videoScrubber().value() * length;
    preSeconds_ = target;
    double limited = target <= 0 ? 0.0 : (target >= length ? length : target);
    seekTo(limited, kNanosecondTimescale);
    // The clock shows where the finger is, not where the player still was.
    std::int64_t total = integerValueOf(duration_.get());
    overlay().timeLabel().setText(stringTimeFromSeconds(limited) + "/" +
                                  stringTimeFromSeconds(static_cast<double>(total)));
  }
  showControls();
}

void PlayVideoViewController::scrubbingDidEnd() {
  bool resume = restoreVideoPlayStateAfterScrubbing_;
  restoreVideoPlayStateAfterScrubbing_ = false;
  if (seeker_.isBusy()) {
    // Resumes (if it was playing) as soon as the last seek is done.
    scrubBuffering_ = resume;
    overlay().activityIndicator().startAnimating();
  } else if (resume) {
    // Nothing to wait for: a touch of the thumb that did not move it.
    playVideo();
  }
}

void PlayVideoViewController::volumeButtonHandler() {
  if (auto panel = overlay().volumeControlView()) {
    double target = panel->alpha() == 0 ? 1.0 : 0.0;
    animateWithDuration(kControlsFadeDuration, [&] { panel->setAlpha(target); });
  }
  showControls();
}

void PlayVideoViewController::volumeSliderHandle(Slider& slider) {
  if (appMusicPlayer_) appMusicPlayer_->setVolume(static_cast<float>(slider.value()));
  showControls();
}

}  // namespace lorvane
