#pragma once

#include <map>
#include <memory>
#include <string>

#include "json/json.h"
#include "platform/foundation/error.h"
#include "platform/media/player_interface.h"
#include "platform/media/system_volume.h"
#include "platform/ui/gesture_recognizer.h"
#include "platform/ui/view_controller.h"
#include "player/progress_hud.h"
#include "player/video_control_view.h"

namespace lorvane {

inline constexpr const char* kVideoPlayerVideoChangedNotification =
    "VideoPlayerVideoChangedNotification";
inline constexpr const char* kVideoPlayerWillShowControlsNotification =
    "VideoPlayerWillShowControlsNotification";
// Spelled as the rest of the app expects it.
inline constexpr const char* kVideoPlayerWillHideControlsNotification =
    "VideoPlayerWillHideControlsNotitication";

// Told when the user wants full screen or leaves the player. Both are
// optional: a delegate opts in through the matching responds... answer.
class PlayVideoViewControllerDelegate {
 public:
  virtual ~PlayVideoViewControllerDelegate() = default;
  virtual bool respondsToFullScreenVideo() const { return false; }
  virtual void fullScreenVideo() {}
  virtual bool respondsToMinimizeVideo() const { return false; }
  virtual void minimizeVideo() {}
};

// Plays one lesson video inside the detail page: watches the player and its
// item, drives the overlay (indicator, play/pause pictures, scrubber, clock,
// speed title, bars), starts by itself once the stream can keep up, hides
// the bars 3 seconds after they were shown while playing, and answers taps
// and pans. Main thread only.
class PlayVideoViewController : public ViewController, public GestureRecognizerDelegate {
 public:
  explicit PlayVideoViewController(std::shared_ptr<PlayerFactory> factory = nullptr);
  ~PlayVideoViewController() override;

  // Properties.
  std::shared_ptr<VideoControlView> videoControlView() const { return videoControlView_; }
  PlayerPtr videoPlayer() const { return videoPlayer_; }
  PlayVideoViewControllerDelegate* delegate() const { return delegate_; }
  void setDelegate(PlayVideoViewControllerDelegate* delegate) { delegate_ = delegate; }
  // The lesson's length in whole seconds: a number or a string of digits.
  const JSONValueRef& duration() const { return duration_; }
  void setDuration(JSONValueRef duration) { duration_ = std::move(duration); }
  const std::string& videoTitle() const { return videoTitle_; }
  const std::map<std::string, std::string>& currentVideoInfo() const { return currentVideoInfo_; }
  double preSeconds() const { return preSeconds_; }
  void setPreSeconds(double seconds) { preSeconds_ = seconds; }
  std::shared_ptr<ProgressHUD> progHUD() const { return progHUD_; }
  void setProgHUD(std::shared_ptr<ProgressHUD> hud) { progHUD_ = std::move(hud); }
  MusicPlayerController* appMusicPlayer() const { return appMusicPlayer_; }

  bool playWhenReady() const { return playWhenReady_; }
  bool scrubBuffering() const { return scrubBuffering_; }
  bool playerIsBuffering() const { return playerIsBuffering_; }
  bool restoreVideoPlayStateAfterScrubbing() const { return restoreVideoPlayStateAfterScrubbing_; }
  bool seekToZeroBeforePlay() const { return seekToZeroBeforePlay_; }
  bool fullScreenModeToggled() const { return fullScreenModeToggled_; }
  bool isAlwaysFullscreen() const { return isAlwaysFullscreen_; }
  bool hasTimeObservers() const {
    return scrubberTimeObserver_ != 0 || playClockTimeObserver_ != 0;
  }
  // Why the last stream failed, if it did.
  ErrorPtr lastStreamError() const { return lastStreamError_; }

  // Loading and playing.
  void playVideoWithTitle(const std::string& title, const std::string& url, bool playInFullScreen);
  void playVideo();
  void pause();
  bool isPlaying() const;
  MediaTime playerItemDuration() const;
  double availableDuration() const;

  // Display (scrubber, clock, pictures, bars).
  void syncScrubber();
  void syncPlayClock();
  void syncPlayPauseButtons();
  void showControls();
  void hideControlsAnimated(bool animated);
  void launchFullScreen();
  static std::string stringTimeFromSeconds(double seconds);

  // Actions of the overlay's controls.
  void fullScreenVideo();
  void closePlayBack();
  void doubleButtonHandler(Button& sender);
  void playPauseHandler();
  void showCannotFetchStreamError();

  // Gestures and control input.
  void videoTapHandler();
  void panGestureHandle(PanGestureRecognizer& recognizer);
  void scrubbingDidBegin();
  void scrubberIsScrolling();
  void scrubbingDidEnd();
  void volumeButtonHandler();
  void volumeSliderHandle(Slider& slider);
  // One pan report with a given state and velocity: the pan handler's rules
  // without a finger (the recogniser's own handler feeds it).
  void handlePan(GestureRecognizerState state, Point velocity);

  std::optional<bool> shouldReceiveTouch(GestureRecognizer&, const Touch& touch) override;
  std::optional<bool> shouldRecognizeSimultaneouslyWithGestureRecognizer(
      GestureRecognizer&, GestureRecognizer&) override {
    return true;
  }

  TapGestureRecognizer* tapRecognizer() const { return tapRecognizer_.get(); }
  PanGestureRecognizer* panRecognizer() const { return panRecognizer_.get(); }

  void loadView() override;
  void viewDidLoad() override;
  void viewWillDisappear(bool animated) override;

  static constexpr double kControlsFadeDuration = 0.333;
  static constexpr double kAutoHideDelay = 3.0;
  static constexpr double kSeekStep = 3.0;
  static constexpr double kVolumeStep = 0.03;

 private:
  void setURL(const std::string& url);
  void observeItem(const PlayerItemPtr& item);
  void stopObservingItemAndPlayer();
  void updatePlaybackProgress();
  void removePlayerTimeObservers();
  void itemChanged(const PlayerItemInterface* item, const KeyValueChange& change);
  void playerItemDidReachEnd();
  void streamFailed(const PlayerItemPtr& item);
  void teardown();
  void attachControlActions();
  void seekTo(double seconds, std::int32_t timescale);
  // The overlay, loading the view first when needed.
  VideoControlView& overlay();

  std::shared_ptr<PlayerFactory> factory_;
  std::shared_ptr<VideoControlView> videoControlView_;
  PlayerPtr videoPlayer_;
  MusicPlayerController* appMusicPlayer_ = nullptr;
  PlayVideoViewControllerDelegate* delegate_ = nullptr;  // not owned
  JSONValueRef duration_;
  std::string videoTitle_;
  std::map<std::string, std::string> currentVideoInfo_;
  double preSeconds_ = 0.0;
  TimeObserverToken scrubberTimeObserver_ = 0;
  TimeObserverToken playClockTimeObserver_ = 0;
  std::shared_ptr<ProgressHUD> progHUD_;
  bool playWhenReady_ = false;
  bool scrubBuffering_ = false;
  bool playerIsBuffering_ = false;
  bool restoreVideoPlayStateAfterScrubbing_ = false;
  bool seekToZeroBeforePlay_ = false;
  bool fullScreenModeToggled_ = false;
  bool isAlwaysFullscreen_ = false;
  ErrorPtr lastStreamError_;

  // What we observe, so that it can be undone exactly once.
  PlayerItemPtr observedItem_;
  std::vector<ObservationToken> itemObservations_;
  PlayerPtr observedPlayer_;
  ObservationToken externalPlaybackObservation_ = 0;
  bool subscribedToEnd_ = false;

  std::shared_ptr<TapGestureRecognizer> tapRecognizer_;
  std::shared_ptr<PanGestureRecognizer> panRecognizer_;
};

}  // namespace lorvane
