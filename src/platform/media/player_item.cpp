#include "platform/media/player_item.h"

#include <cmath>

#include "platform/foundation/run_loop.h"
#include "platform/media/media_source.h"

namespace lorvane {

namespace {
constexpr std::int32_t kDurationTimescale = 1000000;
}

std::shared_ptr<PlayerItem> PlayerItem::playerItemWithURL(std::string url) {
  return std::make_shared<PlayerItem>(std::move(url));
}

PlayerItem::PlayerItem(std::string url) : url_(std::move(url)), observers_(notificationObject()) {}

PlayerItem::~PlayerItem() {
  detach();
}

PlayerItemStatus PlayerItem::status() const {
  std::lock_guard lock(mutex_);
  return status_;
}

ErrorPtr PlayerItem::error() const {
  std::lock_guard lock(mutex_);
  return error_;
}

MediaTime PlayerItem::duration() const {
  std::lock_guard lock(mutex_);
  return duration_;
}

TimeRanges PlayerItem::loadedTimeRanges() const {
  std::lock_guard lock(mutex_);
  return loadedTimeRanges_;
}

bool PlayerItem::isPlaybackBufferEmpty() const {
  std::lock_guard lock(mutex_);
  return bufferEmpty_;
}

bool PlayerItem::isPlaybackLikelyToKeepUp() const {
  std::lock_guard lock(mutex_);
  return likelyToKeepUp_;
}

ObservationToken PlayerItem::addObserver(const std::string& key, KeyValueObserver observer) {
  return observers_.add(key, std::move(observer));
}

void PlayerItem::removeObserver(ObservationToken token) {
  observers_.remove(token);
}

std::shared_ptr<MediaSource> PlayerItem::attach(const void* player,
                                                const MediaSourceOptions& options) {
  {
    std::lock_guard lock(mutex_);
    owner_ = player;
    // A failed item stays failed, as on the platform; it loads nothing more.
    if (status_ == PlayerItemStatus::Failed) return nullptr;
  }
  std::weak_ptr<PlayerItem> weak = weak_from_this();
  auto source = std::make_shared<MediaSource>(
      url_,
      // These run on the demux thread, which must never hold the item: its
      // last reference would then join that very thread.
      [weak](const SourceInfo& info) {
        RunLoop::main().post([weak, info] {
          if (auto self = weak.lock()) self->applyOpened(info);
        });
      },
      [weak](ErrorPtr error) {
        RunLoop::main().post([weak, error] {
          if (auto self = weak.lock()) self->applyFailed(error);
        });
      },
      options);
  {
    std::lock_guard lock(mutex_);
    owner_ = player;
    source_ = source;
  }
  source->start();
  return source;
}

void PlayerItem::detach() {
  std::shared_ptr<MediaSource> source;
  {
    std::lock_guard lock(mutex_);
    source.swap(source_);
    owner_ = nullptr;
  }
  if (source) source->stop();
}

const void* PlayerItem::owner() const {
  std::lock_guard lock(mutex_);
  return owner_;
}

void PlayerItem::applyOpened(const SourceInfo& info) {
  const MediaTime duration = std::isfinite(info.duration)
                                 ? MediaTime::makeWithSeconds(info.duration, kDurationTimescale)
                                 : MediaTime::indefinite();
  {
    std::lock_guard lock(mutex_);
    if (status_ != PlayerItemStatus::Unknown) return;
    duration_ = duration;
    status_ = PlayerItemStatus::ReadyToPlay;
  }
  observers_.deliver(kStatusKey, static_cast<std::int64_t>(PlayerItemStatus::ReadyToPlay));
}

void PlayerItem::applyFailed(const ErrorPtr& error) {
  {
    std::lock_guard lock(mutex_);
    if (status_ == PlayerItemStatus::Failed) return;
    error_ = error;
    status_ = PlayerItemStatus::Failed;
  }
  observers_.deliver(kStatusKey, static_cast<std::int64_t>(PlayerItemStatus::Failed));
}

void PlayerItem::reportBufferEmpty(bool empty) {
  std::weak_ptr<PlayerItem> weak = weak_from_this();
  observers_.post(kPlaybackBufferEmptyKey, empty, [weak, empty] {
    if (auto self = weak.lock()) {
      std::lock_guard lock(self->mutex_);
      self->bufferEmpty_ = empty;
    }
  });
}

void PlayerItem::reportLikelyToKeepUp(bool likely) {
  std::weak_ptr<PlayerItem> weak = weak_from_this();
  observers_.post(kPlaybackLikelyToKeepUpKey, likely, [weak, likely] {
    if (auto self = weak.lock()) {
      std::lock_guard lock(self->mutex_);
      self->likelyToKeepUp_ = likely;
    }
  });
}

void PlayerItem::reportLoadedTimeRanges(TimeRanges ranges) {
  std::weak_ptr<PlayerItem> weak = weak_from_this();
  observers_.post(kLoadedTimeRangesKey, ranges, [weak, ranges] {
    if (auto self = weak.lock()) {
      std::lock_guard lock(self->mutex_);
      self->loadedTimeRanges_ = ranges;
    }
  });
}

}  // namespace lorvane
