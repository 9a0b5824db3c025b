// The player's study side: the lesson's lines, captions over the video,
// the line tools, the study bar's speeds and the desktop keys.

#include <algorithm>
#include <cmath>

#include "platform/foundation/log.h"
#include "player/play_video_view_controller.h"
#include "player/study_bar_view.h"

namespace lorvane {

namespace {

constexpr std::int32_t kNanosecondTimescale = 1000000000;
constexpr double kSpeedEpsilon = 0.01;

}  // namespace

const std::vector<float>& PlayVideoViewController::studySpeeds() {
  static const std::vector<float> kSpeeds{0.5f, 0.75f, 1.0f, 1.25f, 1.5f, 2.0f};
  return kSpeeds;
}

// ---- Lines ------------------------------------------------------------------

void PlayVideoViewController::loadCaptionsWithURL(const std::string& url) {
  auto load = std::make_shared<int>(0);
  captionsLoad_ = load;
  captionsLoading_ = true;
  std::weak_ptr<int> current = load;
  // The download is the cache's: leaving the page lets go of this
  // delivery only, and the file is still kept for the next visit.
  captionCache().lookUp(url, [this, current](CaptionTrack track) {
    // A later lesson, or a controller that is gone, takes no old lines.
    if (current.expired()) return;
    captionsLoading_ = false;
    if (track.empty()) Log("captions: the lesson plays without lines");
    setCaptionTrack(std::move(track));
  });
}

void PlayVideoViewController::setCaptionTrack(CaptionTrack track) {
  lineTools_.setTrack(std::move(track));
  heard_.assign(lineTools_.track().count(), false);
  currentLine_ = CaptionTrack::npos;
  lastFollowedSeconds_ = -1;
  if (captionView_) captionView_->showCue(nullptr, captionMode_, false);
  if (captionsDelegate_) captionsDelegate_->captionsDidLoad(lineTools_.track());
  updateStudyBar();
  // Lines that come once playback has begun are followed from then on.
  if (scrubberTimeObserver_) observeLinesIfAny();
  followPlayback();
}

void PlayVideoViewController::observeLinesIfAny() {
  if (!videoPlayer_) return;
  if (lineTimeObserver_) {
    videoPlayer_->removeTimeObserver(lineTimeObserver_);
    lineTimeObserver_ = 0;
  }
  // A lesson without lines costs nothing more than before.
  if (lineTools_.track().empty()) return;
  // Captions, transcript and line tools follow playback frame by frame.
  lineTimeObserver_ = videoPlayer_->addPeriodicTimeObserverForInterval(
      MediaTime::makeWithSeconds(kLineFollowInterval, kNanosecondTimescale),
      [this](const MediaTime&) { followPlayback(); });
}

void PlayVideoViewController::setCaptionMode(CaptionMode mode) {
  captionMode_ = mode;
  showCaption(displayedSeconds());
  if (captionsDelegate_) captionsDelegate_->captionWordsDidChange(captionMode_, heard_);
  updateStudyBar();
}

void PlayVideoViewController::followPlayback() {
  const CaptionTrack& track = lineTools_.track();
  double seconds = displayedSeconds();
  if (track.empty()) {
    lastFollowedSeconds_ = seconds;
    return;
  }
  // A line is heard once playback has run over its end, not jumped past it.
  double last = lastFollowedSeconds_;
  if (last >= 0 && seconds >= last && seconds - last <= LineTools::kJumpSeconds) {
    bool newlyHeard = false;
    std::size_t i = track.lineIndexAt(last);
    for (std::size_t j = i; j != CaptionTrack::npos && i - j < 4; --j) {
      double end = track[j].endSeconds;
      if (end > last && end <= seconds && !heard_[j]) {
        heard_[j] = true;
        newlyHeard = true;
      }
    }
    if (newlyHeard && captionsDelegate_) {
      captionsDelegate_->captionWordsDidChange(captionMode_, heard_);
    }
  }
  lineTools_.playbackAt(seconds);
  // The tools may have moved playback.
  seconds = displayedSeconds();
  lastFollowedSeconds_ = seconds;
  showCaption(seconds);
  std::size_t line = track.lineIndexAt(seconds);
  if (line != currentLine_) {
    currentLine_ = line;
    if (captionsDelegate_) captionsDelegate_->currentLineDidChange(line);
  }
}

void PlayVideoViewController::showCaption(double seconds) {
  if (!captionView_) return;
  const CaptionTrack& track = lineTools_.track();
  std::size_t spoken = track.activeIndexAt(seconds);
  // In a shadowing pause the line just heard stays up to be said.
  if (spoken == CaptionTrack::npos && lineTools_.isShadowPausing()) spoken = lineTools_.line();
  if (spoken == CaptionTrack::npos || spoken >= track.count()) {
    captionView_->showCue(nullptr, captionMode_, false);
  } else {
    captionView_->showCue(&track[spoken], captionMode_, isLineHeard(spoken));
  }
}

void PlayVideoViewController::playLine(std::size_t line) {
  const CaptionTrack& track = lineTools_.track();
  if (line >= track.count() || !videoPlayer_) return;
  seekTo(track[line].startSeconds, kNanosecondTimescale);
  if (lineTools_.isShadowPausing()) {
    lineTools_.resumeFromPause();
  } else if (!isPlaying()) {
    playVideo();
  }
  followPlayback();
}

// ---- Tools --------------------------------------------------------------------

void PlayVideoViewController::repeatLine() {
  lineTools_.repeatLine(displayedSeconds());
  if (!isPlaying() && lineTools_.tool() == LineTool::Loop) playVideo();
}

void PlayVideoViewController::cycleLoop() {
  lineTools_.cycleLoop(displayedSeconds());
  if (!isPlaying() && lineTools_.tool() == LineTool::Loop) playVideo();
}

void PlayVideoViewController::markABLoop() {
  lineTools_.markAB(displayedSeconds());
}

void PlayVideoViewController::toggleShadowing() {
  lineTools_.setShadowing(lineTools_.tool() != LineTool::Shadowing);
}

void PlayVideoViewController::toggleRamp() {
  bool on = lineTools_.tool() != LineTool::Ramp;
  lineTools_.setRamp(on, displayedSeconds());
  if (on && !isPlaying() && lineTools_.tool() == LineTool::Ramp) playVideo();
}

void PlayVideoViewController::lineToolsSeek(double seconds) {
  seekTo(seconds, kNanosecondTimescale);
}

void PlayVideoViewController::lineToolsSetSpeed(float speed) {
  applySpeed(speed);
}

void PlayVideoViewController::lineToolsPause() {
  pause();
}

void PlayVideoViewController::lineToolsResume() {
  playVideo();
}

void PlayVideoViewController::lineToolsChanged() {
  updateStudyBar();
  showCaption(displayedSeconds());
}

// ---- Speeds, skips and volume -----------------------------------------------

void PlayVideoViewController::setPlaybackSpeed(float speed) {
  if (!(speed > 0)) return;
  // A speed the learner picks ends the ramp's own.
  if (lineTools_.tool() == LineTool::Ramp) lineTools_.stop();
  lineTools_.setUserSpeed(speed);
  applySpeed(speed);
}

void PlayVideoViewController::applySpeed(float speed) {
  if (!(speed > 0)) return;
  playbackSpeed_ = speed;
  Button& button = overlay().doublePlayButton();
  button.setTag(static_cast<int>(std::lround(speed * 10)));
  button.setTitle(speedTitle(speed), ControlStateNormal);
  if (isPlaying()) videoPlayer_->setRate(speed);
  updateStudyBar();
}

void PlayVideoViewController::slower() {
  const auto& speeds = studySpeeds();
  for (auto it = speeds.rbegin(); it != speeds.rend(); ++it) {
    if (*it < playbackSpeed_ - kSpeedEpsilon) {
      setPlaybackSpeed(*it);
      return;
    }
  }
}

void PlayVideoViewController::faster() {
  for (float speed : studySpeeds()) {
    if (speed > playbackSpeed_ + kSpeedEpsilon) {
      setPlaybackSpeed(speed);
      return;
    }
  }
}

void PlayVideoViewController::cycleStudySpeed() {
  float before = playbackSpeed_;
  faster();
  if (playbackSpeed_ == before) setPlaybackSpeed(studySpeeds().front());
}

void PlayVideoViewController::skipBy(double seconds) {
  if (!videoPlayer_) return;
  double length = lengthForScrubbing();
  double target = std::max(0.0, displayedSeconds() + seconds);
  if (std::isfinite(length) && length > 0) target = std::min(target, length);
  seekTo(target, kNanosecondTimescale);
  syncScrubber();
  syncPlayClock();
}

void PlayVideoViewController::changeVolumeBy(double amount) {
  if (!appMusicPlayer_) return;
  double volume = std::clamp(double(appMusicPlayer_->volume()) + amount, 0.0, 1.0);
  appMusicPlayer_->setVolume(static_cast<float>(volume));
  double now = appMusicPlayer_->volume();
  if (auto panel = overlay().volumeControlView()) {
    if (auto slider = panel->volumeSlider()) slider->setValue(now);
  }
}

bool PlayVideoViewController::handleKey(const KeyPress& key) {
  if (key.control) return false;
  const std::string& k = key.key;
  if (k == "space") {
    playPauseHandler();
  } else if (k == "left") {
    skipBy(-kKeySkipSeconds);
  } else if (k == "right") {
    skipBy(kKeySkipSeconds);
  } else if (k == "up") {
    changeVolumeBy(kKeyVolumeStep);
  } else if (k == "down") {
    changeVolumeBy(-kKeyVolumeStep);
  } else if (k == "[") {
    slower();
  } else if (k == "]") {
    faster();
  } else if (k == "s") {
    repeatLine();
  } else if (k == "c") {
    cycleCaptionMode();
  } else if (k == "l") {
    cycleLoop();
  } else {
    return false;
  }
  return true;
}

// ---- The study bar ------------------------------------------------------------

std::shared_ptr<StudyBarView> PlayVideoViewController::studyBar() {
  if (!studyBar_) {
    studyBar_ = View::make<StudyBarView>();
    attachStudyBarActions();
    updateStudyBar();
  }
  return studyBar_;
}

void PlayVideoViewController::attachStudyBarActions() {
  StudyBarView& bar = *studyBar_;
  auto on = [this](Button& button, auto action) {
    button.addTarget(
        this, [this, action](Control&) { (this->*action)(); }, ControlEventTouchUpInside);
  };
  on(bar.captionsButton(), &PlayVideoViewController::cycleCaptionMode);
  on(bar.repeatButton(), &PlayVideoViewController::repeatLine);
  on(bar.loopButton(), &PlayVideoViewController::cycleLoop);
  on(bar.abButton(), &PlayVideoViewController::markABLoop);
  on(bar.shadowButton(), &PlayVideoViewController::toggleShadowing);
  on(bar.rampButton(), &PlayVideoViewController::toggleRamp);
  on(bar.speedButton(), &PlayVideoViewController::cycleStudySpeed);
}

void PlayVideoViewController::placeStudyBarOverVideo(bool over) {
  studyBarOverVideo_ = over;
  if (!studyBar_) return;
  studyBar_->setAlpha(over ? overlay().bottomControlBar().alpha() : 1.0);
}

void PlayVideoViewController::updateStudyBar() {
  if (!studyBar_) return;
  studyBar_->update(captionMode_, lineTools_, playbackSpeed_, !lineTools_.track().empty());
}

}  // namespace lorvane
