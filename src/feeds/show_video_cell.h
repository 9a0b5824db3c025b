#pragma once

#include <string>

#include "feeds/watched_progress_view.h"

#include <string>

#include "feeds/thumbnail_cache.h"
#include "platform/ui/table_view.h"

namespace lorvane {

// One row of the show list: a wide thumbnail with the title on a dark band
// along its bottom.
class ShowVideoCell : public TableViewCell, public VideoImageReceiver {
 public:
  static constexpr int kPictureTag = 1135;
  static constexpr int kTitleTag = 1136;
  static constexpr int kProgressTag = 1137;

  ShowVideoCell(TableViewCellStyle style, std::string reuseIdentifier);

  void setVideoImage(ImagePtr image) override;
  void setVideoDsecrip(const std::string& text);
  void setSelected(bool selected, bool animated) override;

  ImageView& pictureView() const;
  Label& titleLabel() const;
  // How much of the lesson was watched, along the picture's bottom edge.
  WatchedProgressView& progressView() const;
  const std::string& lessonURL() const { return lessonURL_; }
  void setLessonURL(std::string url) { lessonURL_ = std::move(url); }
  void refreshProgress() { progressView().showProgressForURL(lessonURL_); }

  // The thumbnail URL the row shows now; a download finishing for another
  // URL (the cell was reused meanwhile) is not shown.
  const std::string& representedImageURL() const { return representedImageURL_; }
  void setRepresentedImageURL(std::string url) { representedImageURL_ = std::move(url); }

 private:
  std::string representedImageURL_;
  std::string lessonURL_;
};

}  // namespace lorvane
