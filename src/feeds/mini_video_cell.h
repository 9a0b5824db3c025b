#pragma once

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

  MiniVideoCell();
  explicit MiniVideoCell(const Rect& frame);

  void layoutSubviews() override;
  void setVideoImage(ImagePtr image) override;

  ImageView& pictureView() const { return *pictureView_; }
  Label& videoDescripLabel() const { return *videoDescripLabel_; }
  Button& tapButton() const { return *tapButton_; }

 private:
  void build();

  std::shared_ptr<ImageView> pictureView_;
  std::shared_ptr<Label> videoDescripLabel_;
  std::shared_ptr<Button> tapButton_;
};

}  // namespace lorvane
