#pragma once

#include <memory>

#include "platform/ui/button.h"
#include "platform/ui/text_view.h"
#include "platform/ui/view_controller.h"

namespace lorvane {

// The "关于我们" page: a title bar with a back button and a bordered,
// read-only description of the company.
class AboutUsViewController : public ViewController {
 public:
  static const char* const kCompanyDescription;

  void viewDidLoad() override;
  bool shouldAutorotateToInterfaceOrientation(InterfaceOrientation) override { return false; }
  void backAction();

  ImageView* bgImageView() const { return bgImageView_.get(); }
  ImageView* titleBar() const { return titleBar_.get(); }
  Button* backButton() const { return backButton_.get(); }
  TextView* textView() const { return textView_.get(); }

 private:
  std::shared_ptr<ImageView> bgImageView_;
  std::shared_ptr<ImageView> titleBar_;
  std::shared_ptr<Button> backButton_;
  std::shared_ptr<TextView> textView_;
};

}  // namespace lorvane
