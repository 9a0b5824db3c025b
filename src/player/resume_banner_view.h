#pragma once

#include <memory>

#include "platform/ui/button.h"
#include "platform/ui/label.h"
#include "platform/ui/view.h"

namespace lorvane {

// The small banner over the top of the player when a lesson goes on from
// where it was left: "从 00:23 继续" and a button to start over instead.
class ResumeBannerView : public View {
 public:
  static constexpr double kHeight = 30;
  static constexpr double kWidth = 220;

  explicit ResumeBannerView(const Rect& frame);

  // "从 mm:ss 继续" for the position in seconds.
  static std::string resumeText(double seconds);
  void showPosition(double seconds);

  Label& messageLabel() const { return *message_; }
  Button& startOverButton() const { return *startOver_; }

 private:
  std::shared_ptr<Label> message_;
  std::shared_ptr<Button> startOver_;
};

}  // namespace lorvane
