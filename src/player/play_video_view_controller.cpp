#include "player/play_video_view_controller.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <utility>

#include "platform/foundation/log.h"
#include "platform/foundation/notification_center.h"
#include "platform/foundation/run_loop.h"
#include "platform/media/now_playing_info_center.h"
#include "platform/media/player.h"
#include "platform/ui/alert_view.h"
#include "platform/ui/animation.h"
#include "platform/ui/application.h"
#include "player/record_values.h"
#include "player/time_text.h"

namespace lorvane {

namespace {

constexpr std::int32_t kNanosecondTimescale = 1000000000;
constexpr const char* kHideControlsOperation = "hideControlsAnimated:";
// The argument the auto-hide request is keyed by: "animated, true".
const int kAnimatedArgument = 1;

}  // namespace

PlayVideoViewController::PlayVideoViewController(std::shared_ptr<PlayerFactory> factory)
    : factory_(factory ? std::move(factory) : std::make_shared<MediaPlayerFactory>()) {
  seeker_.setSettledHandler([this] { seekDidSettle(); });
}

PlayVideoViewController::~PlayVideoViewController() {
  teardown();
  RunLoop::main().cancelPreviousPerformRequests(this);
  // The overlay may outlive us inside someone else's view tree; its
  // controls, recognisers and the failure alert forget us by themselves.
}

// ---- Set-up ---------------------------------------------------------------

VideoControlView& PlayVideoViewController::overlay() {
  view();
  return *videoControlView_;
}

void PlayVideoViewController::loadView() {
  if (!videoControlView_) videoControlView_ = View::make<VideoControlView>(Rect{});
  setView(videoControlView_);
}

void PlayVideoViewController::viewDidLoad() {
  view()->setBackgroundColor(Color::black());
  attachControlActions();
  appMusicPlayer_ = &MusicPlayerController::applicationMusicPlayer();
  if (auto panel = overlay().volumeControlView()) {
    if (auto slider = panel->volumeSlider()) slider->setValue(appMusicPlayer_->volume());
  }
  overlay().doublePlayButton().setTitle("1.0倍", ControlStateNormal);
  captionView_ = View::make<CaptionView>();
  overlay().setCaptionView(captionView_);

  tapRecognizer_ = std::make_shared<TapGestureRecognizer>(
      this, [this](GestureRecognizer&) { videoTapHandler(); });
  tapRecognizer_->setDelegate(this);
  overlay().addGestureRecognizer(tapRecognizer_);
  panRecognizer_ = std::make_shared<PanGestureRecognizer>(this, [this](GestureRecognizer& r) {
    panGestureHandle(static_cast<PanGestureRecognizer&>(r));
  });
  panRecognizer_->setMaximumNumberOfTouches(1);
  panRecognizer_->setDelegate(this);
  view()->addGestureRecognizer(panRecognizer_);
}

void PlayVideoViewController::attachControlActions() {
  VideoControlView& v = overlay();
  v.playPauseButton().addTarget(
      this, [this](Control&) { playPauseHandler(); }, ControlEventTouchUpInside);
  v.backButton().addTarget(
      this, [this](Control&) { closePlayBack(); }, ControlEventTouchUpInside);
  v.volumeButton().addTarget(
      this, [this](Control&) { volumeButtonHandler(); }, ControlEventTouchUpInside);
  if (auto panel = v.volumeControlView()) {
    if (auto slider = panel->volumeSlider()) {
      slider->addTarget(
          this, [this](Control& c) { volumeSliderHandle(static_cast<Slider&>(c)); },
          ControlEventValueChanged);
    }
  }
  v.doublePlayButton().addTarget(
      this, [this](Control& c) { doubleButtonHandler(static_cast<Button&>(c)); },
      ControlEventTouchUpInside);
  v.fullScreenButton().addTarget(
      this, [this](Control&) { fullScreenVideo(); }, ControlEventTouchUpInside);
  v.videoScrubber().addTarget(
      this, [this](Control&) { scrubbingDidBegin(); }, ControlEventTouchDown);
  v.videoScrubber().addTarget(
      this, [this](Control&) { scrubberIsScrolling(); }, ControlEventValueChanged);
  v.videoScrubber().addTarget(
      this, [this](Control&) { scrubbingDidEnd(); },
      ControlEventTouchUpInside | ControlEventTouchUpOutside);
}

void PlayVideoViewController::viewWillDisappear(bool animated) {
  ViewController::viewWillDisappear(animated);
  teardown();
}

void PlayVideoViewController::teardown() {
  lineTools_.stop();
  NotificationCenter::defaultCenter().removeObserver(this);
  subscribedToEnd_ = false;
  stopObservingItemAndPlayer();
  removePlayerTimeObservers();
}

// ---- Loading ----------------------------------------------------------------

void PlayVideoViewController::playVideoWithTitle(const std::string& title, const std::string& url,
                                                 bool playInFullScreen) {
  view();  // the overlay must exist before we write to it
  if (videoPlayer_) videoPlayer_->pause();
  currentVideoInfo_ = {{"title", title}, {"url", url}};
  overlay().activityIndicator().startAnimating();
  overlay().progressView().setProgress(0, false);
  videoTitle_ = title;
  NotificationCenter::defaultCenter().postNotificationName(
      kVideoPlayerVideoChangedNotification, this,
      {{"title", std::any(title)}, {"url", std::any(url)}});
  overlay().timeLabel().setText("00:00/00:00");
  overlay().videoScrubber().setValue(0);
  overlay().setTitle(title);
  NowPlayingInfoCenter::defaultCenter().setNowPlayingInfo(
      {{kMediaItemPropertyTitle, std::any(title)}});
  lastStreamError_.reset();
  reopenAtSeconds_.reset();
  openedInFullScreen_ = playInFullScreen;
  seeker_.reset();
  setURL(url);
  syncPlayPauseButtons();
  if (playInFullScreen) {
    isAlwaysFullscreen_ = true;
    launchFullScreen();
  }
}

void PlayVideoViewController::startFromSeconds(double seconds) {
  if (seconds > 0) {
    reopenAtSeconds_ = seconds;
  } else {
    reopenAtSeconds_.reset();
  }
}

void PlayVideoViewController::seekToSeconds(double seconds) {
  seekTo(std::max(0.0, seconds), kNanosecondTimescale);
}

void PlayVideoViewController::setURL(const std::string& url) {
  PlayerItemPtr item = factory_->playerItemWithURL(url);
  if (videoPlayer_) {
    stopObservingItemAndPlayer();
    videoPlayer_->replaceCurrentItemWithPlayerItem(item);
  } else {
    videoPlayer_ = factory_->playerWithPlayerItem(item);
    overlay().setPlayer(videoPlayer_);
  }
  observeItem(item);
  observedPlayer_ = videoPlayer_;
  externalPlaybackObservation_ =
      videoPlayer_->addObserver(kExternalPlaybackActiveKey, [](const KeyValueChange& change) {
        // Read and nothing else: an external screen changes nothing here.
        (void)change.boolValue();
      });
  PlayerItemPtr current = videoPlayer_->currentItem();
  if (current) {
    const void* object = current->notificationObject();
    NotificationCenter::defaultCenter().addObserver(
        this, kPlayerItemDidPlayToEndTimeNotification, object,
        [this](const Notification&) { playerItemDidReachEnd(); });
    // A stream that breaks while playing is a failure the user should hear of.
    NotificationCenter::defaultCenter().addObserver(
        this, kPlayerItemFailedToPlayToEndTimeNotification, object, [this](const Notification& n) {
          ErrorPtr error;
          auto found = n.userInfo.find(kPlayerItemFailedToPlayToEndTimeErrorKey);
          if (found != n.userInfo.end()) {
            if (auto e = std::any_cast<ErrorPtr>(&found->second)) error = *e;
          }
          streamBrokeOff(std::move(error));
        });
    subscribedToEnd_ = true;
  }
}

void PlayVideoViewController::observeItem(const PlayerItemPtr& item) {
  observedItem_ = item;
  itemObservations_.clear();
  if (!item) return;
  const PlayerItemInterface* raw = item.get();
  for (const char* key :
       {kStatusKey, kPlaybackBufferEmptyKey, kPlaybackLikelyToKeepUpKey, kLoadedTimeRangesKey}) {
    itemObservations_.push_back(item->addObserver(
        key, [this, raw](const KeyValueChange& change) { itemChanged(raw, change); }));
  }
}

void PlayVideoViewController::stopObservingItemAndPlayer() {
  if (observedItem_) {
    for (ObservationToken token : itemObservations_) observedItem_->removeObserver(token);
    const void* object = observedItem_->notificationObject();
    NotificationCenter::defaultCenter().removeObserver(
        this, kPlayerItemDidPlayToEndTimeNotification, object);
    NotificationCenter::defaultCenter().removeObserver(
        this, kPlayerItemFailedToPlayToEndTimeNotification, object);
  }
  itemObservations_.clear();
  observedItem_.reset();
  if (observedPlayer_ && externalPlaybackObservation_) {
    observedPlayer_->removeObserver(externalPlaybackObservation_);
  }
  externalPlaybackObservation_ = 0;
  observedPlayer_.reset();
}

void PlayVideoViewController::itemChanged(const PlayerItemInterface* item,
                                          const KeyValueChange& change) {
  // A replaced item no longer counts.
  if (!videoPlayer_ || videoPlayer_->currentItem().get() != item) return;
  const std::string& key = change.key;
  if (key == kStatusKey) {
    auto status = static_cast<PlayerItemStatus>(change.integerValue());
    if (status == PlayerItemStatus::Failed) {
      streamFailed(videoPlayer_->currentItem());
    } else if (status == PlayerItemStatus::ReadyToPlay) {
      playWhenReady_ = true;
      // A retry goes on from where the stream failed.
      if (reopenAtSeconds_) {
        double at = *reopenAtSeconds_;
        reopenAtSeconds_.reset();
        if (at > 0) seekTo(at, kNanosecondTimescale);
      }
    }
  } else if (key == kPlaybackBufferEmptyKey) {
    if (change.boolValue()) {
      playerIsBuffering_ = true;
      overlay().activityIndicator().startAnimating();
      syncPlayPauseButtons();
    }
  } else if (key == kPlaybackLikelyToKeepUpKey) {
    if (change.boolValue()) {
      // While our seeks run, starting would show the old target first; the
      // seek's end decides instead.
      if (!isPlaying() && !seeker_.isBusy() &&
          (playWhenReady_ || playerIsBuffering_ || scrubBuffering_)) {
        playVideo();
      }
      overlay().activityIndicator().stopAnimating();
    }
  } else if (key == kLoadedTimeRangesKey) {
    double total = item->duration().seconds();
    if (std::isfinite(total) && total > 0) {
      overlay().progressView().setProgress(availableDuration() / total, true);
    }
  }
}

void PlayVideoViewController::streamFailed(const PlayerItemPtr& item) {
  lastStreamError_ = item ? item->error() : nullptr;
  if (!lastStreamError_ && videoPlayer_) lastStreamError_ = videoPlayer_->error();
  // A retry that fails again keeps the place it was meant to go on from.
  failedAtSeconds_ = reopenAtSeconds_ ? *reopenAtSeconds_ : displayedSeconds();
  reopenAtSeconds_.reset();
  seeker_.reset();
  NotificationCenter::defaultCenter().removeObserver(this);
  subscribedToEnd_ = false;
  stopObservingItemAndPlayer();
  removePlayerTimeObservers();
  videoPlayer_.reset();
  overlay().setPlayer(nullptr);
  Log("failed");
  Log("player: " + describeErrorChain(lastStreamError_));
  // Say so rather than spin for ever.
  overlay().activityIndicator().stopAnimating();
  syncPlayPauseButtons();
  showCannotFetchStreamError();
}

void PlayVideoViewController::streamBrokeOff(ErrorPtr error) {
  lastStreamError_ = std::move(error);
  failedAtSeconds_ = displayedSeconds();
  scrubBuffering_ = playWhenReady_ = playerIsBuffering_ = false;
  Log("failed");
  Log("player: " + describeErrorChain(lastStreamError_));
  syncPlayPauseButtons();
  overlay().activityIndicator().stopAnimating();
  showCannotFetchStreamError();
}

// ---- Playing ------------------------------------------------------------------

void PlayVideoViewController::playVideo() {
  if (!view()->superview()) return;
  playWhenReady_ = false;
  playerIsBuffering_ = false;
  scrubBuffering_ = false;
  // Playback always starts at the chosen speed, however it starts.
  if (videoPlayer_) {
    if (playbackSpeed_ == 1.0f) {
      videoPlayer_->play();
    } else {
      videoPlayer_->setRate(playbackSpeed_);
    }
  }
  updatePlaybackProgress();
}

void PlayVideoViewController::pause() {
  if (videoPlayer_) videoPlayer_->pause();
  syncPlayPauseButtons();
}

bool PlayVideoViewController::isPlaying() const {
  return videoPlayer_ && videoPlayer_->rate() != 0.0f;
}

MediaTime PlayVideoViewController::playerItemDuration() const {
  if (!videoPlayer_ || videoPlayer_->status() != PlayerStatus::ReadyToPlay) {
    return MediaTime::invalid();
  }
  PlayerItemPtr item = videoPlayer_->currentItem();
  return item ? item->duration() : MediaTime::zero();
}

double PlayVideoViewController::availableDuration() const {
  PlayerItemPtr item = videoPlayer_ ? videoPlayer_->currentItem() : nullptr;
  if (!item) return 0;
  TimeRanges ranges = item->loadedTimeRanges();
  if (ranges.empty()) return 0;
  return static_cast<float>(ranges.front().startSeconds() + ranges.front().duration.seconds());
}

void PlayVideoViewController::updatePlaybackProgress() {
  syncPlayPauseButtons();
  MediaTime duration = playerItemDuration();
  if (!duration.isValid() || duration.isIndefinite()) return;
  double seconds = duration.seconds();
  if (!(seconds > 0) || !std::isfinite(seconds)) return;
  overlay().videoScrubber().setHidden(false);
  overlay().progressView().setHidden(false);
  removePlayerTimeObservers();

  // About one tick per point of scrubber. A scrubber not laid out yet has
  // no width to pace by: lay it out, and fall back to once a second.
  ProgressSlider& scrubber = overlay().videoScrubber();
  if (scrubber.bounds().width() <= 0) overlay().layoutIfNeeded();
  double width = scrubber.bounds().width();
  double interval = width > 0 ? seconds / width : 1.0;
  scrubberTimeObserver_ = videoPlayer_->addPeriodicTimeObserverForInterval(
      MediaTime::makeWithSeconds(interval, kNanosecondTimescale),
      [this](const MediaTime&) { syncScrubber(); });
  playClockTimeObserver_ = videoPlayer_->addPeriodicTimeObserverForInterval(
      MediaTime::makeWithSeconds(1.0, kNanosecondTimescale),
      [this](const MediaTime&) { syncPlayClock(); });
  observeLinesIfAny();
}

void PlayVideoViewController::removePlayerTimeObservers() {
  if (scrubberTimeObserver_) {
    if (videoPlayer_) videoPlayer_->removeTimeObserver(scrubberTimeObserver_);
    scrubberTimeObserver_ = 0;
  }
  if (playClockTimeObserver_) {
    if (videoPlayer_) videoPlayer_->removeTimeObserver(playClockTimeObserver_);
    playClockTimeObserver_ = 0;
  }
  if (lineTimeObserver_) {
    if (videoPlayer_) videoPlayer_->removeTimeObserver(lineTimeObserver_);
    lineTimeObserver_ = 0;
  }
}

void PlayVideoViewController::playerItemDidReachEnd() {
  syncPlayPauseButtons();
  seekToZeroBeforePlay_ = true;
  closePlayBack();
}

void PlayVideoViewController::seekTo(double seconds, std::int32_t timescale) {
  if (!videoPlayer_) return;
  // Wherever the user goes, the end's "rewind first" no longer applies.
  seekToZeroBeforePlay_ = false;
  seeker_.seekTo(videoPlayer_, MediaTime::makeWithSeconds(seconds, timescale));
}

void PlayVideoViewController::seekDidSettle() {
  if (!videoPlayer_) return;
  PlayerItemPtr item = videoPlayer_->currentItem();
  const bool keepsUp = item && item->isPlaybackLikelyToKeepUp();
  if (!isPlaying()) {
    // A gesture that interrupted playback resumes as soon as its seek is
    // done: the keep-up report it would wait for may long have come.
    if (scrubBuffering_ || ((playWhenReady_ || playerIsBuffering_) && keepsUp)) playVideo();
  }
  if (keepsUp) overlay().activityIndicator().stopAnimating();
  syncScrubber();
  syncPlayClock();
  followPlayback();
}

double PlayVideoViewController::displayedSeconds() const {
  double pending = seeker_.latestTargetSeconds();
  if (std::isfinite(pending)) return pending;
  if (!videoPlayer_) return 0;
  double now = videoPlayer_->currentTime().seconds();
  return std::isfinite(now) && now > 0 ? now : 0;
}

double PlayVideoViewController::lengthForScrubbing() const {
  double stream = playerItemDuration().seconds();
  if (std::isfinite(stream) && stream > 0) return stream;
  return static_cast<float>(floatValueOf(duration_.get()));
}

// ---- Controls -----------------------------------------------------------------

void PlayVideoViewController::fullScreenVideo() {
  if (delegate_ && delegate_->respondsToFullScreenVideo()) delegate_->fullScreenVideo();
}

void PlayVideoViewController::closePlayBack() {
  if (delegate_ && delegate_->respondsToMinimizeVideo()) delegate_->minimizeVideo();
}

void PlayVideoViewController::doubleButtonHandler(Button& sender) {
  int tag = sender.tag();
  if (tag == 10) {
    tag = 15;
  } else if (tag == 15) {
    tag = 20;
  } else if (tag == 20) {
    tag = 10;
  } else {
    // From a study bar speed: on to the next of the three above it.
    tag = tag < 10 ? 10 : tag < 15 ? 15 : tag < 20 ? 20 : 10;
  }
  sender.setTag(tag);
  setPlaybackSpeed(static_cast<float>(tag) / 10.0f);
  // A press while paused plays at the new speed.
  if (!isPlaying()) playVideo();
  showControls();
  syncPlayPauseButtons();
}

void PlayVideoViewController::playPauseHandler() {
  // Play in a shadowing pause: the learner has said the line.
  if (lineTools_.isShadowPausing()) {
    lineTools_.resumeFromPause();
    return;
  }
  if (seekToZeroBeforePlay_) {
    seekToZeroBeforePlay_ = false;
    if (videoPlayer_) seeker_.seekTo(videoPlayer_, MediaTime::zero());
  }
  if (isPlaying()) {
    pause();
  } else {
    playVideo();
    overlay().activityIndicator().stopAnimating();
  }
}

void PlayVideoViewController::showCannotFetchStreamError() {
  ErrorPtr error = lastStreamError_;
  if (!error && videoPlayer_) error = videoPlayer_->error();
  if (!error && videoPlayer_ && videoPlayer_->currentItem())
    error = videoPlayer_->currentItem()->error();
  // One alert at a time: a stream failing twice is still one failure.
  if (auto shown = failureAlert_.lock(); shown && shown->isVisible()) return;
  StreamFailureText text = streamFailureText(streamFailureKind(error));
  auto alert = View::make<AlertView>(text.title, text.message, this, "取消",
                                     std::vector<std::string>{"重试"});
  failureAlert_ = alert;
  alert->show();
}

bool PlayVideoViewController::clickedButtonAtIndex(AlertView& alert, int buttonIndex) {
  if (&alert != failureAlert_.lock().get()) return false;
  if (buttonIndex == 1) retryPlayback();
  return true;
}

void PlayVideoViewController::retryPlayback() {
  auto found = currentVideoInfo_.find("url");
  if (found == currentVideoInfo_.end()) return;
  // Copies: loading replaces both.
  const std::string url = found->second;
  const std::string title = videoTitle_;
  double at = failedAtSeconds_;
  playVideoWithTitle(title, url, openedInFullScreen_);
  if (at > 0) reopenAtSeconds_ = at;
}

// ---- Display --------------------------------------------------------------------

std::string PlayVideoViewController::stringTimeFromSeconds(double seconds) {
  return lorvane::stringTimeFromSeconds(seconds);
}

void PlayVideoViewController::syncScrubber() {
  ProgressSlider& scrubber = overlay().videoScrubber();
  // The finger has the thumb.
  if (scrubber.isTracking()) return;
  MediaTime duration = playerItemDuration();
  if (!duration.isValid()) {
    scrubber.setMinimumValue(0);
    return;
  }
  double total = duration.seconds();
  // A zero length would divide by zero; it cannot place anything either.
  if (!std::isfinite(total) || total <= 0) return;
  double current = displayedSeconds();
  double minimum = scrubber.minimumValue();
  double maximum = scrubber.maximumValue();
  scrubber.setValue(minimum + (maximum - minimum) * current / total);
}

void PlayVideoViewController::syncPlayClock() {
  std::int64_t total = integerValueOf(duration_.get());
  // While seeking, the time sought is the time to show.
  double elapsed = displayedSeconds();
  overlay().timeLabel().setText(stringTimeFromSeconds(elapsed) + "/" +
                                stringTimeFromSeconds(static_cast<double>(total)));
}

void PlayVideoViewController::syncPlayPauseButtons() {
  Button& button = overlay().playPauseButton();
  if (isPlaying()) {
    button.setImage(Image::imageNamed("暂倯-1"), ControlStateNormal);
    button.setImage(Image::imageNamed("暂倯-2"), ControlStateHighlighted);
  } else {
    button.setImage(Image::imageNamed("播放-2"), ControlStateNormal);
    button.setImage(Image::imageNamed("播放-1"), ControlStateHighlighted);
  }
}

void PlayVideoViewController::showControls() {
  NotificationCenter::defaultCenter().postNotificationName(kVideoPlayerWillShowControlsNotification,
                                                           this);
  animateWithDuration(kControlsFadeDuration, [this] {
    overlay().headControlBar().setAlpha(1.0);
    overlay().bottomControlBar().setAlpha(1.0);
    if (studyBar_ && studyBarOverVideo_) studyBar_->setAlpha(1.0);
  });
  if (fullScreenModeToggled_) {
    Application::sharedApplication().setStatusBarHidden(false, StatusBarAnimation::Fade);
  }
  RunLoop::main().cancelPreviousPerformRequests(this, kHideControlsOperation, &kAnimatedArgument);
  if (isPlaying()) {
    RunLoop::main().performAfterDelay(this, kHideControlsOperation, &kAnimatedArgument,
                                      kAutoHideDelay, [this] { hideControlsAnimated(true); });
  }
}

void PlayVideoViewController::hideControlsAnimated(bool animated) {
  NotificationCenter::defaultCenter().postNotificationName(kVideoPlayerWillHideControlsNotification,
                                                           this);
  if (animated) {
    animateWithDuration(kControlsFadeDuration, [this] {
      overlay().headControlBar().setAlpha(0.0);
      overlay().bottomControlBar().setAlpha(0.0);
      if (auto panel = overlay().volumeControlView()) panel->setAlpha(0.0);
      if (studyBar_ && studyBarOverVideo_) studyBar_->setAlpha(0.0);
    });
    View* parent = view()->superview();
    if (fullScreenModeToggled_ && (!parent || parent->frame().height() <= 320)) {
      Application::sharedApplication().setStatusBarHidden(true, StatusBarAnimation::Fade);
    }
  } else {
    overlay().bottomControlBar().setAlpha(0.0);
    overlay().headControlBar().setAlpha(0.0);
    if (studyBar_ && studyBarOverVideo_) studyBar_->setAlpha(0.0);
    if (fullScreenModeToggled_) {
      Application::sharedApplication().setStatusBarHidden(true, StatusBarAnimation::None);
    }
  }
}

void PlayVideoViewController::launchFullScreen() {
  if (fullScreenModeToggled_) return;
  fullScreenModeToggled_ = true;
  if (!isAlwaysFullscreen_) hideControlsAnimated(true);
}

}  // namespace lorvane
