#pragma once

#include <map>
#include <memory>
#include <optional>
#include <string>

#include "json/json.h"
#include "platform/foundation/error.h"
#include "platform/foundation/weak_ptr.h"
#include "platform/media/player_interface.h"
#include "platform/media/system_volume.h"
#include "platform/ui/alert_view.h"
#include "platform/ui/gesture_recognizer.h"
#include "platform/ui/key_press.h"
#include "platform/ui/view_controller.h"
#include "player/caption_cache.h"
#include "player/caption_view.h"
#include "player/line_tools.h"
#include "player/progress_hud.h"
#include "player/seek_queue.h"
#include "player/stream_failure.h"
#include "player/study_bar_view.h"
#include "player/video_control_view.h"
#include "player/volume_level_view.h"

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
class PlayVideoViewControllerDelegate : public virtual Weakable {
 public:
  virtual ~PlayVideoViewControllerDelegate() = default;
  virtual bool respondsToFullScreenVideo() const { return false; }
  virtual void fullScreenVideo() {}
  virtual bool respondsToMinimizeVideo() const { return false; }
  virtual void minimizeVideo() {}
};

// Told of the lesson's lines as the player follows them (the transcript
// under the player listens). Not owned by the player.
class PlayVideoCaptionsDelegate : public virtual Weakable {
 public:
  virtual ~PlayVideoCaptionsDelegate() = default;
  // The lines arrived (or turned out to be none).
  virtual void captionsDidLoad(const CaptionTrack& track) = 0;
  // The line the learner is on changed (npos: none yet).
  virtual void currentLineDidChange(std::size_t line) = 0;
  // The captions mode changed, or a line was heard for the first time.
  virtual void captionWordsDidChange(CaptionMode mode, const std::vector<bool>& heard) = 0;
};

// Plays one lesson video inside the detail page: watches the player and its
// item, drives the overlay (indicator, play/pause pictures, scrubber, clock,
// speed title, bars), starts by itself once the stream can keep up, hides
// the bars 3 seconds after they were shown while playing, and answers taps
// and pans. Seeks of the scrubber and of swipes are merged (one in flight,
// the latest target next); a failed stream is explained with a retry.
// Main thread only.
class PlayVideoViewController : public ViewController,
                                public GestureRecognizerDelegate,
                                public AlertViewDelegate,
                                public LineToolsHost {
 public:
  explicit PlayVideoViewController(std::shared_ptr<PlayerFactory> factory = nullptr);
  ~PlayVideoViewController() override;

  // Properties.
  std::shared_ptr<VideoControlView> videoControlView() const { return videoControlView_; }
  PlayerPtr videoPlayer() const { return videoPlayer_; }
  PlayVideoViewControllerDelegate* delegate() const { return delegate_.get(); }
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
    return scrubberTimeObserver_ != 0 || playClockTimeObserver_ != 0 || lineTimeObserver_ != 0;
  }
  // Why the last stream failed, if it did.
  ErrorPtr lastStreamError() const { return lastStreamError_; }
  // A seek of ours is in flight or waiting for one.
  bool isSeeking() const { return seeker_.isBusy(); }
  // Seeks that reached the player (merged ones never do).
  std::size_t seekCount() const { return seeker_.issuedCount(); }
  // The alert about a failed stream, while it shows.
  std::shared_ptr<AlertView> failureAlert() const { return failureAlert_.lock(); }
  std::shared_ptr<VolumeLevelView> volumeLevelView() const { return volumeLevelView_; }

  // The speed playback runs at whenever it starts: 1.0 until chosen.
  float playbackSpeed() const { return playbackSpeed_; }
  // Chooses the speed; titles the speed button with it and applies it at
  // once while playing.
  void setPlaybackSpeed(float speed);

  // Loading and playing.
  void playVideoWithTitle(const std::string& title, const std::string& url, bool playInFullScreen);
  void playVideo();
  void pause();
  // Where the stream just opened starts once it is ready (0: its
  // beginning). A retry after a failure replaces it.
  void startFromSeconds(double seconds);
  // Goes to a point of the lesson as the scrubber would.
  void seekToSeconds(double seconds);
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
  // Tells the user why the stream failed, with "重试" (open the same video
  // again at the position it had) and "取消".
  void showCannotFetchStreamError();
  // Opens the current video again, at the position it failed at.
  void retryPlayback();

  // Gestures and control input.
  void videoTapHandler();
  void panGestureHandle(PanGestureRecognizer& recognizer);
  void scrubbingDidBegin();
  void scrubberIsScrolling();
  void scrubbingDidEnd();
  void volumeButtonHandler();
  void volumeSliderHandle(Slider& slider);
  // One pan report with a given state, velocity and travel since the pan
  // began: the pan handler's rules without a finger (the recogniser's own
  // handler feeds it).
  void handlePan(GestureRecognizerState state, Point velocity, Point translation);

  std::optional<bool> shouldReceiveTouch(GestureRecognizer&, const Touch& touch) override;
  std::optional<bool> shouldRecognizeSimultaneouslyWithGestureRecognizer(
      GestureRecognizer&, GestureRecognizer&) override {
    return true;
  }
  bool clickedButtonAtIndex(AlertView& alert, int buttonIndex) override;

  TapGestureRecognizer* tapRecognizer() const { return tapRecognizer_.get(); }
  PanGestureRecognizer* panRecognizer() const { return panRecognizer_.get(); }

  // ---- Studying the lesson's lines ----
  // Fetches the lesson's WebVTT file (through the captions cache); a
  // missing or broken file leaves the lesson without lines, as one with no
  // file at all.
  void loadCaptionsWithURL(const std::string& url);
  void setCaptionTrack(CaptionTrack track);
  const CaptionTrack& captionTrack() const { return lineTools_.track(); }
  bool captionsLoading() const { return captionsLoading_; }
  PlayVideoCaptionsDelegate* captionsDelegate() const { return captionsDelegate_.get(); }
  void setCaptionsDelegate(PlayVideoCaptionsDelegate* delegate) { captionsDelegate_ = delegate; }
  // The process-wide captions cache the lines come through.
  static CaptionCache& captionCache() { return CaptionCache::shared(); }

  CaptionMode captionMode() const { return captionMode_; }
  void setCaptionMode(CaptionMode mode);
  void cycleCaptionMode() { setCaptionMode(nextCaptionMode(captionMode_)); }
  // Whether the line has been heard to its end once.
  bool isLineHeard(std::size_t line) const { return line < heard_.size() && heard_[line]; }
  // The line the learner is on (npos before the first).
  std::size_t currentLine() const { return currentLine_; }
  // Plays from the start of a line (a tap on the transcript).
  void playLine(std::size_t line);

  LineTools& lineTools() { return lineTools_; }
  void repeatLine();
  void cycleLoop();
  void markABLoop();
  void toggleShadowing();
  void toggleRamp();

  // The study bar's speeds, slowest first; pitch is kept at every one.
  static const std::vector<float>& studySpeeds();
  void slower();
  void faster();
  // The study bar's speed button: the next speed, after the fastest the
  // slowest.
  void cycleStudySpeed();
  // Moves playback by `seconds` (the arrow keys).
  void skipBy(double seconds);
  void changeVolumeBy(double amount);

  // The keys of the desktop keyboard while a lesson plays: space, left and
  // right (5 s), up and down (volume), "[" and "]" (speed), "s" (repeat the
  // line), "c" (captions), "l" (loop). True when taken.
  bool handleKey(const KeyPress& key);
  static constexpr double kKeySkipSeconds = 5;
  static constexpr double kKeyVolumeStep = 0.1;

  std::shared_ptr<CaptionView> captionView() const { return captionView_; }
  std::shared_ptr<StudyBarView> studyBar();
  // Where the study bar sits: under the player (false) or over its
  // picture, fading with the bars (true).
  void placeStudyBarOverVideo(bool over);

  // LineToolsHost.
  void lineToolsSeek(double seconds) override;
  void lineToolsSetSpeed(float speed) override;
  void lineToolsPause() override;
  void lineToolsResume() override;
  void lineToolsChanged() override;

  void loadView() override;
  void viewDidLoad() override;
  void viewWillDisappear(bool animated) override;

  static constexpr double kControlsFadeDuration = 0.333;
  static constexpr double kAutoHideDelay = 3.0;
  // A swipe seeks by the finger's travel: this many points a second.
  static constexpr double kSwipePointsPerSecond = 10.0;
  // A swipe up or down changes the volume by the finger's travel: this
  // many points from silence to full.
  static constexpr double kSwipePointsPerVolume = 150.0;
  // How often captions, transcript and the line tools hear of playback.
  static constexpr double kLineFollowInterval = 1.0 / 60;

 private:
  void setURL(const std::string& url);
  void observeItem(const PlayerItemPtr& item);
  void stopObservingItemAndPlayer();
  void updatePlaybackProgress();
  void removePlayerTimeObservers();
  void itemChanged(const PlayerItemInterface* item, const KeyValueChange& change);
  void playerItemDidReachEnd();
  void streamFailed(const PlayerItemPtr& item);
  void streamBrokeOff(ErrorPtr error);
  void teardown();
  void attachControlActions();
  // Every seek goes through here: merged, and the end's rewind forgotten.
  void seekTo(double seconds, std::int32_t timescale);
  void seekDidSettle();
  // Where playback is, or is about to be once our seeks are done.
  double displayedSeconds() const;
  // The stream's length once known, else the record's.
  double lengthForScrubbing() const;
  void beginPan(Point velocity);
  void panSeek(Point translation);
  void panVolume(Point translation);
  void endPan();
  // Each report of the line observer: captions, heard lines, the current
  // line and the tools.
  void followPlayback();
  // Follows playback frame by frame while the lesson has lines.
  void observeLinesIfAny();
  void showCaption(double seconds);
  void updateStudyBar();
  void applySpeed(float speed);
  void attachStudyBarActions();
  // The overlay, loading the view first when needed.
  VideoControlView& overlay();

  std::shared_ptr<PlayerFactory> factory_;
  std::shared_ptr<VideoControlView> videoControlView_;
  PlayerPtr videoPlayer_;
  MusicPlayerController* appMusicPlayer_ = nullptr;
  WeakPtr<PlayVideoViewControllerDelegate> delegate_;
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
  float playbackSpeed_ = 1.0f;
  SeekQueue seeker_;

  // The swipe under way: what it does, decided by its first clear report,
  // and where it started.
  enum class PanMode { Undecided, Seeking, Volume };
  PanMode panMode_ = PanMode::Undecided;
  double panStartSeconds_ = 0;
  double panStartVolume_ = 0;
  double panTarget_ = -1;
  std::shared_ptr<VolumeLevelView> volumeLevelView_;

  // Retrying: how the video was opened, and where it failed.
  bool openedInFullScreen_ = false;
  double failedAtSeconds_ = 0;
  std::optional<double> reopenAtSeconds_;
  std::weak_ptr<AlertView> failureAlert_;

  // What we observe, so that it can be undone exactly once.
  PlayerItemPtr observedItem_;
  std::vector<ObservationToken> itemObservations_;
  PlayerPtr observedPlayer_;
  ObservationToken externalPlaybackObservation_ = 0;
  bool subscribedToEnd_ = false;

  std::shared_ptr<TapGestureRecognizer> tapRecognizer_;
  std::shared_ptr<PanGestureRecognizer> panRecognizer_;

  // Studying: the lines, the tools and what shows them.
  LineTools lineTools_{*this};
  bool captionsLoading_ = false;
  // Which load a delivery belongs to: a later lesson forgets the earlier.
  std::shared_ptr<int> captionsLoad_;
  WeakPtr<PlayVideoCaptionsDelegate> captionsDelegate_;
  CaptionMode captionMode_ = CaptionMode::EnglishAndChinese;
  std::vector<bool> heard_;
  std::size_t currentLine_ = CaptionTrack::npos;
  double lastFollowedSeconds_ = -1;
  TimeObserverToken lineTimeObserver_ = 0;
  std::shared_ptr<CaptionView> captionView_;
  std::shared_ptr<StudyBarView> studyBar_;
  bool studyBarOverVideo_ = false;
};

}  // namespace lorvane
