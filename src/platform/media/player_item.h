#pragma once

#include <memory>
#include <mutex>
#include <string>

#include "platform/media/player_interface.h"

namespace lorvane {

class MediaSource;
struct MediaSourceOptions;
struct SourceInfo;

// A media item for a URL (http, https or a local file). It starts loading
// when a player takes it; all its reports arrive on the main run loop.
class PlayerItem : public PlayerItemInterface, public std::enable_shared_from_this<PlayerItem> {
 public:
  static std::shared_ptr<PlayerItem> playerItemWithURL(std::string url);

  explicit PlayerItem(std::string url);
  ~PlayerItem() override;

  std::string url() const override { return url_; }
  PlayerItemStatus status() const override;
  ErrorPtr error() const override;
  MediaTime duration() const override;
  TimeRanges loadedTimeRanges() const override;
  bool isPlaybackBufferEmpty() const override;
  bool isPlaybackLikelyToKeepUp() const override;

  ObservationToken addObserver(const std::string& key, KeyValueObserver observer) override;
  void removeObserver(ObservationToken token) override;

 private:
  friend class Player;

  // Player side, main thread: starts and stops the loading.
  std::shared_ptr<MediaSource> attach(const void* player, const MediaSourceOptions& options);
  void detach();
  const void* owner() const;

  // Main thread: the stream opened or failed; status and duration change
  // and the observers hear of it at once.
  void applyOpened(const SourceInfo& info);
  void applyFailed(const ErrorPtr& error);
  // From any thread: the buffer moved; the getters follow on the main run
  // loop, just before the observers hear of it.
  void reportBufferEmpty(bool empty);
  void reportLikelyToKeepUp(bool likely);
  void reportLoadedTimeRanges(TimeRanges ranges);

  const std::string url_;
  mutable std::mutex mutex_;
  PlayerItemStatus status_ = PlayerItemStatus::Unknown;
  ErrorPtr error_;
  MediaTime duration_ = MediaTime::invalid();
  TimeRanges loadedTimeRanges_;
  bool bufferEmpty_ = true;
  bool likelyToKeepUp_ = false;
  const void* owner_ = nullptr;
  std::shared_ptr<MediaSource> source_;
  ObservationRegistry observers_;
};

}  // namespace lorvane
