#pragma once

#include <string>

#include "feeds/watched_progress_view.h"

#include <memory>

#include "feeds/thumbnail_cache.h"
#include "platform/ui/button.h"
#include "platform/ui/label.h"
#include "platform/ui/view.h"

namespace lorvane {

// One tile of the topic grid: the thumbnail, its title on a dark band over
// the lower third, and a clear button on top that takes the touch.
class MiniVideoCell : public View, public VideoImageReceiver {
 public:
  static constexpr int kPictureTag = 1445;
  static constexpr int kCaptionTag = 1146;
  static constexpr int kTapButtonTag = 1147;
  static constexpr int kProgressTag = 1148;

  MiniVideoCell();
  explicit MiniVideoCell(const Rect& frame);

  void layoutSubviews() override;
  void setVideoImage(ImagePtr image) override;

  ImageView& pictureView() const { return *pictureView_; }
  Label& videoDescripLabel() const { return *videoDescripLabel_; }
  Button& tapButton() const { return *tapButton_; }
  // How much of the lesson was watched, below the title band.
  WatchedProgressView& progressView() const { return *progressView_; }
  const std::string& lessonURL() const { return lessonURL_; }
  void setLessonURL(std::string url) { lessonURL_ = std::move(url); }
  // Reads the lesson's progress again (on return from a lesson).
  void refreshProgress() { progressView_->showProgressForURL(lessonURL_); }

 private:
  void build();

  std::shared_ptr<ImageView> pictureView_;
  std::shared_ptr<Label> videoDescripLabel_;
  std::shared_ptr<Button> tapButton_;
  std::shared_ptr<WatchedProgressView> progressView_;
  std::string lessonURL_;
};

}  // namespace lorvane
