#include "support/media/fake_player.h"

#include <cmath>

#include "platform/foundation/notification_center.h"
#include "platform/foundation/run_loop.h"

namespace lorvane::testing {

namespace {
constexpr std::int32_t kTimescale = 1000000;
}

FakePlayerItem::FakePlayerItem(std::string url)
    : url_(std::move(url)), observers_(notificationObject()) {}

ObservationToken FakePlayerItem::addObserver(const std::string& key, KeyValueObserver observer) {
  return observers_.add(key, std::move(observer));
}

void FakePlayerItem::removeObserver(ObservationToken token) {
  observers_.remove(token);
}

void FakePlayerItem::setStatus(PlayerItemStatus status, ErrorPtr error) {
  status_ = status;
  error_ = std::move(error);
  observers_.post(kStatusKey, static_cast<std::int64_t>(status));
}

void FakePlayerItem::setDurationSeconds(double seconds) {
  duration_ = MediaTime::makeWithSeconds(seconds, kTimescale);
}

void FakePlayerItem::setPlaybackBufferEmpty(bool empty) {
  bufferEmpty_ = empty;
  observers_.post(kPlaybackBufferEmptyKey, empty);
}

void FakePlayerItem::setPlaybackLikelyToKeepUp(bool likely) {
  likelyToKeepUp_ = likely;
  observers_.post(kPlaybackLikelyToKeepUpKey, likely);
}

void FakePlayerItem::setLoadedTimeRanges(TimeRanges ranges) {
  ranges_ = ranges;
  observers_.post(kLoadedTimeRangesKey, std::move(ranges));
}

void FakePlayerItem::postDidPlayToEnd() {
  const void* object = notificationObject();
  RunLoop::main().post([object] {
    NotificationCenter::defaultCenter().postNotificationName(
        kPlayerItemDidPlayToEndTimeNotification, object);
  });
}

FakePlayer::FakePlayer(PlayerItemPtr item)
    : item_(std::move(item)), observers_(static_cast<const PlayerInterface*>(this)) {}

void FakePlayer::replaceCurrentItemWithPlayerItem(PlayerItemPtr item) {
  replacedItems_.push_back(item);
  item_ = std::move(item);
  time_ = 0;
}

void FakePlayer::play() {
  ++playCount_;
  setRate(1.0f);
}

void FakePlayer::pause() {
  ++pauseCount_;
  setRate(0.0f);
}

void FakePlayer::setRate(float rate) {
  rates_.push_back(rate);
  if (rate == rate_) return;
  rate_ = rate;
  observers_.post(kRateKey, static_cast<double>(rate));
  timeObservers_.timeJumped(time_);
}

MediaTime FakePlayer::currentTime() const {
  if (!item_) return MediaTime::zero();
  return MediaTime::makeWithSeconds(time_, kTimescale);
}

void FakePlayer::seekToTime(const MediaTime& time, SeekCompletion completion) {
  seeks_.push_back({time, std::move(completion), false});
  if (item_ && time.isNumeric()) time_ = std::max(0.0, time.seconds());
}

TimeObserverToken FakePlayer::addPeriodicTimeObserverForInterval(const MediaTime& interval,
                                                                 PeriodicTimeCallback callback) {
  return timeObservers_.add(interval, std::move(callback));
}

void FakePlayer::removeTimeObserver(TimeObserverToken token) {
  timeObservers_.remove(token);
}

ObservationToken FakePlayer::addObserver(const std::string& key, KeyValueObserver observer) {
  return observers_.add(key, std::move(observer));
}

void FakePlayer::removeObserver(ObservationToken token) {
  observers_.remove(token);
}

void FakePlayer::setStatus(PlayerStatus status, ErrorPtr error) {
  status_ = status;
  error_ = std::move(error);
  observers_.post(kStatusKey, static_cast<std::int64_t>(status));
}

void FakePlayer::setCurrentTime(double seconds) {
  time_ = seconds;
  timeObservers_.timeAdvanced(seconds);
}

void FakePlayer::advance(double seconds) {
  setCurrentTime(time_ + seconds * rate_);
}

void FakePlayer::completeSeeks(bool finished) {
  for (auto& seek : seeks_) {
    if (seek.completed) continue;
    seek.completed = true;
    if (seek.completion) {
      RunLoop::main().post([completion = seek.completion, finished] { completion(finished); });
    }
  }
  if (finished) timeObservers_.timeJumped(time_);
}

void FakePlayer::playToEnd() {
  if (item_) {
    const double end = item_->duration().seconds();
    if (std::isfinite(end)) time_ = end;
  }
  if (rate_ != 0) {
    rate_ = 0;
    observers_.post(kRateKey, 0.0);
  }
  timeObservers_.timeJumped(time_);
  if (auto* item = dynamic_cast<FakePlayerItem*>(item_.get())) item->postDidPlayToEnd();
}

PlayerItemPtr FakePlayerFactory::playerItemWithURL(const std::string& url) {
  auto item = std::make_shared<FakePlayerItem>(url);
  items_.push_back(item);
  return item;
}

PlayerPtr FakePlayerFactory::playerWithPlayerItem(PlayerItemPtr item) {
  auto player = std::make_shared<FakePlayer>(std::move(item));
  players_.push_back(player);
  return player;
}

}  // namespace lorvane::testing
