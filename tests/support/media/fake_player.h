#pragma once

#include <memory>
#include <string>
#include <vector>

#include "platform/media/player_interface.h"

namespace lorvane::testing {

// A scripted media item: the test sets its status, buffer reports, ranges
// and duration, and the item reports each change on the main run loop as the
// real one does.
class FakePlayerItem : public PlayerItemInterface {
 public:
  explicit FakePlayerItem(std::string url);

  std::string url() const override { return url_; }
  PlayerItemStatus status() const override { return status_; }
  ErrorPtr error() const override { return error_; }
  MediaTime duration() const override { return duration_; }
  TimeRanges loadedTimeRanges() const override { return ranges_; }
  bool isPlaybackBufferEmpty() const override { return bufferEmpty_; }
  bool isPlaybackLikelyToKeepUp() const override { return likelyToKeepUp_; }
  ObservationToken addObserver(const std::string& key, KeyValueObserver observer) override;
  void removeObserver(ObservationToken token) override;

  // Script. Each setter changes the value at once and queues its report.
  void setStatus(PlayerItemStatus status, ErrorPtr error = nullptr);
  void setDuration(MediaTime duration) { duration_ = duration; }
  void setDurationSeconds(double seconds);
  void setPlaybackBufferEmpty(bool empty);
  void setPlaybackLikelyToKeepUp(bool likely);
  void setLoadedTimeRanges(TimeRanges ranges);
  // Posts the end-of-item notification with this item as the object.
  void postDidPlayToEnd();

  std::size_t observerCount() const { return observers_.count(); }
  std::size_t observerCount(const std::string& key) const { return observers_.count(key); }

 private:
  std::string url_;
  PlayerItemStatus status_ = PlayerItemStatus::Unknown;
  ErrorPtr error_;
  MediaTime duration_ = MediaTime::invalid();
  TimeRanges ranges_;
  bool bufferEmpty_ = true;
  bool likelyToKeepUp_ = false;
  ObservationRegistry observers_;
};

struct RecordedSeek {
  MediaTime time;
  SeekCompletion completion;
  bool completed = false;
};

// A scripted player: it records what it is asked to do (play, pause, rates,
// seeks, item changes) and moves time only when the test says so.
class FakePlayer : public PlayerInterface {
 public:
  explicit FakePlayer(PlayerItemPtr item = nullptr);

  PlayerItemPtr currentItem() const override { return item_; }
  void replaceCurrentItemWithPlayerItem(PlayerItemPtr item) override;
  PlayerStatus status() const override { return status_; }
  ErrorPtr error() const override { return error_; }
  void play() override;
  void pause() override;
  float rate() const override { return rate_; }
  void setRate(float rate) override;
  MediaTime currentTime() const override;
  // Records the request; the time moves to the target at once, the
  // completion waits for completeSeeks().
  void seekToTime(const MediaTime& time, SeekCompletion completion = {}) override;
  TimeObserverToken addPeriodicTimeObserverForInterval(const MediaTime& interval,
                                                       PeriodicTimeCallback callback) override;
  void removeTimeObserver(TimeObserverToken token) override;
  bool isExternalPlaybackActive() const override { return false; }
  ObservationToken addObserver(const std::string& key, KeyValueObserver observer) override;
  void removeObserver(ObservationToken token) override;
  std::shared_ptr<const VideoFrame> currentVideoFrame() const override { return frame_; }

  // Script.
  void setStatus(PlayerStatus status, ErrorPtr error = nullptr);
  // Moves playback time; periodic observers whose interval was crossed are
  // called on the main run loop.
  void setCurrentTime(double seconds);
  // Like playing on: time moves by `seconds` times the rate.
  void advance(double seconds);
  // Runs the pending seek completions with `finished`.
  void completeSeeks(bool finished = true);
  // The item played to its end: rate 0, time at the item's duration, and
  // the end-of-item notification.
  void playToEnd();
  void setCurrentVideoFrame(std::shared_ptr<const VideoFrame> frame) { frame_ = std::move(frame); }

  // Record.
  int playCount() const { return playCount_; }
  int pauseCount() const { return pauseCount_; }
  // Every rate asked for, play() and pause() included, in order.
  const std::vector<float>& rateHistory() const { return rates_; }
  const std::vector<RecordedSeek>& seeks() const { return seeks_; }
  const std::vector<PlayerItemPtr>& replacedItems() const { return replacedItems_; }
  std::size_t timeObserverCount() const { return timeObservers_.count(); }
  std::size_t observerCount(const std::string& key) const { return observers_.count(key); }

 private:
  PlayerItemPtr item_;
  PlayerStatus status_ = PlayerStatus::ReadyToPlay;
  ErrorPtr error_;
  float rate_ = 0;
  double time_ = 0;
  int playCount_ = 0;
  int pauseCount_ = 0;
  std::vector<float> rates_;
  std::vector<RecordedSeek> seeks_;
  std::vector<PlayerItemPtr> replacedItems_;
  std::shared_ptr<const VideoFrame> frame_;
  PeriodicTimeObservers timeObservers_;
  ObservationRegistry observers_;
};

// Hands the controller fake items and players and keeps them for the test.
class FakePlayerFactory : public PlayerFactory {
 public:
  PlayerItemPtr playerItemWithURL(const std::string& url) override;
  PlayerPtr playerWithPlayerItem(PlayerItemPtr item) override;

  const std::vector<std::shared_ptr<FakePlayerItem>>& items() const { return items_; }
  const std::vector<std::shared_ptr<FakePlayer>>& players() const { return players_; }
  std::shared_ptr<FakePlayerItem> lastItem() const {
    return items_.empty() ? nullptr : items_.back();
  }
  std::shared_ptr<FakePlayer> lastPlayer() const {
    return players_.empty() ? nullptr : players_.back();
  }

 private:
  std::vector<std::shared_ptr<FakePlayerItem>> items_;
  std::vector<std::shared_ptr<FakePlayer>> players_;
};

}  // namespace lorvane::testing
