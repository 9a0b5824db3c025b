// The detail page's part in keeping where a lesson was left.

#include "common/lesson_progress_store.h"
#include "platform/foundation/run_loop.h"
#include "player/detail_view_controller.h"
#include "player/record_values.h"

namespace lorvane {

namespace {
constexpr const char* kHideBannerOperation = "hideResumeBanner";
}

void DetailViewController::startFollowingProgress(const std::string& lessonURL) {
  stopFollowingProgress();
  double length = floatValueOf(videoInfoDictionary_->objectForKey("playTime"));
  resume_ = std::make_unique<LessonResume>(lessonURL, LessonProgressStore::shared(),
                                           std::isfinite(length) ? length : 0);
  resume_->attach(playVideoViewController());
  if (resume_->startPosition() > 0) showResumeBanner(resume_->startPosition());
}

void DetailViewController::showResumeBanner(double seconds) {
  ViewPtr playerView = playVideoViewController()->view();
  Rect under = playerView->frame();
  if (!resumeBanner_) {
    resumeBanner_ = View::make<ResumeBannerView>(
        Rect{(under.width() - ResumeBannerView::kWidth) / 2, under.y() + 8,
             ResumeBannerView::kWidth, ResumeBannerView::kHeight});
    resumeBanner_->startOverButton().addTarget(
        this, [this](Control&) { startOverAction(); }, ControlEventTouchUpInside);
  }
  resumeBanner_->showPosition(seconds);
  resumeBanner_->setHidden(false);
  view()->addSubview(resumeBanner_);
  RunLoop::main().cancelPreviousPerformRequests(this, kHideBannerOperation, nullptr);
  RunLoop::main().performAfterDelay(this, kHideBannerOperation, nullptr, kResumeBannerSeconds,
                                    [this] { hideResumeBanner(); });
}

void DetailViewController::hideResumeBanner() {
  RunLoop::main().cancelPreviousPerformRequests(this, kHideBannerOperation, nullptr);
  if (!resumeBanner_) return;
  resumeBanner_->setHidden(true);
  resumeBanner_->removeFromSuperview();
}

void DetailViewController::startOverAction() {
  if (resume_) resume_->startOver();
  hideResumeBanner();
}

void DetailViewController::stopFollowingProgress() {
  hideResumeBanner();
  if (resume_) resume_->detach();
}

}  // namespace lorvane
