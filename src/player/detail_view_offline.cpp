// The detail page's part in keeping a lesson for offline play.

#include <filesystem>

#include "common/lesson_downloads.h"
#include "common/screen_metrics.h"
#include "platform/foundation/file_manager.h"
#include "platform/foundation/log.h"
#include "platform/foundation/notification_center.h"
#include "platform/foundation/url.h"
#include "platform/ui/alert_view.h"
#include "player/detail_view_controller.h"
#include "player/record_values.h"

namespace lorvane {

std::string DetailViewController::offlineFileForLesson(const std::string& lessonURL) {
  LessonDownloads& downloads = LessonDownloads::shared();
  auto before = downloads.downloadForURL(lessonURL);
  std::string local = downloads.localVideoPathForURL(lessonURL);
  playingLocalFile_ = !local.empty();
  offlineFileWasDamaged_ =
      before && before->state == LessonDownloadState::Completed && !playingLocalFile_;
  if (!playingLocalFile_) return {};
  // The lines come from the captions folder, where the kept copy goes too.
  const std::string subtitleURL =
      percentEscape(stringForKey(videoInfoDictionary_.get(), "subtitleUrl"));
  const std::string keptLines = downloads.localSubtitlePathForURL(lessonURL);
  if (!subtitleURL.empty() && !keptLines.empty()) {
    CaptionCache& captions = playVideoViewController()->captionCache();
    const std::string cached = captions.pathForURL(subtitleURL);
    FileManager& files = FileManager::defaultManager();
    if (!files.fileExists(cached)) {
      files.createDirectory(captions.folderPath(), true);
      files.copyItem(keptLines, cached);
    }
  }
  Log("offline: playing the kept copy of " + lessonURL);
  return local;
}

void DetailViewController::setUpOffline() {
  if (!videoInfoDictionary_) return;
  offlineURL_ = percentEscape(stringForKey(videoInfoDictionary_.get(), "videoUrl"));
  if (offlineURL_.empty()) return;
  offlineControl_ = std::make_unique<OfflineDownloadControl>();
  const double W = mainScreenBounds().width();
  const double size = OfflineDownloadControl::kButtonSize;
  // On the page above the background (whose own order stays as it is),
  // placed by the background's coordinates.
  const double top = bottomImage_->frame().y();
  // In the title bar, between the title and the share button.
  offlineControl_->ringButton()->setFrame({W - 70 - size, top + 7, size, size});
  // Along the bottom of the information box.
  Rect box = informationBox_->frame();
  offlineControl_->noteLabel()->setFrame(
      {box.x() + 10, top + box.maxY() - 26, box.width() - 20 - size, 20});
  offlineControl_->cancelButton()->setFrame(
      {box.maxX() - size - 4, top + box.maxY() - 31, size, size});
  for (const ViewPtr& part :
       {ViewPtr(offlineControl_->ringButton()), ViewPtr(offlineControl_->noteLabel()),
        ViewPtr(offlineControl_->cancelButton())}) {
    view()->addSubview(part);
  }
  offlineControl_->ringButton()->addTarget(
      this, [this](Control&) { offlineRingAction(); }, ControlEventTouchUpInside);
  offlineControl_->cancelButton()->addTarget(
      this, [this](Control&) { offlineCancelAction(); }, ControlEventTouchUpInside);

  offlineObservation_ = NotificationCenter::defaultCenter().addObserver(
      this, kLessonDownloadsDidChangeNotification, nullptr, [this](const Notification& n) {
        auto key = n.userInfo.find("key");
        const std::string* changed =
            key == n.userInfo.end() ? nullptr : std::any_cast<std::string>(&key->second);
        if (changed && *changed == LessonProgressStore::keyForURL(offlineURL_)) {
          offlineDownloadChanged();
        }
      });
  auto download = LessonDownloads::shared().downloadForURL(offlineURL_);
  lastOfflineState_ = download ? std::optional(download->state) : std::nullopt;
  offlineControl_->showDownload(download, playingLocalFile_);
  if (offlineFileWasDamaged_) {
    auto alert = std::make_shared<AlertView>("", LessonDownloads::kDamagedMessage, nullptr, "确定");
    alert->show();
  }
}

void DetailViewController::showOfflineControls(bool shown) {
  if (!offlineControl_) return;
  offlineControl_->ringButton()->setHidden(!shown);
  if (shown) {
    // The cancel button and note show what the download's state says.
    offlineControl_->showDownload(LessonDownloads::shared().downloadForURL(offlineURL_),
                                  playingLocalFile_);
  } else {
    offlineControl_->cancelButton()->setHidden(true);
    offlineControl_->noteLabel()->setHidden(true);
  }
}

void DetailViewController::offlineDownloadChanged() {
  if (!offlineControl_) return;
  auto download = LessonDownloads::shared().downloadForURL(offlineURL_);
  const bool wasRunning =
      lastOfflineState_ && (*lastOfflineState_ == LessonDownloadState::Waiting ||
                            *lastOfflineState_ == LessonDownloadState::Downloading);
  lastOfflineState_ = download ? std::optional(download->state) : std::nullopt;
  offlineControl_->showDownload(download, playingLocalFile_);
  if (offlineControl_->ringButton()->isHidden()) showOfflineControls(false);
  // A download that stopped by itself says why.
  if (wasRunning && download && !download->message.empty() &&
      (download->state == LessonDownloadState::Paused ||
       download->state == LessonDownloadState::Failed)) {
    auto alert = std::make_shared<AlertView>("", download->message, nullptr, "确定");
    alert->show();
  }
}

void DetailViewController::offlineRingAction() {
  if (offlineURL_.empty()) return;
  LessonDownloads& downloads = LessonDownloads::shared();
  auto download = downloads.downloadForURL(offlineURL_);
  if (!download || download->state == LessonDownloadState::Failed) {
    const JSONDictionary* record = videoInfoDictionary_.get();
    downloads.download(offlineURL_, percentEscape(stringForKey(record, "subtitleUrl")),
                       stringForKey(record, "title"));
  } else if (download->state == LessonDownloadState::Paused) {
    downloads.resume(offlineURL_);
  } else if (download->state != LessonDownloadState::Completed) {
    downloads.pause(offlineURL_);
  }
}

void DetailViewController::offlineCancelAction() {
  if (!offlineURL_.empty()) LessonDownloads::shared().cancel(offlineURL_);
}

}  // namespace lorvane
