#include <cmath>

#include "platform/ui/animation.h"
#include "platform/ui/image.h"
#include "player/play_video_view_controller.h"
#include "player/record_values.h"

// The player's touch handling: taps show or hide the bars, a sideways pan
// seeks in 3-second steps, an upright pan steps the volume, the scrubber
// seeks to where it is dragged, and the volume panel fades in and out.

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
  GestureRecognizerState state = recognizer.state();
  handlePan(state, recognizer.velocityInView(view().get()));
  if (state == GestureRecognizerState::Began || state == GestureRecognizerState::Changed) {
    recognizer.setTranslation({0, 0}, view().get());
  }
}

void PlayVideoViewController::handlePan(GestureRecognizerState state, Point velocity) {
  double total = playerItemDuration().seconds();
  if (state == GestureRecognizerState::Began || state == GestureRecognizerState::Changed) {
    double across = std::fabs(velocity.x);
    double upright = std::fabs(velocity.y);
    if (across > upright) {
      if (state == GestureRecognizerState::Began) {
        auto hud = View::make<ProgressHUD>();
        progHUD_ = hud;
        Rect f = view()->frame();
        hud->setCenter({f.width() * 0.5, f.height() * 0.5});
        hud->setBounds({0, 0, kHUDSize, kHUDSize});
        view()->addSubview(hud);
      }
      pause();
      double target;
      if (velocity.x > 0) {
        if (progHUD_) progHUD_->setHUDImage(Image::imageNamed("进(2)"));
        target = preSeconds_ + kSeekStep < total ? preSeconds_ + kSeekStep : total;
      } else {
        if (progHUD_) progHUD_->setHUDImage(Image::imageNamed("退(2)"));
        target = preSeconds_ - kSeekStep > 0 ? preSeconds_ - kSeekStep : 0;
      }
      // Before the stream's length is known a forward step has nowhere to
      // go: the indicator shows, nothing moves.
      if (std::isfinite(target)) {
        if (progHUD_) progHUD_->setCurrentTime(stringTimeFromSeconds(target));
        preSeconds_ = target;
        seekTo(static_cast<float>(target), kMicrosecondTimescale);
        overlay().timeLabel().setText(stringTimeFromSeconds(target) + "/" +
                                      stringTimeFromSeconds(total));
      }
      showControls();
    } else if (across < upright) {
      if (appMusicPlayer_) {
        double volume = appMusicPlayer_->volume();
        volume += velocity.y > 0 ? -kVolumeStep : kVolumeStep;
        appMusicPlayer_->setVolume(static_cast<float>(volume));
        if (auto panel = overlay().volumeControlView()) {
          if (auto slider = panel->volumeSlider()) slider->setValue(appMusicPlayer_->volume());
        }
      }
    }
  } else if (state == GestureRecognizerState::Ended) {
    playVideo();
    if (auto hud = progHUD_) {
      animateWithDuration(0, [hud] { hud->setAlpha(0); });
    }
  } else if (progHUD_) {
    progHUD_->setAlpha(0);
  }
}

void PlayVideoViewController::scrubbingDidBegin() {
  pause();
  restoreVideoPlayStateAfterScrubbing_ = true;
}

void PlayVideoViewController::scrubberIsScrolling() {
  float length = static_cast<float>(floatValueOf(duration_.get()));
  if (std::isfinite(length)) {
    double target = overlay().videoScrubber().value() * length;
    preSeconds_ = target;
    double limited = target <= 0 ? 0.0 : (target >= length ? double(length) : target);
    seekTo(limited, kNanosecondTimescale);
    std::int64_t elapsed = 0;
    if (videoPlayer_) {
      MediaTime now = videoPlayer_->currentTime();
      if (now.isNumeric()) elapsed = now.value / now.timescale;
    }
    overlay().timeLabel().setText(stringTimeFromSeconds(static_cast<double>(elapsed)) + "/" +
                                  stringTimeFromSeconds(length));
  }
  showControls();
}

void PlayVideoViewController::scrubbingDidEnd() {
  if (restoreVideoPlayStateAfterScrubbing_) {
    restoreVideoPlayStateAfterScrubbing_ = false;
    scrubBuffering_ = true;
  }
  overlay().activityIndicator().startAnimating();
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
