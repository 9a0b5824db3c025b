#pragma once

#include <memory>
#include <string>

#include "platform/ui/label.h"
#include "platform/ui/view.h"

namespace lorvane {

// The square seek indicator shown while a pan seeks: a direction picture
// filling it and the time being sought in its lower half.
class ProgressHUD : public View {
 public:
  static constexpr int kLabelTag = 1345;

  ProgressHUD();
  explicit ProgressHUD(const Rect& frame);

  ImageView& HUDImageView() const { return *HUDImageView_; }
  Label& label() const { return *label_; }
  void setHUDImage(ImagePtr image);
  void setCurrentTime(const std::string& text);

  void layoutSubviews() override;

 private:
  void build();
  std::shared_ptr<ImageView> HUDImageView_;
  std::shared_ptr<Label> label_;
};

}  // namespace lorvane
