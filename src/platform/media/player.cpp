#include "platform/media/player.h"

#include <algorithm>
#include <cmath>
#include <limits>

#include "platform/foundation/log.h"
#include "platform/foundation/notification_center.h"
#include "platform/foundation/run_loop.h"
#include "platform/media/audio_sink.h"
#include "platform/media/media_source.h"
#include "platform/media/system_volume.h"

namespace lorvane {

namespace {
constexpr std::int32_t kTimeTimescale = 1000000;
constexpr auto kTickInterval = std::chrono::milliseconds(5);
constexpr std::size_t kReadFrames = 1024;
// Playback is expected to keep up once this much lies ahead of it.
constexpr double kLikelyToKeepUpSeconds = 1.0;
constexpr double kEmptySeconds = 0.05;
constexpr double kRangeReportStep = 0.1;
constexpr float kMinimumRate = 0.5f;
constexpr float kMaximumRate = 4.0f;
}  // namespace

std::shared_ptr<Player> Player::playerWithPlayerItem(PlayerItemPtr item, PlayerOptions options) {
  auto player = std::make_shared<Player>(options);
  player->replaceCurrentItemWithPlayerItem(std::move(item));
  return player;
}

std::shared_ptr<Player> Player::playerWithURL(const std::string& url, PlayerOptions options) {
  return playerWithPlayerItem(PlayerItem::playerItemWithURL(url), options);
}

Player::Player(PlayerOptions options)
    : options_(options), observers_(static_cast<const PlayerInterface*>(this)) {
  // The first thread to touch the main run loop becomes its thread; that
  // must be the creator of the player, never one of its own threads.
  RunLoop::main();
  auto pull = [this](float* samples, std::size_t frames, double heardAt) {
    renderAudio(samples, frames, heardAt);
  };
  sink_ = options_.clockDrivenAudio ? AudioSink::openClockDriven(pull) : AudioSink::open(pull);
  controlThread_ = std::thread([this] { controlLoop(); });
}

Player::~Player() {
  stopping_ = true;
  wake();
  if (controlThread_.joinable()) controlThread_.join();
  sink_.reset();  // no audio callback runs past this line
  std::shared_ptr<PlayerItem> item;
  SeekCompletion completion;
  {
    std::lock_guard lock(mutex_);
    item = std::move(item_);
    source_.reset();
    if (seeking_) completion = std::move(seek_.completion);
  }
  if (item) item->detach();
  completeSeek(std::move(completion), false);
}

PlayerItemPtr Player::currentItem() const {
  std::lock_guard lock(mutex_);
  return item_;
}

void Player::replaceCurrentItemWithPlayerItem(PlayerItemPtr item) {
  auto mine = std::dynamic_pointer_cast<PlayerItem>(item);
  if (item && !mine) {
    throw Exception("NSInvalidArgumentException",
                    "The item was not made by this player's media library");
  }
  if (mine && mine->owner() && mine->owner() != this) {
    throw Exception("NSInvalidArgumentException",
                    "An AVPlayerItem cannot be associated with more than one instance of AVPlayer");
  }
  std::shared_ptr<PlayerItem> old;
  SeekCompletion overtaken;
  {
    std::lock_guard lock(mutex_);
    if (mine == item_) return;
    old = std::move(item_);
    source_.reset();
    if (seeking_) overtaken = std::move(seek_.completion);
    item_ = mine;
    opened_ = hasAudio_ = hasVideo_ = false;
    duration_ = std::numeric_limits<double>::quiet_NaN();
    seeking_ = ended_ = audioDrained_ = starved_ = frameShownSinceSeek_ = false;
    seek_ = {};
    lastFrameEnd_ = 0;
    reportedEmpty_ = true;
    reportedLikely_ = false;
    reportedRangeStart_ = reportedRangeEnd_ = -1;
    currentFrame_.reset();
    clock_.set(0, 0);
  }
  if (old) old->detach();
  completeSeek(std::move(overtaken), false);
  if (mine) {
    MediaSourceOptions sourceOptions;
    sourceOptions.stallTimeout = options_.stallTimeout;
    // Nothing for an item that already failed.
    auto source = mine->attach(this, sourceOptions);
    std::lock_guard lock(mutex_);
    if (item_ == mine) source_ = std::move(source);
  }
  wake();
}

float Player::rate() const {
  std::lock_guard lock(mutex_);
  return rate_;
}

void Player::setRate(float rate) {
  if (std::isnan(rate)) return;
  // No reverse play: a negative rate stops. Forward rates stay where the
  // pitch-keeping filter works, so that sound and picture keep together.
  rate = rate <= 0 ? 0.0f : std::clamp(rate, kMinimumRate, kMaximumRate);
  double now;
  {
    std::lock_guard lock(mutex_);
    if (rate == rate_) return;
    rate_ = rate;
    if (rate > 0) ended_ = false;
    clock_.setSpeed(effectiveSpeed());
    now = seeking_ ? seek_.target : clampedTime(clock_.now());
  }
  postRateChange(rate);
  timeObservers_.timeJumped(now);
  wake();
}

double Player::effectiveSpeed() const {
  return rate_ > 0 && opened_ && !seeking_ && !ended_ && !starved_ ? rate_ : 0.0;
}

double Player::clampedTime(double seconds) const {
  if (!std::isfinite(seconds)) return 0;
  seconds = std::max(0.0, seconds);
  if (opened_ && std::isfinite(duration_)) seconds = std::min(seconds, duration_);
  return seconds;
}

MediaTime Player::currentTime() const {
  std::lock_guard lock(mutex_);
  if (!item_) return MediaTime::zero();
  const double seconds = seeking_ ? seek_.target : clampedTime(clock_.now());
  return MediaTime::makeWithSeconds(seconds, kTimeTimescale);
}

void Player::seekToTime(const MediaTime& time, SeekCompletion completion) {
  const double requested = time.seconds();
  SeekCompletion overtaken;
  double target;
  {
    std::lock_guard lock(mutex_);
    if (!source_ || source_->hasFailed() || !std::isfinite(requested)) {
      overtaken = std::move(completion);
    } else {
      target = clampedTime(requested);
      if (seeking_) overtaken = std::move(seek_.completion);
      seeking_ = true;
      ended_ = audioDrained_ = starved_ = frameShownSinceSeek_ = false;
      seek_.target = target;
      seek_.completion = std::move(completion);
      seek_.serial = source_->seek(target);
      clock_.set(target, 0);
    }
  }
  completeSeek(std::move(overtaken), false);
  wake();
}

void Player::completeSeek(SeekCompletion completion, bool finished) {
  if (!completion) return;
  RunLoop::main().post([completion = std::move(completion), finished] { completion(finished); });
}

TimeObserverToken Player::addPeriodicTimeObserverForInterval(const MediaTime& interval,
                                                             PeriodicTimeCallback callback) {
  return timeObservers_.add(interval, std::move(callback));
}

void Player::removeTimeObserver(TimeObserverToken token) {
  timeObservers_.remove(token);
}

ObservationToken Player::addObserver(const std::string& key, KeyValueObserver observer) {
  return observers_.add(key, std::move(observer));
}

void Player::removeObserver(ObservationToken token) {
  observers_.remove(token);
}

std::shared_ptr<const VideoFrame> Player::currentVideoFrame() const {
  std::lock_guard lock(mutex_);
  return currentFrame_;
}

void Player::setAudioTap(AudioTap tap) {
  std::lock_guard lock(tapMutex_);
  tap_ = std::move(tap);
}

std::string Player::audioOutputName() const {
  return sink_ ? sink_->name() : std::string();
}

PlaybackStatistics Player::statistics() const {
  std::lock_guard lock(mutex_);
  return statistics_;
}

void Player::resetStatistics() {
  std::lock_guard lock(mutex_);
  statistics_ = {};
}

void Player::postRateChange(float rate) {
  observers_.post(kRateKey, static_cast<double>(rate));
}

void Player::wake() {
  wakeup_.notify_all();
}

// ---- the control thread ----

void Player::controlLoop() {
  while (!stopping_) {
    {
      std::unique_lock lock(mutex_);
      wakeup_.wait_for(lock, kTickInterval);
    }
    if (stopping_) break;
    tick();
  }
}

void Player::tick() {
  std::lock_guard lock(mutex_);
  if (!source_) return;
  std::shared_ptr<MediaSource> source = source_;
  if (!opened_) {
    if (!source->isOpen()) return;
    const SourceInfo info = source->info();
    opened_ = true;
    duration_ = info.duration;
    hasAudio_ = info.hasAudio;
    hasVideo_ = info.hasVideo;
    if (!seeking_) clock_.set(0, effectiveSpeed());
  }
  double now = seeking_ ? seek_.target : clampedTime(clock_.now());
  present(*source, now);
  checkSeekDone(*source);
  if (!seeking_) {
    updateFreeRunningClock(*source, now);
    now = clampedTime(clock_.now());
    checkEnd(*source, now);
  }
  reportBuffer(*source, now);
  source->setPlaybackPosition(now);
  if (rate_ > 0 && !seeking_ && !ended_) timeObservers_.timeAdvanced(now);
}

void Player::present(MediaSource& source, double now) {
  std::shared_ptr<VideoFrame> shown;
  std::uint64_t taken = 0;
  for (auto front = source.frontVideoFrame(); front; front = source.frontVideoFrame()) {
    const bool due = front->presentationTime <= now + 0.001;
    // The first picture after opening or seeking shows at once, even paused.
    const bool first = !frameShownSinceSeek_ && !shown;
    if (!due && !first) break;
    source.popVideoFrame(front);
    shown = std::move(front);
    ++taken;
  }
  if (!shown) return;
  shown->serial = ++frameSerial_;
  lastFrameEnd_ = shown->presentationTime + source.videoFrameDuration();
  currentFrame_ = shown;
  frameShownSinceSeek_ = true;
  statistics_.framesPresented++;
  statistics_.framesDropped += taken - 1;
  if (rate_ > 0 && !seeking_ && !starved_ && frameSerial_ > 1) {
    const double drift = std::fabs(now - shown->presentationTime);
    statistics_.maxDrift = std::max(statistics_.maxDrift, drift);
    statistics_.totalDrift += drift;
    statistics_.driftSamples++;
  }
}

void Player::checkSeekDone(MediaSource& source) {
  if (!seeking_ || source.serial() != seek_.serial) return;
  bool ready;
  if (hasVideo_) {
    ready = frameShownSinceSeek_ || source.videoFinished();
  } else {
    ready = source.snapshot().audioQueuedSeconds > 0 || source.audioFinished();
  }
  if (!ready) return;
  seeking_ = false;
  clock_.set(seek_.target, effectiveSpeed());
  completeSeek(std::move(seek_.completion), true);
  seek_.completion = nullptr;
  timeObservers_.timeJumped(seek_.target);
}

void Player::updateFreeRunningClock(MediaSource& source, double now) {
  // Sound, while there is any, keeps the time itself.
  if (hasAudio_ && !audioDrained_) return;
  if (rate_ <= 0 || ended_) return;
  const bool videoStarved =
      hasVideo_ && !source.frontVideoFrame() && !source.videoFinished() && now >= lastFrameEnd_;
  if (videoStarved) starved_ = true;
  const double speed = effectiveSpeed();
  if (clock_.speed() != speed) clock_.setSpeed(speed);
}

void Player::checkEnd(MediaSource& source, double now) {
  if (ended_ || rate_ <= 0 || seeking_) return;
  if (!source.snapshot().demuxFinished) return;
  if (hasVideo_ && !source.videoFinished()) return;
  if (hasAudio_ && !audioDrained_) return;
  if (hasVideo_ && now + 0.001 < lastFrameEnd_) return;
  ended_ = true;
  const double end = clampedTime(hasVideo_ ? std::max(now, lastFrameEnd_) : now);
  clock_.set(end, 0);
  rate_ = 0;
  postRateChange(0);
  timeObservers_.timeJumped(end);
  std::weak_ptr<PlayerItem> weak = item_;
  ErrorPtr error = source.readError();
  RunLoop::main().post([weak, error] {
    auto item = weak.lock();
    if (!item) return;
    if (error) {
      NotificationCenter::defaultCenter().postNotificationName(
          kPlayerItemFailedToPlayToEndTimeNotification, item->notificationObject(),
          {{kPlayerItemFailedToPlayToEndTimeErrorKey, error}});
    } else {
      NotificationCenter::defaultCenter().postNotificationName(
          kPlayerItemDidPlayToEndTimeNotification, item->notificationObject());
    }
  });
}

void Player::reportBuffer(MediaSource& source, double now) {
  if (!item_) return;
  const BufferSnapshot snap = source.snapshot();
  const double ahead = snap.bufferedEnd - now;
  const bool likely = snap.demuxFinished || ahead >= kLikelyToKeepUpSeconds;
  const bool nothingQueued = snap.videoPackets == 0 && snap.audioPackets == 0 &&
                             snap.videoFrames == 0 && snap.audioQueuedSeconds < 0.01;
  const bool empty = !snap.demuxFinished && (starved_ || (ahead <= kEmptySeconds && nothingQueued));
  // Running dry only counts while playback wants data; a paused player that
  // has just sought is merely refilling.
  if (empty && !reportedEmpty_ && rate_ > 0 && !seeking_) {
    reportedEmpty_ = true;
    item_->reportBufferEmpty(true);
  } else if (!empty && reportedEmpty_) {
    reportedEmpty_ = false;
    item_->reportBufferEmpty(false);
  }
  if (starved_ && likely && rate_ > 0 && (snap.audioQueuedSeconds > 0 || source.audioFinished())) {
    // Enough is buffered again and decoded sound is waiting: play on from
    // where the sound stopped. Packets alone are not enough: while the
    // decoder catches up, the clock would run ahead of the sound, and the
    // next buffer that finds none would put it back.
    starved_ = false;
    clock_.setSpeed(effectiveSpeed());
  }
  if (likely != reportedLikely_) {
    reportedLikely_ = likely;
    item_->reportLikelyToKeepUp(likely);
  }
  double start = snap.segmentStart;
  double end = std::max(start, snap.bufferedEnd);
  if (std::isfinite(duration_)) end = std::min(end, duration_);
  if (start != reportedRangeStart_ || std::fabs(end - reportedRangeEnd_) >= kRangeReportStep ||
      (snap.demuxFinished && end != reportedRangeEnd_)) {
    reportedRangeStart_ = start;
    reportedRangeEnd_ = end;
    TimeRanges ranges;
    if (end > start) ranges.push_back(TimeRange::fromSeconds(start, end - start));
    item_->reportLoadedTimeRanges(std::move(ranges));
  }
}

// ---- the audio thread ----

void Player::renderAudio(float* out, std::size_t frames, double heardAt) {
  std::fill(out, out + frames * AudioSink::kChannels, 0.0f);
  std::shared_ptr<MediaSource> source;
  double speed = 0;
  {
    std::lock_guard lock(mutex_);
    // While starved the sound waits, like the picture, for the buffer to
    // fill again rather than playing each trickle as it comes.
    if (source_ && opened_ && hasAudio_ && rate_ > 0 && !seeking_ && !ended_ && !audioDrained_ &&
        !starved_) {
      source = source_;
      speed = rate_;
    }
  }
  std::size_t produced = 0;
  double first = 0;
  std::uint64_t serial = 0;
  if (source) {
    serial = source->serial();
    if (source != renderSource_ || serial != renderSerial_) {
      renderSource_ = source;
      renderSerial_ = serial;
      tempo_.reset();
      pending_.clear();
      renderCursorSet_ = false;
      tempoDrained_ = false;
    }
    input_.resize(kReadFrames * AudioSink::kChannels);
    while (pending_.size() / AudioSink::kChannels < frames) {
      double pts = 0;
      const std::size_t got = source->readAudio(input_.data(), kReadFrames, &pts);
      if (got == 0) {
        if (!tempoDrained_ && source->audioFinished()) {
          tempo_.drain(pending_);
          tempoDrained_ = true;
          continue;
        }
        break;
      }
      if (!renderCursorSet_) {
        renderCursor_ = pts;
        renderCursorSet_ = true;
      }
      tempo_.push(input_.data(), got, speed, pending_);
    }
    produced = std::min(frames, pending_.size() / AudioSink::kChannels);
    const std::size_t values = produced * AudioSink::kChannels;
    const float volume = SystemVolume::shared().volume();
    for (std::size_t i = 0; i < values; ++i) out[i] = pending_[i] * volume;
    pending_.erase(pending_.begin(), pending_.begin() + static_cast<std::ptrdiff_t>(values));
    first = renderCursor_;
    renderCursor_ += static_cast<double>(produced) * speed / AudioSink::kSampleRate;
  }
  {
    std::lock_guard lock(tapMutex_);
    if (tap_) tap_(out, frames, AudioSink::kChannels);
  }
  if (!source) return;
  std::lock_guard lock(mutex_);
  // The state may have moved while this buffer was made; only a buffer of
  // the current playback sets the clock.
  if (source != source_ || rate_ != speed || seeking_ || ended_ || serial != source->serial()) {
    return;
  }
  if (!renderCursorSet_) {
    // Nothing came since the last seek: either the sound ended before the
    // target, or it is still on its way.
    if (tempoDrained_ && source->audioFinished()) audioDrained_ = true;
    return;
  }
  const double producedSeconds = static_cast<double>(produced) / AudioSink::kSampleRate;
  if (produced == frames) {
    clock_.setAt(first, heardAt, speed);
  } else if (tempoDrained_ && pending_.empty() && source->audioFinished()) {
    // The sound is over; the picture goes on against the real clock.
    audioDrained_ = true;
    starved_ = false;
    clock_.setAt(renderCursor_, heardAt + producedSeconds, speed);
  } else {
    // Ran dry: time stops where the sound stops.
    starved_ = true;
    const double stopped = std::max(0.0, heardAt + producedSeconds - PlaybackClock::realNow());
    clock_.set(renderCursor_ - stopped * speed, 0);
  }
}

PlayerItemPtr MediaPlayerFactory::playerItemWithURL(const std::string& url) {
  return PlayerItem::playerItemWithURL(url);
}

PlayerPtr MediaPlayerFactory::playerWithPlayerItem(PlayerItemPtr item) {
  return Player::playerWithPlayerItem(std::move(item), options_);
}

}  // namespace lorvane
