#pragma once

#include <memory>

#include "platform/ui/label.h"
#include "platform/ui/slider.h"
#include "platform/ui/view.h"

namespace lorvane {

// The small level indicator a volume swipe shows over the picture: the
// speaker picture, a bar filled to the volume and the volume in percent.
// It works in portrait too, where the volume panel has no room.
class VolumeLevelView : public View {
 public:
  static constexpr double kWidth = 150;
  static constexpr double kHeight = 36;

  VolumeLevelView();

  // 0 to 1.
  void setLevel(double level);
  double level() const { return bar_->progress(); }
  const std::string& levelText() const { return text_->text(); }
  ImageView& speakerImageView() const { return *speaker_; }

  void layoutSubviews() override;

 private:
  std::shared_ptr<ImageView> speaker_;
  std::shared_ptr<ProgressView> bar_;
  std::shared_ptr<Label> text_;
};

}  // namespace lorvane
