#include "player/lesson_resume.h"

#include <cmath>

#include "platform/foundation/notification_center.h"
#include "platform/media/player_interface.h"
#include "platform/ui/application.h"
#include "player/play_video_view_controller.h"

namespace lorvane {

LessonResume::LessonResume(std::string lessonURL, LessonProgressStore& store,
                           double fallbackDuration)
    : lessonURL_(std::move(lessonURL)), store_(&store), fallbackDuration_(fallbackDuration) {
  startPosition_ = store_->resumePositionForURL(lessonURL_);
}

LessonResume::~LessonResume() {
  detach();
}

void LessonResume::attach(std::shared_ptr<PlayVideoViewController> player) {
  detach();
  player_ = player;
  attached_ = true;
  if (startPosition_ > 0) player->startFromSeconds(startPosition_);
  WeakPtr<LessonResume> weak(this);
  timer_ = Timer::scheduledTimer(kSaveInterval, true, [weak](Timer&) {
    LessonResume* me = weak.get();
    if (!me) return;
    auto player = me->player_.lock();
    if (player && player->isPlaying()) me->save();
  });
  NotificationCenter& centre = NotificationCenter::defaultCenter();
  auto saveOnEvent = [weak](const Notification&) {
    if (LessonResume* me = weak.get()) me->save();
  };
  centre.addObserver(this, kApplicationDidEnterBackgroundNotification, nullptr, saveOnEvent);
  centre.addObserver(this, kApplicationWillTerminateNotification, nullptr, saveOnEvent);
  centre.addObserver(this, kPlayerItemDidPlayToEndTimeNotification, nullptr,
                     [weak](const Notification& n) {
                       if (LessonResume* me = weak.get()) me->lessonDidReachEnd(n.object);
                     });
}

void LessonResume::detach() {
  if (!attached_) return;
  save();
  attached_ = false;
  if (timer_) timer_->invalidate();
  timer_.reset();
  NotificationCenter::defaultCenter().removeObserver(this);
  player_.reset();
}

void LessonResume::save() {
  auto player = player_.lock();
  PlayerPtr media = player ? player->videoPlayer() : nullptr;
  PlayerItemPtr item = media ? media->currentItem() : nullptr;
  // Loading, failed or on its way somewhere: the old place stays.
  if (!item || item->status() != PlayerItemStatus::ReadyToPlay || player->isSeeking()) return;
  double position = media->currentTime().seconds();
  if (!std::isfinite(position)) return;
  // A start point not reached yet (the seek there has not been asked for).
  if (startPosition_ > 0 && position + 0.5 < startPosition_) return;
  startPosition_ = 0;
  double duration = player->playerItemDuration().seconds();
  if (!std::isfinite(duration) || duration <= 0) duration = fallbackDuration_;
  store_->recordPosition(lessonURL_, position, duration);
  store_->save();
}

void LessonResume::startOver() {
  startPosition_ = 0;
  auto player = player_.lock();
  if (!player) return;
  player->startFromSeconds(0);
  PlayerPtr media = player->videoPlayer();
  PlayerItemPtr item = media ? media->currentItem() : nullptr;
  if (item && item->status() == PlayerItemStatus::ReadyToPlay) player->seekToSeconds(0);
}

void LessonResume::lessonDidReachEnd(const void* itemObject) {
  auto player = player_.lock();
  PlayerPtr media = player ? player->videoPlayer() : nullptr;
  PlayerItemPtr item = media ? media->currentItem() : nullptr;
  if (!item || item->notificationObject() != itemObject) return;
  double duration = player->playerItemDuration().seconds();
  if (!std::isfinite(duration) || duration <= 0) duration = fallbackDuration_;
  store_->recordFinished(lessonURL_, duration);
  store_->save();
}

}  // namespace lorvane
