#pragma once

#include <memory>

#include "platform/ui/button.h"
#include "platform/ui/view_controller.h"

namespace lorvane {

// A bare feedback page with a title bar and a back button. Nothing opens it
// (feedback goes by mail from the settings screen) and it sends nothing.
class FeedbackViewController : public ViewController {
 public:
  static constexpr const char* kPageTitle = "意见反馈";

  FeedbackViewController();
  void loadView() override;
  void viewDidLoad() override;
  void backAction();

  Button* backButton() const { return backButton_.get(); }

 private:
  std::shared_ptr<Button> backButton_;
};

}  // namespace lorvane
