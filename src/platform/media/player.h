#pragma once

#include <atomic>
#include <condition_variable>
#include <functional>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

#include "platform/media/playback_clock.h"
#include "platform/media/player_interface.h"
#include "platform/media/player_item.h"
#include "platform/media/tempo_filter.h"

namespace lorvane {

class AudioSink;
class MediaSource;

// How well pictures kept to the sound, for diagnostics and benchmarks.
struct PlaybackStatistics {
  std::uint64_t framesPresented = 0;
  std::uint64_t framesDropped = 0;
  double maxDrift = 0;    // largest |picture time - clock| when shown, seconds
  double totalDrift = 0;  // sum of |drift| over the frames shown while playing
  std::uint64_t driftSamples = 0;
  double meanDrift() const { return driftSamples ? totalDrift / driftSamples : 0; }
};

struct PlayerOptions {
  // Never open an audio device; play against the real clock (tests,
  // benchmarks).
  bool clockDrivenAudio = false;
  // Seconds a network stream may stay silent before its item fails (or,
  // while playing, fails to play to its end).
  double stallTimeout = 12.0;
};

// The FFmpeg player: plays one item at a time, with sound through SDL as the
// master clock and pictures shown by that clock. A control thread of its own
// moves the pictures, the reports and the periodic observers; everything it
// tells the application arrives on the main run loop.
class Player : public PlayerInterface, public std::enable_shared_from_this<Player> {
 public:
  using AudioTap = std::function<void(const float* samples, std::size_t frames, int channels)>;

  static std::shared_ptr<Player> playerWithPlayerItem(PlayerItemPtr item,
                                                      PlayerOptions options = {});
  static std::shared_ptr<Player> playerWithURL(const std::string& url, PlayerOptions options = {});

  explicit Player(PlayerOptions options = {});
  ~Player() override;
  Player(const Player&) = delete;
  Player& operator=(const Player&) = delete;

  PlayerItemPtr currentItem() const override;
  // Only items of this library can play here; an item already playing in
  // another player is a programming error.
  void replaceCurrentItemWithPlayerItem(PlayerItemPtr item) override;

  PlayerStatus status() const override { return PlayerStatus::ReadyToPlay; }
  ErrorPtr error() const override { return nullptr; }

  // Rates above 0 are kept within 0.5 to 4.0, below 0 mean 0; NaN is
  // ignored.
  void play() override { setRate(1.0f); }
  void pause() override { setRate(0.0f); }
  float rate() const override;
  void setRate(float rate) override;

  MediaTime currentTime() const override;
  void seekToTime(const MediaTime& time, SeekCompletion completion = {}) override;

  TimeObserverToken addPeriodicTimeObserverForInterval(const MediaTime& interval,
                                                       PeriodicTimeCallback callback) override;
  void removeTimeObserver(TimeObserverToken token) override;

  bool isExternalPlaybackActive() const override { return false; }

  ObservationToken addObserver(const std::string& key, KeyValueObserver observer) override;
  void removeObserver(ObservationToken token) override;

  std::shared_ptr<const VideoFrame> currentVideoFrame() const override;

  // Sees every buffer of sound as it leaves for the device, volume applied
  // (tests, level meters). Runs on the audio thread.
  void setAudioTap(AudioTap tap);
  std::string audioOutputName() const;
  PlaybackStatistics statistics() const;
  void resetStatistics();

 private:
  struct PendingSeek {
    double target = 0;
    std::uint64_t serial = 0;
    SeekCompletion completion;
  };

  void controlLoop();
  void tick();
  void present(MediaSource& source, double now);
  void updateFreeRunningClock(MediaSource& source, double now);
  void checkSeekDone(MediaSource& source);
  void checkEnd(MediaSource& source, double now);
  void reportBuffer(MediaSource& source, double now);
  void renderAudio(float* out, std::size_t frames, double heardAt);
  double effectiveSpeed() const;             // under mutex_
  double clampedTime(double seconds) const;  // under mutex_
  void completeSeek(SeekCompletion completion, bool finished);
  void postRateChange(float rate);
  void wake();

  const PlayerOptions options_;

  mutable std::mutex mutex_;
  std::condition_variable wakeup_;
  std::shared_ptr<PlayerItem> item_;
  std::shared_ptr<MediaSource> source_;
  float rate_ = 0;
  double duration_ = 0;  // of the current source once open; NaN when unknown
  bool hasAudio_ = false, hasVideo_ = false, opened_ = false;
  bool seeking_ = false;
  PendingSeek seek_;
  bool frameShownSinceSeek_ = false;
  bool ended_ = false;
  bool audioDrained_ = false;
  bool starved_ = false;
  double lastFrameEnd_ = 0;
  // What the item was last told, so that only changes are reported.
  bool reportedEmpty_ = true, reportedLikely_ = false;
  double reportedRangeStart_ = -1, reportedRangeEnd_ = -1;

  PlaybackClock clock_;
  std::shared_ptr<const VideoFrame> currentFrame_;
  std::uint64_t frameSerial_ = 0;
  PlaybackStatistics statistics_;

  // Audio thread only.
  TempoFilter tempo_;
  std::vector<float> input_, pending_;
  std::shared_ptr<MediaSource> renderSource_;
  std::uint64_t renderSerial_ = 0;
  double renderCursor_ = 0;  // media time of pending_[0]
  bool renderCursorSet_ = false;
  bool tempoDrained_ = false;
  std::mutex tapMutex_;
  AudioTap tap_;

  PeriodicTimeObservers timeObservers_;
  ObservationRegistry observers_;
  std::atomic<bool> stopping_{false};
  std::thread controlThread_;
  std::unique_ptr<AudioSink> sink_;
};

// Makes FFmpeg items and players for the controller.
class MediaPlayerFactory : public PlayerFactory {
 public:
  explicit MediaPlayerFactory(PlayerOptions options = {}) : options_(options) {}
  PlayerItemPtr playerItemWithURL(const std::string& url) override;
  PlayerPtr playerWithPlayerItem(PlayerItemPtr item) override;

 private:
  PlayerOptions options_;
};

}  // namespace lorvane
