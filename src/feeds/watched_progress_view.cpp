#include "feeds/watched_progress_view.h"

#include <algorithm>

#include "platform/ui/font.h"

namespace lorvane {

WatchedProgressView::WatchedProgressView(const Rect& frame) : View(frame) {
  setBackgroundColor(Color::clear());
  // Touches go to the tile or row beneath.
  setUserInteractionEnabled(false);
  track_ = View::make<View>();
  track_->setBackgroundColor(Color::rgba(1, 1, 1, 0.25));
  addSubview(track_);
  bar_ = View::make<View>();
  bar_->setBackgroundColor(Color::rgb255(222, 18, 104));
  addSubview(bar_);
  mark_ = View::make<Label>();
  mark_->setText("✓");
  mark_->setFont(Font::boldSystemFontOfSize(12));
  mark_->setTextColor(Color::whiteColor());
  mark_->setTextAlignment(TextAlignment::Center);
  mark_->setBackgroundColor(Color::rgb255(222, 18, 104));
  mark_->layer().setCornerRadius(kMarkSize / 2);
  mark_->setClipsToBounds(true);
  addSubview(mark_);
  showProgress(std::nullopt);
}

void WatchedProgressView::showProgressForURL(const std::string& videoURL) {
  showProgress(videoURL.empty() ? std::nullopt
                                : LessonProgressStore::shared().progressForURL(videoURL));
}

void WatchedProgressView::showProgress(const std::optional<LessonProgress>& progress) {
  fraction_ = progress ? progress->fraction() : 0;
  const bool finished = progress && progress->finished;
  track_->setHidden(!progress || (fraction_ <= 0 && !finished));
  bar_->setHidden(track_->isHidden());
  mark_->setHidden(!finished);
  setNeedsLayout();
  layoutIfNeeded();
}

void WatchedProgressView::layoutSubviews() {
  const double w = bounds().width();
  const double h = bounds().height();
  track_->setFrame({0, h - kBarHeight, w, kBarHeight});
  bar_->setFrame({0, h - kBarHeight, std::clamp(fraction_, 0.0, 1.0) * w, kBarHeight});
  mark_->setFrame({w - kMarkSize - 4, 4, kMarkSize, kMarkSize});
}

}  // namespace lorvane
