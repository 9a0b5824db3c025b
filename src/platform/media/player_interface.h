#pragma once

#include <functional>
#include <memory>
#include <string>

#include "platform/foundation/error.h"
#include "platform/foundation/video_frame.h"
#include "platform/media/key_value_observing.h"
#include "platform/media/media_time.h"
#include "platform/media/periodic_time_observers.h"

namespace lorvane {

// Keys the player and its items report changes of.
inline constexpr const char* kStatusKey = "status";
inline constexpr const char* kLoadedTimeRangesKey = "loadedTimeRanges";
inline constexpr const char* kPlaybackBufferEmptyKey = "playbackBufferEmpty";
inline constexpr const char* kPlaybackLikelyToKeepUpKey = "playbackLikelyToKeepUp";
inline constexpr const char* kRateKey = "rate";
inline constexpr const char* kExternalPlaybackActiveKey = "externalPlaybackActive";

// Posted to the default notification centre with the item (as a
// `const PlayerItemInterface*`) as the object.
inline constexpr const char* kPlayerItemDidPlayToEndTimeNotification =
    "AVPlayerItemDidPlayToEndTimeNotification";
// Posted when playback stops short of the end because the stream broke;
// user-info kPlayerItemFailedToPlayToEndTimeErrorKey holds the ErrorPtr.
inline constexpr const char* kPlayerItemFailedToPlayToEndTimeNotification =
    "AVPlayerItemFailedToPlayToEndTimeNotification";
inline constexpr const char* kPlayerItemFailedToPlayToEndTimeErrorKey =
    "AVPlayerItemFailedToPlayToEndTimeErrorKey";

// Reported through "status" as integers 0, 1, 2.
enum class PlayerItemStatus : std::int64_t { Unknown = 0, ReadyToPlay = 1, Failed = 2 };
enum class PlayerStatus : std::int64_t { Unknown = 0, ReadyToPlay = 1, Failed = 2 };

// What the player controller sees of a media item. Every getter is meant for
// the main thread and gives the value of the latest change report.
class PlayerItemInterface {
 public:
  virtual ~PlayerItemInterface() = default;

  virtual std::string url() const = 0;
  virtual PlayerItemStatus status() const = 0;
  // Why the status is Failed; empty otherwise.
  virtual ErrorPtr error() const = 0;
  // The invalid time until the item is ready; indefinite for a live stream.
  virtual MediaTime duration() const = 0;
  virtual TimeRanges loadedTimeRanges() const = 0;
  virtual bool isPlaybackBufferEmpty() const = 0;
  virtual bool isPlaybackLikelyToKeepUp() const = 0;

  // Change reports of "status", "loadedTimeRanges", "playbackBufferEmpty" and
  // "playbackLikelyToKeepUp", with the new value, on the main run loop.
  virtual ObservationToken addObserver(const std::string& key, KeyValueObserver observer) = 0;
  virtual void removeObserver(ObservationToken token) = 0;

  // The object this item's notifications and change reports carry.
  const void* notificationObject() const { return static_cast<const PlayerItemInterface*>(this); }
};

using PlayerItemPtr = std::shared_ptr<PlayerItemInterface>;
using SeekCompletion = std::function<void(bool finished)>;

// What the player controller sees of the player.
class PlayerInterface {
 public:
  virtual ~PlayerInterface() = default;

  virtual PlayerItemPtr currentItem() const = 0;
  // Detaches the old item (its reports stop) and starts loading the new one;
  // an empty pointer leaves the player without an item.
  virtual void replaceCurrentItemWithPlayerItem(PlayerItemPtr item) = 0;

  virtual PlayerStatus status() const = 0;
  virtual ErrorPtr error() const = 0;

  // play() is setRate(1.0), pause() is setRate(0.0). A rate above 0 plays at
  // that speed with the pitch kept.
  virtual void play() = 0;
  virtual void pause() = 0;
  virtual float rate() const = 0;
  virtual void setRate(float rate) = 0;

  // The playback position; zero without an item.
  virtual MediaTime currentTime() const = 0;
  // Seeks exactly (no tolerance); the completion runs on the main run loop
  // with true once the new position shows, or false when a later seek or a
  // new item overtook it.
  virtual void seekToTime(const MediaTime& time, SeekCompletion completion = {}) = 0;

  // The callback runs on the main run loop each `interval` of playback time
  // and whenever the time jumps or playback starts or stops.
  virtual TimeObserverToken addPeriodicTimeObserverForInterval(const MediaTime& interval,
                                                               PeriodicTimeCallback callback) = 0;
  virtual void removeTimeObserver(TimeObserverToken token) = 0;

  virtual bool isExternalPlaybackActive() const = 0;

  // Change reports of "rate" and "externalPlaybackActive" on the main run
  // loop.
  virtual ObservationToken addObserver(const std::string& key, KeyValueObserver observer) = 0;
  virtual void removeObserver(ObservationToken token) = 0;

  // The picture to show now, for the player layer.
  virtual std::shared_ptr<const VideoFrame> currentVideoFrame() const = 0;
};

using PlayerPtr = std::shared_ptr<PlayerInterface>;

// How the controller makes items and players, so that tests can hand it
// scripted ones.
class PlayerFactory {
 public:
  virtual ~PlayerFactory() = default;
  virtual PlayerItemPtr playerItemWithURL(const std::string& url) = 0;
  virtual PlayerPtr playerWithPlayerItem(PlayerItemPtr item) = 0;
};

}  // namespace lorvane
